// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/legacy/convert.h"

#include "catalogue/catalogue.h"
#include "catalogue/disk.h"
#include "core/exceptions.h"
#include "core/schema.h"
#include "data/engine/sqlite/sqlite_file.h"
#include "data/engine/sqlite/statement.h"
#include "tools/legacy/jet_reader.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Legacy::nativeName;
using Legacy::syncFile;
using Legacy::syncFolder;
using Legacy::systemError;

[[noreturn]] void refuse(const QString &message)
{
    throw Exception(message);
}

// What tells whether the Jet file is still the one that was read.
struct FileIdentity
{
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    mode_t mode = 0;

    bool sameFile(const struct stat &other) const
    {
        return other.st_dev == device && other.st_ino == inode;
    }
    bool operator==(const FileIdentity &o) const
    {
        return device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec;
    }
};

bool identityOf(const QString &path, FileIdentity *identity)
{
    struct stat info;
    if (::stat(nativeName(path).constData(), &info) != 0)
        return false;
    *identity = {info.st_dev, info.st_ino, info.st_size, info.st_mtim, info.st_mode};
    return true;
}

// The new catalogue while it is being made and checked; every failure names it.
class NewCatalogue
{
public:
    NewCatalogue(const QString &path, SqliteFile::Options options)
        : m_path(path)
    {
        attempt([&] { m_file = std::make_unique<SqliteFile>(path, options); });
    }

    void run(const QString &sql)
    {
        attempt([&] { m_file->run(sql); });
    }

    QStringList column(const char *sql)
    {
        QStringList values;
        attempt([&] {
            Statement statement(*m_file, QString::fromUtf8(sql));
            while (statement.step())
                values.append(statement.text(0));
        });
        return values;
    }

    void insertRows(const Legacy::JetTable &table, const QString &sql)
    {
        attempt([&] {
            Statement statement(*m_file, sql);
            for (const QList<QVariant> &row : table.rows) {
                for (int i = 0; i < row.size(); ++i)
                    statement.bind(i + 1, row.at(i));
                statement.execute();
                statement.reset();
            }
        });
    }

    void close()
    {
        attempt([&] { m_file->close(); });
    }

private:
    template <typename Work> void attempt(const Work &work)
    {
        try {
            work();
        } catch (const SqliteFile::OpenError &e) {
            fail(e.engineText());
        } catch (const EngineError &e) {
            fail(e.engineText());
        }
    }

    [[noreturn]] void fail(const QString &engineText) const
    {
        refuse(QStringLiteral("Não foi possível gravar o novo catálogo '%1' (%2)")
                   .arg(m_path, engineText));
    }

    QString m_path;
    std::unique_ptr<SqliteFile> m_file;
};

void writeCatalogue(const QString &path, const Legacy::JetCatalogue &catalogue)
{
    NewCatalogue db(path, SqliteFile::Option::Create);
    // The file is thrown away if anything fails, and synced as a whole once complete.
    db.run(QStringLiteral("PRAGMA journal_mode = OFF; PRAGMA synchronous = OFF; BEGIN"));
    db.run(Schema::sqliteDdl());
    // Explicit codes keep the gaps; AUTOINCREMENT then records the highest in sqlite_sequence.
    db.insertRows(catalogue.media, QStringLiteral("INSERT INTO cds (codigo, titulo, obs, tipo, "
                                                  "local) VALUES (?, ?, ?, ?, ?)"));
    db.insertRows(catalogue.titles, QStringLiteral("INSERT INTO softs (numero, nome, descricao, "
                                                   "midia) VALUES (?, ?, ?, ?)"));
    db.run(QStringLiteral("COMMIT"));
    db.close();
}

qint64 highestCode(const Legacy::JetTable &table)
{
    qint64 highest = 0;
    for (const QList<QVariant> &row : table.rows)
        highest = std::max(highest, row.first().toLongLong());
    return highest;
}

// Reads the finished file afresh, as the program would, before it may replace anything.
void verifyCatalogue(const QString &path, const Legacy::JetCatalogue &catalogue)
{
    NewCatalogue db(path, SqliteFile::Option::ReadOnly);
    const QStringList integrity = db.column("PRAGMA integrity_check");
    if (integrity != QStringList{QStringLiteral("ok")})
        refuse(QStringLiteral("O novo catálogo '%1' não passou na verificação de integridade "
                              "(%2)")
                   .arg(path, integrity.join(QStringLiteral("; "))));
    const QStringList counts =
        db.column("SELECT count(*) FROM cds UNION ALL SELECT count(*) FROM softs");
    const QStringList expected = {QString::number(catalogue.media.rows.size()),
                                  QString::number(catalogue.titles.rows.size())};
    if (counts != expected)
        refuse(QStringLiteral("O novo catálogo '%1' tem %2 mídias e %3 títulos, mas o original "
                              "tem %4 e %5")
                   .arg(path, counts.value(0), counts.value(1), expected.at(0), expected.at(1)));
    const QStringList sequence = db.column(
        "SELECT (SELECT coalesce(max(seq), 0) FROM sqlite_sequence WHERE name = 'cds') "
        "UNION ALL SELECT (SELECT coalesce(max(seq), 0) FROM sqlite_sequence WHERE name = "
        "'softs')");
    if (sequence.value(0).toLongLong() < highestCode(catalogue.media) ||
        sequence.value(1).toLongLong() < highestCode(catalogue.titles)) {
        refuse(QStringLiteral("O novo catálogo '%1' daria a um registro novo um código já usado")
                   .arg(path));
    }
}

