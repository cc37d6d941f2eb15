// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/server_catalogue.h"

#include "catalogue/catalogue.h"
#include "catalogue/server_accounts.h"
#include "catalogue/server_transaction.h"
#include "core/exceptions.h"
#include "core/schema.h"
#include "data/engine/postgres/postgres_backend.h"
#include "data/engine/schema_objects.h"
#include "data/engine/sqlite/sqlite_file.h"
#include "data/engine/sqlite/statement.h"

#include <QFile>
#include <QTemporaryDir>

#include <libpq-fe.h>

#include <cstring>

#include <memory>

namespace {

using Result = PgResult;

Result query(PostgresBackend &server, const QString &sql)
{
    return server.query(sql.toUtf8());
}

bool hasCatalogue(PostgresBackend &server)
{
    const Result r = query(server, QStringLiteral("SELECT count(*) FROM pg_catalog.pg_namespace "
                                                  "WHERE nspname = 'quivel'"));
    return PQgetvalue(r.get(), 0, 0)[0] != '0';
}

// A whole catalogue moves in one statement per table, which may outlast the session's 20 s.
constexpr auto wholeTables = ServerTransaction::StatementLimit::None;

void createTables(PostgresBackend &server)
{
    if (hasCatalogue(server)) {
        throw Exception(
            QStringLiteral("O banco '%1' já tem um catálogo do Quivel; nada foi alterado")
                .arg(server.displayName()));
    }
    try {
        query(server, Schema::postgresDdl());
    } catch (const Exception &) {
        // Another run made the catalogue meanwhile (its schema's name is taken), or is still
        // making it and holds it past the lock wait.
        if (std::strcmp(server.lastState(), "23505") != 0 &&
            std::strcmp(server.lastState(), "55P03") != 0)
            throw;
        throw Exception(QStringLiteral("Outro programa criou ou está criando um catálogo do "
                                       "Quivel no banco '%1' ao mesmo tempo; nada foi alterado")
                            .arg(server.displayName()));
    }
}

// The server itself refuses a title on a medium that is not there, so a medium deleted by one
// user while another saves a title on it cannot leave the title pointing nowhere. Kept apart
// from the tables' own definition so catalogues made before it get it through upgrade.
const QString mediumKey = QStringLiteral("softs_midia_cds");

bool hasMediumKey(PostgresBackend &server)
{
    const Result r = query(server, QStringLiteral("SELECT count(*) FROM pg_catalog.pg_constraint "
                                                  "WHERE conname = '%1' AND conrelid = "
                                                  "'quivel.softs'::pg_catalog.regclass")
                                       .arg(mediumKey));
    return PQgetvalue(r.get(), 0, 0)[0] != '0';
}

// Titles whose medium is not in the catalogue, worded as the file's check words them.
QStringList orphanTitles(PostgresBackend &server)
{
    const Result r =
        query(server, QStringLiteral("SELECT numero, nome, midia FROM quivel.softs "
                                     "WHERE midia IS NOT NULL AND midia NOT IN "
                                     "(SELECT codigo FROM quivel.cds) ORDER BY numero"));
    QStringList titles;
    for (int row = 0; row < PQntuples(r.get()); ++row) {
        titles.append(QStringLiteral("O título %1 ('%2') está na mídia %3, que não existe; não "
                                     "aparece nas buscas nem no relatório")
                          .arg(QString::fromUtf8(PQgetvalue(r.get(), row, 0)),
                               QString::fromUtf8(PQgetvalue(r.get(), row, 1)),
                               QString::fromUtf8(PQgetvalue(r.get(), row, 2))));
    }
    return titles;
}

// Adds the key; titles already without their medium (copied from a file that had them) are
// kept, and every write from now on is checked.
void addMediumKey(PostgresBackend &server)
{
    const bool orphans = !orphanTitles(server).isEmpty();
    query(server, QStringLiteral("ALTER TABLE quivel.softs ADD CONSTRAINT %1 FOREIGN KEY (midia) "
                                 "REFERENCES quivel.cds (codigo)%2")
                      .arg(mediumKey, orphans ? QStringLiteral(" NOT VALID") : QString()));
}

// COPY's text format: backslash, tab and line breaks escaped, \N for NULL. A NUL, which the
// server cannot keep in a text, is left out; returns false when one was.
bool appendCopyValue(QByteArray &line, const Statement &statement, int column)
{
    const QByteArrayView value = statement.utf8(column);
    if (value.isNull()) {
        line += "\\N";
        return true;
    }
    bool whole = true;
    const char *text = value.data();
    for (qsizetype i = 0; i < value.size(); ++i) {
        switch (text[i]) {
        case '\\':
            line += "\\\\";
            break;
        case '\t':
            line += "\\t";
            break;
        case '\n':
            line += "\\n";
            break;
        case '\r':
            line += "\\r";
            break;
        case '\0':
            whole = false;
            break;
        default:
            line += text[i];
        }
    }
    return whole;
}

void copyTableIn(SqliteFile &file, PostgresBackend &server, const Schema::Table &table,
                 QStringList &notes)
{
    QStringList columns;
    for (const Schema::Column &c : table.columns)
        columns.append(Schema::name(c.name));
    const QString list = columns.join(u',');
    const QString tableName = Schema::name(table.name);
    Statement read(file, QStringLiteral("SELECT %1 FROM %2 ORDER BY 1").arg(list, tableName));
    PGconn *conn = server.handle();
    // The file's own rows replace those a new catalogue starts with.
    if (!table.rows.empty())
        query(server, QStringLiteral("DELETE FROM quivel.%1").arg(tableName));
    {
        const QByteArray copy =
            QStringLiteral("COPY quivel.%1 (%2) FROM STDIN").arg(tableName, list).toUtf8();
        Result started(PQexec(conn, copy.constData()));
        if (PQresultStatus(started.get()) != PGRES_COPY_IN) {
            const char *state = PQresultErrorField(started.get(), PG_DIAG_SQLSTATE);
            server.fail(state ? state : "", QString::fromUtf8(PQerrorMessage(conn)).trimmed());
        }
    }
    QByteArray buffer;
    const auto flush = [&] {
        if (!buffer.isEmpty() && PQputCopyData(conn, buffer.constData(), int(buffer.size())) != 1)
            server.fail("08006", QString::fromUtf8(PQerrorMessage(conn)));
        buffer.clear();
    };
    while (read.step()) {
        for (int i = 0; i < int(columns.size()); ++i) {
            if (i > 0)
                buffer += '\t';
            if (!appendCopyValue(buffer, read, i)) {
                notes.append(QStringLiteral("Tabela '%1', código %2, coluna '%3': o texto tinha "
                                            "um caractere nulo, que o servidor não aceita; foi "
                                            "copiado sem ele")
                                 .arg(tableName)
                                 .arg(read.integer(0))
                                 .arg(columns[i]));
            }
        }
        buffer += '\n';
        if (buffer.size() > (1 << 20))
            flush();
    }
    flush();
    if (PQputCopyEnd(conn, nullptr) != 1)
        server.fail("08006", QString::fromUtf8(PQerrorMessage(conn)));
    Result r(PQgetResult(conn));
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
        const char *state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
        const char *text = PQresultErrorField(r.get(), PG_DIAG_MESSAGE_PRIMARY);
        while (PGresult *rest = PQgetResult(conn))
            PQclear(rest);
        server.fail(state ? state : "", QString::fromUtf8(text ? text : ""));
    }
    while (PGresult *rest = PQgetResult(conn))
        PQclear(rest);

