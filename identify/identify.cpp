// SPDX-License-Identifier: GPL-3.0-or-later
#include "identify/identify.h"

#include "identify/formats.h"
#include "identify/grouping.h"
#include "identify/input.h"
#include "identify/medium_guess.h"
#include "identify/untrusted_text.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QSet>

#include <archive.h>
#include <archive_entry.h>

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace Identify {

QString evidenceText(Evidence evidence)
{
    switch (evidence) {
    case Evidence::MsiProperties:
        return QStringLiteral("propriedades do pacote MSI");
    case Evidence::ProgramVersion:
        return QStringLiteral("informações de versão do programa");
    case Evidence::DebianControl:
        return QStringLiteral("campos de controle do pacote Debian");
    case Evidence::RpmHeader:
        return QStringLiteral("cabeçalho do pacote RPM");
    case Evidence::Autorun:
        return QStringLiteral("rótulo do autorun.inf");
    case Evidence::DesktopEntry:
        return QStringLiteral("atalho .desktop");
    case Evidence::AppImage:
        return QStringLiteral("nome da AppImage");
    case Evidence::LibraryVersion:
        return QStringLiteral("informações de versão de uma biblioteca");
    case Evidence::Folder:
        return QStringLiteral("pasta com programas (indício fraco)");
    }
    return {};
}

namespace {

constexpr int maxNotes = 1000;
constexpr int maxDepth = 128;

QString nameText(const char *name)
{
    return decodeUntrusted(QByteArrayView(name, qsizetype(strlen(name))));
}

QString joined(const QString &folder, const QString &name)
{
    return folder.isEmpty() ? name : folder + u'/' + name;
}

class Scan
{
public:
    explicit Scan(const Options &options)
        : m_options(options)
    {
        m_progressClock.start();
    }

    void walkFolder(int dirFd, const QString &relative, int depth);
    // Reads an archive or image; level 0 when it is the medium itself.
    void readArchive(Input &input, const QString &prefix, int level);
    // Reads one file of the medium; file is relative to the medium.
    void readFile(Kind kind, Input &input, const QString &file, int level);
    void readFileAt(int dirFd, const char *name, Kind kind, const QString &file);

    void note(const QString &file, const QString &text)
    {
        if (m_result.notes.size() < maxNotes)
            m_result.notes.append({file, text});
        else
            ++m_notesLeftOut;
    }
    void seen(const QString &folder)
    {
        ++m_result.filesSeen;
        if ((m_result.filesSeen & 63) == 0)
            report(folder);
    }
    void report(const QString &folder, bool now = false)
    {
        if (m_options.cancelled && m_options.cancelled())
            throw Cancelled{};
        if (!m_options.progress || (!now && m_progressClock.elapsed() < 100))
            return;
        m_progressClock.restart();
        m_options.progress({m_result.filesSeen, int(m_products.size()), folder});
    }
    void programIn(const QString &file)
    {
        const QString top = topFolderOf(file);
        if (!top.isEmpty() && !m_facts.programFolders.contains(top))
            m_facts.programFolders << top;
    }
    Budget budget() const
    {
        return Budget(m_options.maxBytesPerFile, m_options.millisecondsPerFile,
                      m_options.cancelled);
    }

    Result finish()
    {
        m_result.titles = groupTitles(m_facts);
        if (m_notesLeftOut > 0)
            m_result.notes.append(
                {QString(), QStringLiteral("e mais %1 aviso(s) não listados").arg(m_notesLeftOut)});
        return std::move(m_result);
    }

    Result m_result;

private:
    const Options &m_options;
    Facts m_facts;
    QElapsedTimer m_progressClock;
    int m_notesLeftOut = 0;
    QSet<QString> m_products;                    // distinct products named so far, for the progress
    std::set<std::pair<dev_t, ino_t>> m_folders; // on the current path, against loops
};

void Scan::readFile(Kind kind, Input &input, const QString &file, int level)
{
    if (isProgramKind(kind))
        programIn(file);
    std::optional<Finding> finding;
    try {
        switch (kind) {
        case Kind::Program:
        case Kind::Library:
            finding = readWindowsProgram(input, kind == Kind::Library);
            break;
        case Kind::Msi:
            finding = readMsi(input);
            break;
        case Kind::Deb:
            finding = readDeb(input);
            break;
        case Kind::Rpm:
            finding = readRpm(input);
            break;
        case Kind::Desktop:
            finding = readDesktopEntry(input);
            break;
        case Kind::Autorun:
            finding = readAutorun(input);
            break;
        case Kind::AppImage:
            finding = readAppImage(input, file.section(u'/', -1));
            break;
        case Kind::Archive:
            if (level == 0)
                readArchive(input, file, 1);
            return;
        case Kind::Cab:
            if (level == 0 && !m_facts.cabsByFolder.contains(folderOf(file)))
                readArchive(input, file, 1);
            return;
        case Kind::Other:
            return;
        }
    } catch (const Skip &skip) {
        note(file, skip.text);
        return;
    }
    if (!finding)
        return;
    finding->file = file;
    if (kind == Kind::Autorun && !finding->launches.isEmpty())
        finding->launches = joined(folderOf(file), finding->launches);
    const QString top = topFolderOf(file);
    if (!top.isEmpty() && kind != Kind::Library && !m_facts.foldersWithFindings.contains(top))
        m_facts.foldersWithFindings << top;
    if (kind != Kind::Library && kind != Kind::Autorun)
        m_products.insert(finding->product.simplified().toCaseFolded());
    m_facts.findings.push_back(std::move(*finding));
}

void Scan::readFileAt(int dirFd, const char *name, Kind kind, const QString &file)
{
    const int fd = openUntouched(dirFd, name, O_RDONLY);
    if (fd < 0) {
        if (errno == ENOENT)
            note(file, QStringLiteral("o arquivo sumiu durante a leitura"));
        else
            note(file, QStringLiteral("não foi possível abrir: %1").arg(systemErrorText(errno)));
        return;
    }
    struct stat st
    {
    };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        note(file, QStringLiteral("não é um arquivo comum; deixado de lado"));
        return;
    }
    FileInput input(fd, st.st_size);
    Budget bounds = budget();
    input.budget = &bounds;
    readFile(kind, input, file, 0);
}

void Scan::walkFolder(int dirFd, const QString &relative, int depth)
{
    struct stat self
    {
    };
    if (::fstat(dirFd, &self) != 0)
        return;
    if (!m_folders.insert({self.st_dev, self.st_ino}).second) {
        note(relative, QStringLiteral("pasta já visitada neste caminho (laço); não seguida"));
        return;
    }
    report(relative, depth == 0);
    const int listFd = ::dup(dirFd);
    DIR *dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0)
            ::close(listFd);
        note(relative, QStringLiteral("pasta ilegível"));
        m_folders.erase({self.st_dev, self.st_ino});
        return;
    }
    // The folder is listed whole before anything in it is read, so the .cab files beside an
    // installer are known when it is, and only one listing is open per level.
    struct Entry
    {
        QByteArray name;
        QString text; // as shown
        unsigned char type;
        Kind kind;
    };
    std::vector<Entry> entries;
    errno = 0;
    while (const dirent *e = ::readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        QString text = nameText(e->d_name);
        const Kind kind = kindOf(text);
        entries.push_back({QByteArray(e->d_name), std::move(text), e->d_type, kind});
    }
    if (errno != 0)
        note(relative, QStringLiteral("a listagem da pasta parou: %1").arg(systemErrorText(errno)));
    ::closedir(dir);

    bool hasInstaller = false;
    QStringList cabs;
    for (const Entry &e : entries) {
        hasInstaller = hasInstaller || e.kind == Kind::Msi || e.kind == Kind::Program;
        if (e.kind == Kind::Cab)
            cabs << joined(relative, e.text);
    }
    if (hasInstaller && !cabs.isEmpty())
        m_facts.cabsByFolder.insert(relative, cabs);

    for (const Entry &e : entries) {
        const QString &name = e.text;
        const QString file = joined(relative, name);
        seen(relative);
        unsigned char type = e.type;
        if (type == DT_UNKNOWN) {
            struct stat st
            {
            };
            if (::fstatat(dirFd, e.name.constData(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
                note(file, QStringLiteral("o arquivo sumiu durante a leitura"));
                continue;
            }
            type = S_ISDIR(st.st_mode)   ? DT_DIR
                   : S_ISREG(st.st_mode) ? DT_REG
                   : S_ISLNK(st.st_mode) ? DT_LNK
                                         : DT_UNKNOWN;
        }
        if (type == DT_LNK) {
            // Links are never followed: the medium is read as it is, and loops cannot form.
            struct stat target
            {
            };
            if (::fstatat(dirFd, e.name.constData(), &target, 0) != 0 && errno == ELOOP)
                note(file, QStringLiteral("ligação simbólica em laço; não seguida"));
            else if (S_ISDIR(target.st_mode))
                note(file, QStringLiteral("ligação simbólica para uma pasta; não seguida"));
            continue;
        }
        if (type == DT_DIR) {
            if (depth >= maxDepth) {
                note(file, QStringLiteral("pastas aninhadas fundo demais; não lida"));
                continue;
            }
            const int child = openUntouched(dirFd, e.name.constData(), O_RDONLY | O_DIRECTORY);
            if (child < 0) {
                note(file, errno == ENOENT
                               ? QStringLiteral("a pasta sumiu durante a leitura")
                               : QStringLiteral("pasta ilegível: %1").arg(systemErrorText(errno)));
                continue;
            }
            try {
                walkFolder(child, file, depth + 1);
            } catch (...) {
                ::close(child);
                throw;
            }
            ::close(child);
            continue;
        }
        if (type != DT_REG)
            continue;
        const Kind kind = e.kind;
        if (kind == Kind::Other || (kind == Kind::Cab && m_facts.cabsByFolder.contains(relative)))
            continue;
        readFileAt(dirFd, e.name.constData(), kind, file);
    }
    m_folders.erase({self.st_dev, self.st_ino});
}

void Scan::readArchive(Input &input, const QString &prefix, int level)
{
    QString error;
    struct archive *a = input.openArchive(
        [](struct archive *a) {
            archive_read_support_filter_all(a);
            archive_read_support_format_iso9660(a);
            archive_read_support_format_zip(a);
            archive_read_support_format_7zip(a);
            archive_read_support_format_cab(a);
            archive_read_support_format_tar(a);
        },
        &error);
    if (!a)
        throw Skip{QStringLiteral("imagem ou arquivo compactado ilegível (%1)").arg(error)};
    const auto release = qScopeGuard([a] { archive_read_free(a); });
    struct archive_entry *entry = nullptr;
    for (qint64 count = 0;; ++count) {
        if (count >= m_options.maxEntriesPerArchive) {
            note(prefix, QStringLiteral("mais de %1 entradas; o resto não foi lido")
                             .arg(m_options.maxEntriesPerArchive));
            break;
        }
        const int status = archive_read_next_header(a, &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status < ARCHIVE_WARN) {
            input.rethrowStop();
            throw Skip{QStringLiteral("imagem ou arquivo compactado danificado (%1)")
                           .arg(cleanUntrusted(nameText(archive_error_string(a))))};
        }
        const char *utf8 = archive_entry_pathname_utf8(entry);
        const char *raw = utf8 ? utf8 : archive_entry_pathname(entry);
        QString path = cleanUntrusted(nameText(raw ? raw : ""));
        while (path.startsWith(u"./"))
            path.remove(0, 2);
        while (path.endsWith(u'/'))
            path.chop(1);
        const QString file = level == 0 ? path : joined(prefix, path);
        seen(folderOf(file));
        if (archive_entry_filetype(entry) != AE_IFREG)
            continue;
        const Kind kind = kindOf(path.section(u'/', -1));
        if (kind == Kind::Other)
            continue;
        if (kind == Kind::Cab) {
            m_facts.cabsByFolder[folderOf(file)] << file;
            continue;
        }
        if (level > 0 && (kind == Kind::Archive))
            continue; // one level into an archive, no more
        MemberInput member(a, archive_entry_size_is_set(entry) ? archive_entry_size(entry) : -1,
                           &input);
        Budget bounds = budget();
        member.budget = &bounds;
        readFile(kind, member, file, level);
        input.rethrowStop();
    }
}

} // namespace