// Links the original to its backup name; a link left by an interrupted run is used again.
struct Backup
{
    QString path;
    bool created = false;
};

Backup keepOriginal(const QString &source, const FileIdentity &identity)
{
    for (int n = 1; n < 1000; ++n) {
        const QString candidate =
            source + Legacy::backupSuffix() + (n == 1 ? QString() : QStringLiteral("-%1").arg(n));
        const QByteArray name = nativeName(candidate);
        if (::link(nativeName(source).constData(), name.constData()) == 0)
            return {candidate, true};
        const int error = errno;
        if (error != EEXIST)
            refuse(QStringLiteral("Não foi possível guardar o original como '%1' (%2)")
                       .arg(candidate, systemError(error)));
        struct stat info;
        if (::stat(name.constData(), &info) == 0 && identity.sameFile(info))
            return {candidate, false};
    }
    refuse(QStringLiteral("Há cópias demais de '%1' guardadas ao lado dele").arg(source));
}

bool sameExistingFile(const QString &a, const QString &b)
{
    FileIdentity first;
    FileIdentity second;
    return identityOf(a, &first) && identityOf(b, &second) && first.device == second.device &&
           first.inode == second.inode;
}

// Held for the whole conversion, so a second conversion of the same file is refused rather
// than run beside it: its later rename would throw away what was saved in between.
class ConversionLock
{
public:
    explicit ConversionLock(const QString &source)
    {
        const QByteArray name = nativeName(source);
        m_fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (m_fd < 0)
            return; // the reader reports a file it cannot open
        if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
            refuse(QStringLiteral("O arquivo '%1' já está sendo convertido por outro processo; "
                                  "espere essa conversão terminar")
                       .arg(source));
        // The name may have passed to a converted catalogue while this run opened it.
        struct stat opened;
        struct stat named;
        if (::fstat(m_fd, &opened) != 0 || ::stat(name.constData(), &named) != 0 ||
            opened.st_dev != named.st_dev || opened.st_ino != named.st_ino) {
            refuse(QStringLiteral("O arquivo '%1' acabou de ser convertido por outro processo")
                       .arg(source));
        }
    }
    ~ConversionLock()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    ConversionLock(const ConversionLock &) = delete;
    ConversionLock &operator=(const ConversionLock &) = delete;

private:
    int m_fd = -1;
};

} // namespace

Legacy::ConversionResult Legacy::convertJetCatalogue(const QString &jetPath,
                                                     const QString &sqlitePath)
{
    const bool inPlace = sqlitePath.isEmpty() || sameExistingFile(jetPath, sqlitePath);
    // In place, the real file is replaced, not a symbolic link that names it.
    const QString source =
        inPlace && QFileInfo(jetPath).exists() ? QFileInfo(jetPath).canonicalFilePath() : jetPath;
    const QString target = inPlace ? source : sqlitePath;
    struct stat targetInfo;
    if (!inPlace && ::lstat(nativeName(target).constData(), &targetInfo) == 0)
        refuse(QStringLiteral("O arquivo '%1' já existe").arg(target));

    const ConversionLock lock(source);
    FileIdentity before;
    const bool sourceExists = identityOf(source, &before);
    const JetCatalogue catalogue = readJetCatalogue(source);
    if (!sourceExists)
        refuse(QStringLiteral("Não foi possível encontrar o arquivo '%1'").arg(source));

    const QString folder = QFileInfo(target).absolutePath();
    TemporaryFile temporary(target, QStringLiteral("convert"));
    writeCatalogue(temporary.path(), catalogue);
    verifyCatalogue(temporary.path(), catalogue);
    if (inPlace)
        ::chmod(nativeName(temporary.path()).constData(), before.mode & 07777);
    syncFile(temporary.path());
    syncFolder(folder);

    ConversionResult result;
    result.catalogue = target;
    result.mediaCount = int(catalogue.media.rows.size());
    result.titleCount = int(catalogue.titles.rows.size());
    result.warnings = catalogue.warnings;

    if (!inPlace) {
        // link() never replaces a file that appeared meanwhile.
        if (::link(nativeName(temporary.path()).constData(), nativeName(target).constData()) != 0) {
            const int error = errno;
            refuse(QStringLiteral("Não foi possível criar o arquivo '%1' (%2)")
                       .arg(target, systemError(error)));
        }
        temporary.discard();
        syncFolder(folder);
        return result;
    }

    FileIdentity now;
    if (!identityOf(source, &now) || !(now == before))
        refuse(QStringLiteral("O arquivo '%1' foi alterado durante a conversão. "
                              "Feche o programa que o usa e converta-o de novo")
                   .arg(source));
    // From here the original keeps a second name, and rename() swaps the new catalogue in
    // atomically: a crash at any moment leaves the original or the complete new catalogue
    // under the file's name.
    const Backup backup = keepOriginal(source, before);
    syncFolder(folder);
    if (::rename(nativeName(temporary.path()).constData(), nativeName(source).constData()) != 0) {
        const int error = errno;
        if (backup.created)
            ::unlink(nativeName(backup.path).constData());
        refuse(QStringLiteral("Não foi possível pôr o novo catálogo no lugar de '%1' (%2)")
                   .arg(source, systemError(error)));
    }
    temporary.release();
    syncFolder(folder);
    result.backup = backup.path;
    return result;
}
