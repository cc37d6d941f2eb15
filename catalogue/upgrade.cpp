// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/upgrade.h"

#include "catalogue/disk.h"
#include "core/exceptions.h"
#include "data/engine/schema_objects.h"
#include "data/engine/sqlite/statement.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void refuse(const QString &message)
{
    throw Exception(message);
}

class Database
{
public:
    Database(const QString &path, int flags)
    {
        const int rc = sqlite3_open_v2(Legacy::nativeName(path).constData(), &m_db, flags, nullptr);
        if (rc != SQLITE_OK) {
            const QString text = m_db ? QString::fromUtf8(sqlite3_errmsg(m_db))
                                      : QString::fromUtf8(sqlite3_errstr(rc));
            sqlite3_close(m_db);
            refuse(QStringLiteral("Não foi possível abrir o catálogo '%1' (%2)").arg(path, text));
        }
        sqlite3_extended_result_codes(m_db, 1);
    }
    ~Database() { sqlite3_close(m_db); }
    Database(const Database &) = delete;
    Database &operator=(const Database &) = delete;

    sqlite3 *handle() const { return m_db; }

    // Runs one or more statements that return no rows.
    void exec(const QString &sql, const QString &catalogue) const
    {
        char *error = nullptr;
        const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error);
        const QString text = QString::fromUtf8(error ? error : sqlite3_errstr(rc));
        sqlite3_free(error);
        if (rc != SQLITE_OK)
            throw EngineError(rc, text, catalogue);
    }

private:
    sqlite3 *m_db = nullptr;
};

int versionOf(const Database &db, const QString &path)
{
    Statement statement(db.handle(), QStringLiteral("PRAGMA user_version"), path);
    return statement.step() ? int(statement.integer(0)) : 0;
}

void checkIsCatalogueFile(const QString &path)
{
    struct stat info;
    if (::stat(Legacy::nativeName(path).constData(), &info) != 0)
        refuse(QStringLiteral("Não foi possível encontrar o arquivo '%1'").arg(path));
    if (!S_ISREG(info.st_mode))
        refuse(QStringLiteral("'%1' não é um arquivo").arg(path));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        refuse(QStringLiteral("Sem permissão para ler o arquivo '%1'").arg(path));
    if (file.read(16) != QByteArrayView("SQLite format 3\0", 16))
        refuse(QStringLiteral("O arquivo '%1' não é um catálogo do Quivel").arg(path));
}

// A second name for the file as it was, never taking one already in use.
QString keepOriginal(const QString &source, const QString &suffix)
{
    const QString base = source + suffix;
    for (int n = 1; n < 1000; ++n) {
        const QString candidate = n == 1 ? base : base + QStringLiteral("-%1").arg(n);
        if (::link(Legacy::nativeName(source).constData(),
                   Legacy::nativeName(candidate).constData()) == 0) {
            return candidate;
        }
        const int error = errno;
        if (error != EEXIST)
            refuse(QStringLiteral("Não foi possível guardar o original como '%1' (%2)")
                       .arg(candidate, Legacy::systemError(error)));
    }
    refuse(QStringLiteral("Há cópias demais de '%1' guardadas ao lado dele").arg(source));
}

// The engine's integrity check on an open catalogue; refuses with its findings.
// quick_check reads every page, record and constraint; integrity_check would also match every
// index entry with its row, which took five times as long on a catalogue of 1,000,000 titles.
// A copy is also compared table by table with its original (checkSameRows).
void checkIntegrity(const Database &db, const QString &path, const QString &what)
{
    Statement check(db.handle(), QStringLiteral("PRAGMA quick_check"), path);
    QStringList integrity;
    while (check.step())
        integrity.append(check.text(0));
    if (integrity != QStringList{QStringLiteral("ok")})
        refuse(QStringLiteral("%1 não passou na verificação de integridade (%2)")
                   .arg(what, integrity.join(QStringLiteral("; "))));
}