    // The next code continues from the file's own counter, which a delete never lowers.
    const Schema::Column &key = table.columns.front();
    qint64 next = 0;
    {
        Statement seq(file, QStringLiteral("SELECT max(n) FROM (SELECT max(%1) AS n FROM %2 UNION "
                                           "ALL SELECT seq FROM sqlite_sequence WHERE name = '%2')")
                                .arg(Schema::name(key.name), tableName));
        if (seq.step())
            next = seq.integer(0);
    }
    const QString sequence = QStringLiteral("pg_catalog.pg_get_serial_sequence('quivel.%1', '%2')")
                                 .arg(tableName, Schema::name(key.name));
    query(server,
          next > 0
              ? QStringLiteral("SELECT pg_catalog.setval(%1, %2, true)").arg(sequence).arg(next)
              : QStringLiteral("SELECT pg_catalog.setval(%1, 1, false)").arg(sequence));
}

std::unique_ptr<PostgresBackend> connect(const QString &conninfo)
{
    return PostgresBackend::connectOnly(conninfo);
}

QStringList copyFileIntoNew(const QString &path, PostgresBackend &server)
{
    if (!QFile::exists(path))
        throw Exception(QStringLiteral("Não foi possível encontrar o arquivo '%1'").arg(path));
    SqliteFile file(path, SqliteFile::Option::ReadOnly);
    if (file.userVersion() != Schema::version) {
        throw Exception(QStringLiteral("O catálogo '%1' é de outra versão do Quivel; atualize-o "
                                       "com quivel-catalogue upgrade antes de copiá-lo")
                            .arg(path));
    }
    // One snapshot of the file for the whole copy.
    file.run(QStringLiteral("BEGIN"));
    QStringList notes;
    for (const Schema::Table &table : Schema::tables)
        copyTableIn(file, server, table, notes);
    return notes;
}

