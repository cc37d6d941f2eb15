// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/upgrade.h"

#include "catalogue/disk.h"
#include "core/exceptions.h"
#include "data/engine/schema_objects.h"
#include "data/engine/sqlite/sqlite_file.h"
#include "data/engine/sqlite/statement.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <functional>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

namespace {

[[noreturn]] void refuse(const QString &message)
{
    throw Exception(message);
}

// Opened the way an upgrade needs it: failures refuse with the file's name, and another
// program's save is waited for.
std::unique_ptr<SqliteFile> openCatalogue(const QString &path, SqliteFile::Options options = {})
{
    auto file = std::make_unique<SqliteFile>(path, options);
    file->waitForWriters(5000);
    return file;
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
void checkIntegrity(SqliteFile &db, const QString &what)
{
    Statement check(db, QStringLiteral("PRAGMA quick_check"));
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
// file's name at once. The copy is opened with `copyOptions`. Returns the original's second
// name.
QString replaceThroughCopy(const QString &source, const QString &suffix,
                           const std::function<void(SqliteFile &)> &change,
                           SqliteFile::Options copyOptions = {})
{
    Legacy::TemporaryFile temporaryFile(source, QStringLiteral("upgrade"));
    const QString &temporary = temporaryFile.path();
    {
        // A second connection reads the file: the engine copies nothing from one that holds
        // a write transaction.
        const auto reader = openCatalogue(source, SqliteFile::Option::ReadOnly);
        const auto copy = openCatalogue(temporary, copyOptions | SqliteFile::Option::Create);
        try {
            reader->copyInto(*copy);
        } catch (const EngineError &e) {
            refuse(QStringLiteral("Não foi possível copiar o catálogo '%1' (%2)")
                       .arg(source, e.engineText()));
        }
        change(*copy);
        checkIntegrity(*copy, QStringLiteral("O catálogo alterado"));
        // No table lost or gained a row.
        Statement tables(*reader,
                         QStringLiteral("SELECT name FROM sqlite_schema WHERE type = 'table' AND "
                                        "name NOT LIKE 'sqlite\\_%' ESCAPE '\\'"));
        while (tables.step()) {
            const QString table = tables.text(0);
            const QString count = QStringLiteral("SELECT count(*) FROM \"%1\"")
                                      .arg(QString(table).replace(u'"', QStringLiteral("\"\"")));
            Statement before(*reader, count);
            Statement after(*copy, count);
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

    const auto original = openCatalogue(source);
    // Held to the end: no other copy of the program can save into the file being replaced.
    original->run(QStringLiteral("BEGIN IMMEDIATE"));
    // A damaged file is never called up to date, nor copied into a new one.
    checkIntegrity(*original, QStringLiteral("O catálogo '%1'").arg(source));
    const int version = original->userVersion();
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
        source, QStringLiteral(".v%1-original").arg(version), [&](SqliteFile &copy) {
            copy.run(QStringLiteral("BEGIN"));
            for (const Schema::Migration &step : std::as_const(steps))
                copy.run(QString::fromUtf8(step.sqlite.data(), qsizetype(step.sqlite.size())));
            copy.run(QStringLiteral("PRAGMA user_version = %1; COMMIT").arg(newest));
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

    const auto original = openCatalogue(source, SqliteFile::Option::UntrustedSchema);
    original->run(QStringLiteral("BEGIN IMMEDIATE"));
    checkIntegrity(*original, QStringLiteral("O catálogo '%1'").arg(source));
    CleanResult result;
    const QList<SchemaObjects::Finding> findings = SchemaObjects::inspectFile(*original);
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
        [&](SqliteFile &copy) {
            copy.run(QStringLiteral("BEGIN"));
            for (const QString &statement : statements)
                copy.run(statement);
            copy.run(QStringLiteral("COMMIT"));
        },
        SqliteFile::Option::UntrustedSchema);
    return result;
}