Result identify(const QString &path, const Options &options)
{
    Scan scan(options);
    const QByteArray native = QFile::encodeName(path);
    const int fd = openUntouched(AT_FDCWD, native.constData(), O_RDONLY);
    const QString shown = QFileInfo(path).fileName();
    if (fd < 0) {
        scan.note(path, QStringLiteral("não foi possível abrir: %1").arg(systemErrorText(errno)));
        return scan.finish();
    }
    struct stat st
    {
    };
    ::fstat(fd, &st);
    try {
        if (S_ISDIR(st.st_mode)) {
            scan.m_result.medium = guessFolder(path);
            try {
                scan.walkFolder(fd, QString(), 0);
            } catch (...) {
                ::close(fd);
                throw;
            }
            ::close(fd);
        } else if (S_ISREG(st.st_mode)) {
            FileInput input(fd, st.st_size);
            const Kind kind = kindOf(shown);
            // The image is the medium: no bound but the user's cancel.
            Budget bounds(std::numeric_limits<qint64>::max(), -1, options.cancelled);
            if (kind == Kind::Archive || kind == Kind::Cab || kind == Kind::Other) {
                scan.m_result.medium = guessImage(fd, st.st_size, shown);
                input.budget = &bounds;
                try {
                    scan.readArchive(input, shown, 0);
                } catch (const Skip &skip) {
                    scan.note(shown, skip.text);
                }
            } else {
                scan.m_result.medium = guessFolder(QFileInfo(path).absolutePath());
                Budget one = scan.budget();
                input.budget = &one;
                ++scan.m_result.filesSeen;
                scan.readFile(kind, input, shown, 1);
            }
        } else {
            ::close(fd);
            scan.note(path, QStringLiteral("não é uma pasta nem um arquivo"));
        }
    } catch (const Cancelled &) {
        Result cancelled;
        cancelled.cancelled = true;
        cancelled.filesSeen = scan.m_result.filesSeen;
        return cancelled;
    }
    return scan.finish();
}

} // namespace Identify