bool recordsChanges(PostgresBackend &server)
{
    const Result r = query(server, QStringLiteral("SELECT count(*) FROM pg_catalog.pg_trigger t "
                                                  "WHERE NOT t.tgisinternal AND t.tgrelid IN "
                                                  "('quivel.cds'::pg_catalog.regclass, "
                                                  "'quivel.softs'::pg_catalog.regclass) AND "
                                                  "t.tgname IN ('%1', '%2')")
                                       .arg(Schema::serverChangesTrigger(Schema::media),
                                            Schema::serverChangesTrigger(Schema::titles)));
    return QByteArray(PQgetvalue(r.get(), 0, 0)).toInt() == 2;
}

// The server records who changed each medium and title from now on; the rows already there
// have no record until their next change.
void recordChanges(PostgresBackend &server)
{
    query(server, Schema::postgresChangesDdl());
}

} // namespace

void ServerCatalogue::create(const QString &conninfo)
{
    const auto server = connect(conninfo);
    ServerTransaction transaction(*server, wholeTables);
    createTables(*server);
    addMediumKey(*server);
    recordChanges(*server);
    ServerAccounts::grantRoles(*server); // once the tables are there
    transaction.commit();
}

QStringList ServerCatalogue::copyFromFile(const QString &path, const QString &conninfo)
{
    const auto server = connect(conninfo);
    ServerTransaction transaction(*server, wholeTables);
    createTables(*server);
    const QStringList notes = copyFileIntoNew(path, *server);
    addMediumKey(*server);
    // After the copy: the copied rows were changed by nobody here.
    recordChanges(*server);
    ServerAccounts::grantRoles(*server); // once the tables are there
    transaction.commit();
    return notes;
}

void ServerCatalogue::createSample(const QString &conninfo)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(Catalogue::fileName());
    Catalogue::createSample(path);
    copyFromFile(path, conninfo);
}

void ServerCatalogue::createLarge(const QString &conninfo, int mediaCount, int titleCount)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(Catalogue::fileName());
    Catalogue::createLarge(path, mediaCount, titleCount);
    copyFromFile(path, conninfo);
}

