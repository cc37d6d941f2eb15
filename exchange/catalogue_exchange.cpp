// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/catalogue_exchange.h"

#include "catalogue/file_backup.h"
#include "catalogue/server_catalogue.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/engine/backend.h"
#include "data/engine/postgres/postgres_backend.h"
#include "exchange/statement_rows.h"

#include <QDateTime>
#include <QFileInfo>

namespace Exchange {

std::unique_ptr<StatementRows> catalogueRows(Backend &catalogue)
{
    const QList<Column> columns = {
        {QStringLiteral("Código"), true},     {QStringLiteral("Aplicativo"), false},
        {QStringLiteral("Descrição"), false}, {QStringLiteral("Código da mídia"), true},
        {QStringLiteral("Mídia"), false},     {QStringLiteral("Tipo"), false},
        {QStringLiteral("Local"), false},     {QStringLiteral("Observações da mídia"), false},
    };
    // A title whose medium is gone keeps the code it names, as the software window shows it.
    const QStringList statements = {
        QStringLiteral("SELECT s.numero, s.nome, s.descricao, s.midia, c.titulo, c.tipo, "
                       "c.local, c.obs FROM softs s LEFT JOIN cds c ON c.codigo = s.midia "
                       "ORDER BY s.numero"),
        QStringLiteral("SELECT NULL, NULL, NULL, c.codigo, c.titulo, c.tipo, c.local, c.obs "
                       "FROM cds c WHERE NOT EXISTS (SELECT 1 FROM softs s WHERE s.midia = "
                       "c.codigo) ORDER BY c.codigo"),
    };
    auto rows = std::make_unique<StatementRows>(catalogue, columns, statements);
    auto count = catalogue.prepare(
        QStringLiteral("SELECT (SELECT count(*) FROM softs) + (SELECT count(*) FROM cds c WHERE "
                       "NOT EXISTS (SELECT 1 FROM softs s WHERE s.midia = c.codigo))"));
    if (count->step())
        rows->setRowCount(count->value(0).toLongLong());
    return rows;
}

bool exportCatalogue(TADOConnection &connection, const QString &path, const WriteOptions &options)
{
    connection.completePendingReads();
    Backend &backend = connection.backend();
    // One snapshot for the whole file, on the server as on the file.
    backend.prepare(backend.beginSnapshot())->execute();
    try {
        const auto rows = catalogueRows(backend);
        const bool complete = writeTable(*rows, path, options);
        backend.prepare(QStringLiteral("COMMIT"))->execute();
        return complete;
    } catch (...) {
        try {
            backend.prepare(QStringLiteral("ROLLBACK"))->execute();
        } catch (...) {
        }
        throw;
    }
}

void openCatalogue(TADOConnection &connection, const QString &catalogue)
{
    if (Backend::namesServer(catalogue))
        connection.setConnectionString(catalogue);
    else
        connection.setConnectionString(QStringLiteral("Data Source=") + catalogue + u';',
                                       catalogue);
    connection.open();
}

BackupResult backupCatalogue(const QString &catalogue, const QString &destination)
{
    BackupResult result;
    result.path = destination;
    if (!Backend::namesServer(catalogue)) {
        const FileBackup::Counts counts = FileBackup::copy(catalogue, destination);
        result.media = counts.media;
        result.titles = counts.titles;
        return result;
    }
    // The server's copy reads one snapshot; the file it makes is checked like any backup.
    ServerCatalogue::copyToFile(catalogue, destination);
    const QStringList problems = FileBackup::check(destination);
    if (!problems.isEmpty())
        throw Exception(QStringLiteral("A cópia '%1' não passou na verificação: %2")
                            .arg(destination, problems.join(QStringLiteral("; "))));
    const FileBackup::Counts counts = FileBackup::counts(destination);
    result.media = counts.media;
    result.titles = counts.titles;
    return result;
}

BackupResult restoreCatalogue(const QString &backup, const QString &catalogue)
{
    if (Backend::namesServer(catalogue))
        throw Exception(QStringLiteral("A restauração só é feita em catálogos em arquivo; para "
                                       "um servidor, copie a cópia de segurança para um banco "
                                       "novo com: quivel-catalogue copy CÓPIA ENDEREÇO"));
    const QStringList problems = FileBackup::check(backup);
    if (!problems.isEmpty())
        throw Exception(QStringLiteral("A cópia '%1' não pode ser restaurada: %2")
                            .arg(backup, problems.join(QStringLiteral("; "))));
    if (QFileInfo(backup).canonicalFilePath() == QFileInfo(catalogue).canonicalFilePath())
        throw Exception(QStringLiteral("A cópia e o catálogo são o mesmo arquivo"));
    // The catalogue as it was stays beside it, under a name that says when it was kept.
    const QString kept = catalogue + QStringLiteral(".antes-da-restauracao-") +
                         QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    FileBackup::copy(catalogue, kept);
    const FileBackup::Counts counts = FileBackup::restoreInto(backup, catalogue);
    BackupResult result;
    result.path = kept;
    result.media = counts.media;
    result.titles = counts.titles;
    return result;
}

} // namespace Exchange
