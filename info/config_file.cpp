// SPDX-License-Identifier: GPL-3.0-or-later
#include "info/config_file.h"

#include "core/exceptions.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Far beyond any version text, and still a bounded read of a file that never ends a line.
constexpr qsizetype maxLineBytes = 1 << 20;

// The messages of the text-file runtime the version file was designed around.
[[noreturn]] void throwInOutError(int error, const QString &path)
{
    switch (error) {
    case ENOENT:
        if (QFileInfo(path).absoluteDir().exists())
            throw EInOutError(error, QStringLiteral("File not found"));
        throw EInOutError(error, QStringLiteral("Invalid filename"));
    case ENOTDIR:
        throw EInOutError(error, QStringLiteral("Invalid filename"));
    case EACCES:
        throw EInOutError(error, QStringLiteral("File access denied"));
    case EMFILE:
    case ENFILE:
        throw EInOutError(error, QStringLiteral("Too many open files"));
    default:
        throw EInOutError(error, QStringLiteral("I/O error %1").arg(error));
    }
}

// Bytes 0x80-0x9f differ from Latin-1; the five the code page leaves undefined map to the
// control character of the same value, as the platform's own conversion does.
QString fromWindows1252(const QByteArray &bytes)
{
    static constexpr char16_t high[32] = {
        0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QString text(bytes.size(), Qt::Uninitialized);
    QChar *out = text.data();
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        *out++ = (byte >= 0x80 && byte < 0xA0) ? QChar(high[byte - 0x80]) : QChar(char16_t(byte));
    }
    return text;
}

// A file a Linux editor wrote is UTF-8; one the earlier version wrote is code page 1252,
// which is almost never valid UTF-8 once it holds an accented letter.
QString decodeLine(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return fromWindows1252(bytes);
    return text.startsWith(QChar::ByteOrderMark) ? text.mid(1) : text;
}

} // namespace

QString readFirstLine(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    // Non-blocking, so a FIFO cannot hold the open; only a regular file is then read.
    const int fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throwInOutError(errno, path);
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
        ::close(fd);
        throwInOutError(error, path);
    }

    QByteArray line;
    char buffer[4096];
    bool done = false;
    while (!done && line.size() < maxLineBytes) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            ::close(fd);
            throwInOutError(error, path);
        }
        if (count == 0)
            break;
        for (ssize_t i = 0; i < count; ++i) {
            const char c = buffer[i];
            if (c == '\n' || c == '\x1a') {
                done = true;
                break;
            }
            if (c != '\r')
                line.append(c);
        }
    }

    if (::close(fd) != 0)
        throwInOutError(errno, path);
    line.truncate(maxLineBytes);
    return decodeLine(line);
}