void ServerCatalogue::copyToFile(const QString &conninfo, const QString &path)
{
    PostgresBackend server(conninfo, PostgresBackend::unwatched());
    // One consistent snapshot of the server while the rows are read.
    ServerTransaction transaction(server, wholeTables,
                                  "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    Catalogue::createWith(path, [&](SqliteFile &file) {
        for (const Schema::Table &table : Schema::tables) {
            QStringList columns;
            QStringList marks;
            for (const Schema::Column &c : table.columns) {
                columns.append(Schema::name(c.name));
                marks.append(QStringLiteral("?"));
            }
            const QString tableName = Schema::name(table.name);
            // The server's rows replace those a new catalogue starts with.
            if (!table.rows.empty())
                Statement(file, QStringLiteral("DELETE FROM %1").arg(tableName)).execute();
            Statement insert(file, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                                       .arg(tableName, columns.join(u','), marks.join(u',')));
            auto select = server.prepare(QStringLiteral("SELECT %1 FROM quivel.%2 ORDER BY 1")
                                             .arg(columns.join(u','), tableName));
            while (select->step()) {
                for (int i = 0; i < int(columns.size()); ++i)
                    insert.bind(i + 1, select->value(i));
                insert.execute();
                insert.reset();
            }
            select.reset();
            // The file's counter continues where the server's sequence is.
            const Result last = query(
                server, QStringLiteral("SELECT COALESCE(pg_catalog.pg_sequence_last_value("
                                       "pg_catalog.pg_get_serial_sequence('quivel.%1', '%2')::"
                                       "pg_catalog.regclass), 0)")
                            .arg(tableName, Schema::name(table.columns.front().name)));
            const qint64 next = QByteArray(PQgetvalue(last.get(), 0, 0)).toLongLong();
            if (next > 0) {
                // The engine keeps one row per table there, made by the first insert.
                Statement raise(file, QStringLiteral("UPDATE sqlite_sequence SET seq = max(seq, ?) "
                                                     "WHERE name = ?"));
                raise.bind(1, next);
                raise.bind(2, tableName);
                if (raise.execute() == 0) {
                    Statement first(file, QStringLiteral("INSERT INTO sqlite_sequence (name, seq) "
                                                         "VALUES (?, ?)"));
                    first.bind(1, tableName);
                    first.bind(2, next);
                    first.execute();
                }
            }
        }
    });
    transaction.commit();
}

ServerCatalogue::Upgrade ServerCatalogue::upgrade(const QString &conninfo)
{
    const auto server = connect(conninfo);
    ServerTransaction transaction(*server, wholeTables);
    if (!hasCatalogue(*server)) {
        throw Exception(QStringLiteral("O banco '%1' não tem um catálogo do Quivel; nada foi "
                                       "alterado")
                            .arg(server->displayName()));
    }
    // Programs still working on the catalogue finish first; none starts until this is done.
    query(*server, QStringLiteral("LOCK TABLE quivel.versao, quivel.cds, quivel.softs IN ACCESS "
                                  "EXCLUSIVE MODE"));
    const Result current = query(*server, QStringLiteral("SELECT max(versao) FROM quivel.versao"));
    const int version = QByteArray(PQgetvalue(current.get(), 0, 0)).toInt();
    if (version > Schema::version) {
        throw Exception(QStringLiteral("O catálogo '%1' foi criado por uma versão mais nova do "
                                       "Quivel e não pode ser aberto por esta")
                            .arg(server->displayName()));
    }
    if (version < 1) {
        throw Exception(QStringLiteral("O catálogo '%1' não diz a sua versão; nada foi alterado")
                            .arg(server->displayName()));
    }
    for (int to = version + 1; to <= Schema::version; ++to)
        query(*server, Schema::postgresStep(to));
    // The server's own check that a title's medium exists, once no title lacks it.
    bool mediumKeyAdded = false;
    if (!hasMediumKey(*server)) {
        const QStringList orphans = orphanTitles(*server);
        if (!orphans.isEmpty()) {
            throw Exception(orphans.join(QStringLiteral(".\n")) +
                            QStringLiteral(".\nCorrija esses títulos (escolha uma mídia que "
                                           "exista) antes de atualizar o catálogo"));
        }
        addMediumKey(*server);
        mediumKeyAdded = true;
    }
    bool changesAdded = false;
    if (!recordsChanges(*server)) {
        recordChanges(*server);
        // The accounts read the record and cannot write it; a catalogue made before the
        // accounts gets its roles with its first account.
        if (ServerAccounts::hasRoles(*server))
            ServerAccounts::grantRoles(*server);
        changesAdded = true;
    }
    transaction.commit();
    return {version, Schema::version, mediumKeyAdded, changesAdded};
}