// Replaces the catalogue at `source`, whose write lock `original` holds, by a copy that
// `change` has changed: the copy must pass the engine's integrity check and is made durable,
// the original keeps a second name (`source` + `suffix`), and only then does the copy take the
// file's name at once. Returns the original's second name.
QString replaceThroughCopy(const QString &source, const QString &suffix,
                           const std::function<void(const Database &, const QString &)> &change)
{
    Legacy::TemporaryFile temporaryFile(source, QStringLiteral("upgrade"));
    const QString &temporary = temporaryFile.path();
    {
        // A second connection reads the file: the engine copies nothing from one that holds
        // a write transaction.
        Database reader(source, SQLITE_OPEN_READONLY);
        Database copy(temporary, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        sqlite3_backup *backup =
            sqlite3_backup_init(copy.handle(), "main", reader.handle(), "main");
        const int rc = backup ? sqlite3_backup_step(backup, -1) : SQLITE_ERROR;
        sqlite3_backup_finish(backup);
        if (rc != SQLITE_DONE)
            refuse(QStringLiteral("Não foi possível copiar o catálogo '%1' (%2)")
                       .arg(source, QString::fromUtf8(sqlite3_errmsg(copy.handle()))));
        change(copy, temporary);
        checkIntegrity(copy, temporary, QStringLiteral("O catálogo alterado"));
        // No table lost or gained a row.
        Statement tables(reader.handle(),
                         QStringLiteral("SELECT name FROM sqlite_schema WHERE type = 'table' AND "
                                        "name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"),
                         source);
        while (tables.step()) {
            const QString table = tables.text(0);
            const QString count = QStringLiteral("SELECT count(*) FROM \"%1\"")
                                      .arg(QString(table).replace(u'"', QStringLiteral("\"\"")));
            Statement before(reader.handle(), count, source);
            Statement after(copy.handle(), count, temporary);
            if (!before.step() || !after.step() || before.integer(0) != after.integer(0))
                refuse(QStringLiteral("O catálogo alterado não tem todos os registros da "
                                      "tabela '%1'")
                           .arg(table));
        }
    }
    struct stat info;
    if (::stat(Legacy::nativeName(source).constData(), &info) == 0)
        ::chmod(Legacy::nativeName(temporary).constData(), info.st_mode & 07777);
    const QString folder = QFileInfo(source).absolutePath();
    Legacy::syncFile(temporary);
    Legacy::syncFolder(folder);

    // From here the original keeps a second name, and rename() swaps the copy in atomically:
    // a crash at any moment leaves the old or the changed catalogue under the file's name.
    const QString backup = keepOriginal(source, suffix);
    Legacy::syncFolder(folder);
    if (::rename(Legacy::nativeName(temporary).constData(),
                 Legacy::nativeName(source).constData()) != 0) {
        const int error = errno;
        ::unlink(Legacy::nativeName(backup).constData());
        refuse(QStringLiteral("Não foi possível pôr o catálogo alterado no lugar de '%1' (%2)")
                   .arg(source, Legacy::systemError(error)));
    }
    temporaryFile.release();
    Legacy::syncFolder(folder);
    return backup;
}

} // namespace

Legacy::UpgradeResult Legacy::upgradeCatalogue(const QString &path,
                                               std::span<const Schema::Migration> migrations,
                                               int newest)
{
    // The real file is replaced, not a symbolic link that names it.
    const QString source = QFileInfo(path).exists() ? QFileInfo(path).canonicalFilePath() : path;
    checkIsCatalogueFile(source);

    Database original(source, SQLITE_OPEN_READWRITE);
    sqlite3_busy_timeout(original.handle(), 5000);
    // Held to the end: no other copy of the program can save into the file being replaced.
    original.exec(QStringLiteral("BEGIN IMMEDIATE"), source);
    // A damaged file is never called up to date, nor copied into a new one.
    checkIntegrity(original, source, QStringLiteral("O catálogo '%1'").arg(source));
    const int version = versionOf(original, source);
    UpgradeResult result{version, version, {}};
    if (version > newest) {
        refuse(QStringLiteral("O catálogo '%1' foi criado por uma versão mais nova do Quivel e "
                              "não pode ser aberto por esta")
                   .arg(source));
    }
    if (version == newest)
        return result;

    QList<Schema::Migration> steps;
    for (int from = version; from < newest; ++from) {
        const auto step =
            std::find_if(migrations.begin(), migrations.end(),
                         [from](const Schema::Migration &m) { return m.from == from; });
        if (step == migrations.end())
            refuse(QStringLiteral("O catálogo '%1' é da versão %2, que esta versão do Quivel não "
                                  "sabe atualizar")
                       .arg(source)
                       .arg(version));
        steps.append(*step);
    }

    result.backup = replaceThroughCopy(
        source, QStringLiteral(".v%1-original").arg(version),
        [&](const Database &copy, const QString &temporary) {
            copy.exec(QStringLiteral("BEGIN"), temporary);
            for (const Schema::Migration &step : std::as_const(steps))
                copy.exec(QString::fromUtf8(step.sqlite.data(), qsizetype(step.sqlite.size())),
                          temporary);
            copy.exec(QStringLiteral("PRAGMA user_version = %1; COMMIT").arg(newest), temporary);
        });
    result.toVersion = newest;
    return result;
}

