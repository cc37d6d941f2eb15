// SPDX-License-Identifier: GPL-3.0-or-later
#include "identify/input.h"

#include <archive.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <vector>

namespace Identify {

void Budget::take(qint64 bytes)
{
    m_taken += bytes;
    if (m_taken > m_maxBytes)
        throw Skip{QStringLiteral("mais de %1 MiB a ler; o arquivo foi deixado de lado")
                       .arg(m_maxBytes / (1024 * 1024))};
    check();
}

void Budget::check() const
{
    if (cancelled())
        throw Cancelled{};
    if (m_deadline.hasExpired())
        throw Skip{QStringLiteral("a leitura passou do tempo limite")};
}

QByteArray Input::read(qint64 offset, qint64 n)
{
    QByteArray bytes(n, Qt::Uninitialized);
    qint64 done = 0;
    while (done < n) {
        const qint64 got = readAt(offset + done, bytes.data() + done, n - done);
        if (got <= 0)
            break;
        done += got;
    }
    bytes.truncate(done);
    return bytes;
}

FileInput::~FileInput()
{
    ::close(m_fd);
}

qint64 FileInput::readAt(qint64 offset, char *buffer, qint64 n)
{
    if (budget)
        budget->take(n);
    for (;;) {
        const ssize_t got = ::pread(m_fd, buffer, size_t(n), off_t(offset));
        if (got >= 0)
            return got;
        if (errno != EINTR)
            throw Skip{QStringLiteral("erro de leitura: %1").arg(systemErrorText(errno))};
    }
}

qint64 MemberInput::readAt(qint64 offset, char *buffer, qint64 n)
{
    if (offset < m_at)
        throw Skip{QStringLiteral("o formato pede uma leitura para trás dentro de um arquivo "
                                  "compactado")};
    // Skipping forward still unpacks the bytes in between; only what is kept is returned.
    char scratch[16384];
    while (m_at < offset) {
        const la_ssize_t got = archive_read_data(
            m_archive, scratch, size_t(std::min<qint64>(offset - m_at, qint64(sizeof scratch))));
        if (got <= 0)
            return 0;
        produced(got);
    }
    const la_ssize_t got = archive_read_data(m_archive, buffer, size_t(n));
    if (got < 0)
        throw Skip{QString::fromUtf8(archive_error_string(m_archive))};
    produced(got);
    return got;
}

void MemberInput::produced(qint64 bytes)
{
    m_at += bytes;
    if (budget)
        budget->take(bytes);
    // Real installers compress a few times at most; a member that grows hundreds of times
    // from what it took is built to exhaust the reader.
    constexpr qint64 limit = 200;
    const qint64 taken = std::max<qint64>(1, m_outer->position - m_outerStart);
    if (m_at > 1024 * 1024 && m_at > limit * taken)
        throw Skip{QStringLiteral("o conteúdo compactado se expande mais de %1 vezes "
                                  "(possível bomba de compressão)")
                       .arg(limit)};
}

namespace {

struct Reader
{
    Input *input;
    std::vector<char> buffer = std::vector<char>(65536);
};

la_ssize_t readCallback(struct archive *a, void *data, const void **out)
{
    auto *r = static_cast<Reader *>(data);
    try {
        const qint64 got =
            r->input->readAt(r->input->position, r->buffer.data(), qint64(r->buffer.size()));
        r->input->position += got;
        *out = r->buffer.data();
        return la_ssize_t(got);
    } catch (const Skip &skip) {
        r->input->stoppedBy = skip;
    } catch (const Cancelled &) {
        r->input->cancelledRead = true;
    }
    archive_set_error(a, EIO, "stopped");
    return -1;
}

la_int64_t skipCallback(struct archive *, void *data, la_int64_t request)
{
    auto *r = static_cast<Reader *>(data);
    if (!r->input->seekable())
        return 0; // the library reads through instead
    const qint64 size = r->input->size();
    const qint64 to = std::min(size, r->input->position + request);
    const qint64 skipped = to - r->input->position;
    r->input->position = to;
    return skipped;
}

la_int64_t seekCallback(struct archive *, void *data, la_int64_t offset, int whence)
{
    auto *r = static_cast<Reader *>(data);
    qint64 to = offset;
    if (whence == SEEK_CUR)
        to = r->input->position + offset;
    else if (whence == SEEK_END)
        to = r->input->size() + offset;
    if (to < 0 || to > r->input->size())
        return ARCHIVE_FATAL;
    r->input->position = to;
    return to;
}

int closeCallback(struct archive *, void *data)
{
    delete static_cast<Reader *>(data);
    return ARCHIVE_OK;
}

} // namespace

struct archive *Input::openArchive(const std::function<void(struct archive *)> &formats,
                                   QString *error)
{
    struct archive *a = archive_read_new();
    formats(a);
    auto *reader = new Reader{this};
    position = 0;
    archive_read_set_read_callback(a, readCallback);
    archive_read_set_close_callback(a, closeCallback);
    archive_read_set_callback_data(a, reader);
    if (seekable()) {
        archive_read_set_skip_callback(a, skipCallback);
        archive_read_set_seek_callback(a, seekCallback);
    }
    if (archive_read_open1(a) != ARCHIVE_OK) {
        *error = QString::fromUtf8(archive_error_string(a));
        archive_read_free(a);
        rethrowStop();
        return nullptr;
    }
    return a;
}

void Input::rethrowStop() const
{
    if (cancelledRead)
        throw Cancelled{};
    if (stoppedBy)
        throw *stoppedBy;
}

QString systemErrorText(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("sem permissão de leitura");
    case ENOENT:
        return QStringLiteral("não existe mais");
    case EIO:
        return QStringLiteral("erro de entrada e saída no dispositivo");
    case ELOOP:
        return QStringLiteral("é uma ligação simbólica");
    case ENOTDIR:
        return QStringLiteral("não é uma pasta");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("arquivos abertos demais");
    case ENOMEM:
        return QStringLiteral("sem memória");
    default:
        return QStringLiteral("erro %1 do sistema").arg(error);
    }
}

int openUntouched(int dirFd, const char *name, int flags)
{
    flags |= O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
    int fd = ::openat(dirFd, name, flags | O_NOATIME);
    // O_NOATIME is refused on files of another owner; those are read plainly.
    if (fd < 0 && errno == EPERM)
        fd = ::openat(dirFd, name, flags);
    return fd;
}

int copyToMemoryFile(Input &input, qint64 limit)
{
    const int fd = memfd_create("quivel-identify", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    std::vector<char> buffer(1 << 20);
    qint64 at = 0;
    for (;;) {
        qint64 got = 0;
        try {
            qint64 want = qint64(buffer.size());
            if (limit >= 0)
                want = std::min(want, limit - at);
            got = want > 0 ? input.readAt(at, buffer.data(), want) : 0;
        } catch (...) {
            ::close(fd);
            throw;
        }
        if (got <= 0)
            break;
        if (::write(fd, buffer.data(), size_t(got)) != got) {
            ::close(fd);
            return -1;
        }
        at += got;
    }
    return fd;
}

} // namespace Identify