QStringList ServerCatalogue::check(const QString &conninfo)
{
    QStringList problems;
    const auto server = connect(conninfo);
    if (!hasCatalogue(*server)) {
        return {QStringLiteral("O banco '%1' não tem um catálogo do Quivel")
                    .arg(server->displayName())};
    }
    {
        const Result r = query(*server, QStringLiteral("SELECT max(versao) FROM quivel.versao"));
        const int version = QByteArray(PQgetvalue(r.get(), 0, 0)).toInt();
        if (version != Schema::version) {
            return {version < Schema::version
                        ? QStringLiteral("O catálogo '%1' é da versão %2; atualize-o com o "
                                         "comando quivel-catalogue upgrade")
                              .arg(server->displayName())
                              .arg(version)
                        : QStringLiteral("O catálogo '%1' foi criado por uma versão mais nova do "
                                         "Quivel")
                              .arg(server->displayName())};
        }
    }
    for (const Schema::Table &table : Schema::tables) {
        const QString tableName = Schema::name(table.name);
        for (const Schema::Column &c : table.columns) {
            const Result r = query(
                *server, QStringLiteral("SELECT pg_catalog.format_type(atttypid, atttypmod), "
                                        "attidentity FROM pg_catalog.pg_attribute WHERE attrelid = "
                                        "'quivel.%1'::regclass AND attname = '%2' AND NOT "
                                        "attisdropped")
                             .arg(tableName, Schema::name(c.name)));
            const QString expected = c.type == Schema::Type::Text
                                         ? QStringLiteral("character varying(%1)").arg(c.size)
                                         : QStringLiteral("integer");
            if (PQntuples(r.get()) == 0) {
                problems.append(QStringLiteral("A tabela '%1' não tem a coluna '%2'")
                                    .arg(tableName, Schema::name(c.name)));
                continue;
            }
            const QString actual = QString::fromUtf8(PQgetvalue(r.get(), 0, 0));
            if (actual != expected) {
                problems.append(
                    QStringLiteral("A coluna '%1' da tabela '%2' é do tipo '%3'; deveria ser %4")
                        .arg(Schema::name(c.name), tableName, actual, expected));
            }
            if (c.type == Schema::Type::Key && PQgetvalue(r.get(), 0, 1)[0] == '\0') {
                problems.append(
                    QStringLiteral("A coluna '%1' da tabela '%2' não é numerada pelo servidor")
                        .arg(Schema::name(c.name), tableName));
            }
        }
    }
    problems.append(orphanTitles(*server));
    if (!hasMediumKey(*server)) {
        problems.append(QStringLiteral("O servidor não recusa títulos em mídias que não existem; "
                                       "acrescente essa regra com quivel-catalogue upgrade"));
    }
    if (!recordsChanges(*server)) {
        problems.append(QStringLiteral("O servidor não registra quem alterou cada mídia e "
                                       "título; acrescente esse registro com quivel-catalogue "
                                       "upgrade"));
    }
    const Result like = query(*server, QStringLiteral("SELECT 'AÇÃO\\x' LIKE '%ção\\x'"));
    if (PQgetvalue(like.get(), 0, 0)[0] != 't')
        problems.append(QStringLiteral("A pesquisa do catálogo não está instalada no servidor"));
    // What the program refuses to write, found by the code that refuses it.
    problems.append(SchemaObjects::describe(SchemaObjects::inspectServer(*server), true));
    return problems;
}