int Legacy::fileVersion(const QString &path)
{
    QFile file(path);
    struct stat info;
    if (::stat(nativeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode) ||
        !file.open(QIODevice::ReadOnly) ||
        file.read(16) != QByteArrayView("SQLite format 3\0", 16)) {
        return -1;
    }
    // user_version is the big-endian 32-bit value at offset 60 of the header; read there, the
    // file is not opened by the engine, so nothing is written beside it (a read-only folder).
    if (!file.seek(60))
        return -1;
    const QByteArray bytes = file.read(4);
    if (bytes.size() != 4)
        return -1;
    return int((quint32(quint8(bytes[0])) << 24) | (quint32(quint8(bytes[1])) << 16) |
               (quint32(quint8(bytes[2])) << 8) | quint32(quint8(bytes[3])));
}

QString Legacy::upgradeForUser(const QString &path)
{
    const int version = fileVersion(path);
    if (version < 1 || version >= Schema::version)
        return {};
    const UpgradeResult result = upgradeCatalogue(path);
    if (result.backup.isEmpty())
        return {};
    return QStringLiteral("O catálogo '%1' era da versão %2 e foi atualizado para a versão %3: "
                          "agora cada título tem uma categoria (Software, Jogo, Filme, Música, "
                          "Documento, Outros), e os títulos que já existiam ficaram na categoria "
                          "\"Software\".\n\nO arquivo original foi guardado, sem alterações, em "
                          "'%4'.")
        .arg(path)
        .arg(result.fromVersion)
        .arg(result.toVersion)
        .arg(result.backup);
}

Legacy::CleanResult Legacy::cleanCatalogue(const QString &path)
{
    const QString source = QFileInfo(path).exists() ? QFileInfo(path).canonicalFilePath() : path;
    checkIsCatalogueFile(source);

    Database original(source, SQLITE_OPEN_READWRITE);
    sqlite3_busy_timeout(original.handle(), 5000);
    sqlite3_db_config(original.handle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    original.exec(QStringLiteral("BEGIN IMMEDIATE"), source);
    checkIntegrity(original, source, QStringLiteral("O catálogo '%1'").arg(source));
    CleanResult result;
    const QList<SchemaObjects::Finding> findings =
        SchemaObjects::inspectFile(original.handle(), source);
    const QStringList statements = SchemaObjects::removalStatements(findings);
    for (const SchemaObjects::Finding &finding : findings) {
        if (!finding.refusesWrites)
            continue;
        if (finding.kind == u"chave" || finding.kind == u"ordenação")
            result.kept.append(finding.description);
        else
            result.removed.append(finding.description);
    }
    if (statements.isEmpty())
        return result;
    result.backup = replaceThroughCopy(
        source, QStringLiteral(".antes-da-limpeza"),
        [&](const Database &copy, const QString &temporary) {
            sqlite3_db_config(copy.handle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
            copy.exec(QStringLiteral("BEGIN"), temporary);
            for (const QString &statement : statements)
                copy.exec(statement, temporary);
            copy.exec(QStringLiteral("COMMIT"), temporary);
        });
    return result;
}
