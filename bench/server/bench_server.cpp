// SPDX-License-Identifier: GPL-3.0-or-later
// The data layer on a local PostgreSQL server against bare libpq, and against the file, on a
// catalogue of 1,000,000 titles on 100,000 media. The server is QUIVEL_BENCH_SERVER (a libpq
// string naming a database with the large catalogue or with none yet), or one started here.
#include "bench/server/bare_libpq.h"
#include "bench/server/large_server.h"
#include "bench/support/ratio_report.h"
#include "catalogue/catalogue.h"
#include "catalogue/server_catalogue.h"
#include "data/connection.h"
#include "data/query.h"
#include "tests/support/test_server.h"

#include <QDir>
#include <QFileInfo>

#include <benchmark/benchmark.h>
#include <libpq-fe.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

QString g_server;
QString g_file;

struct Session
{
    explicit Session(const QString &connectionString, const QString &sql)
        : query(QStringLiteral("ADOQuery1"), &connection)
    {
        connection.setConnectionString(connectionString);
        query.setSql({sql});
    }
    TADOConnection connection;
    TADOQuery query;
};

QString fileConnection()
{
    return QStringLiteral("Data Source=") + g_file + u';';
}

const QString searchSql = QStringLiteral(
    "SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS DESCRIÇÃO, titulo AS MÍDIA, "
    "tipo AS TIPO_MÍDIA\nFROM softs, cds\nwhere nome like '%edição 77%' and softs.midia = "
    "cds.codigo");

// A whole read of the session's statement; the close is outside the timing.
PairSide openSide(Session &s)
{
    return {[&s] {
                s.query.open();
                benchmark::DoNotOptimize(s.query.recordCount());
            },
            [&s] { s.query.close(); }};
}

void compareOpen(int pairs)
{
    Session server(g_server, QStringLiteral("select * from softs"));
    PGconn *conn = PQconnectdb(g_server.toUtf8().constData());
    std::vector<std::string> values;
    runInterleavedPairs(
        "open select * from softs, server vs bare libpq", openSide(server),
        {[&] { values = bareRead(conn, "select * from quivel.softs"); }, [&] { values = {}; }},
        pairs, 2.0);
    PQfinish(conn);
}

void compareSearch(int pairs)
{
    Session server(g_server, searchSql);
    Session file(fileConnection(), searchSql);
    runInterleavedPairs("search, server vs file", openSide(server), openSide(file), pairs, 1.5);
}

// Saves in runs of `saves`: one alone takes a tenth of a millisecond.
void compareSave(int pairs, int saves)
{
    Session server(g_server, QStringLiteral("select * from cds"));
    server.query.open();
    PGconn *conn = PQconnectdb(g_server.toUtf8().constData());
    PQclear(
        PQprepare(conn, "save", "UPDATE quivel.cds SET titulo = $1 WHERE codigo = 2", 1, nullptr));
    int round = 0;
    runInterleavedPairs(
        "save one medium (" + std::to_string(saves) + " saves), server vs bare UPDATE", {[&] {
            for (int i = 0; i < saves; ++i) {
                server.query.edit();
                server.query.fieldByName(QStringLiteral("titulo"))
                    ->setAsString(QStringLiteral("Quivel %1").arg(round++));
                server.query.post();
            }
        }},
        {[&] {
            for (int i = 0; i < saves; ++i) {
                const std::string title = "Bare " + std::to_string(round++);
                const char *values[] = {title.c_str()};
                PQclear(PQexecPrepared(conn, "save", 1, values, nullptr, nullptr, 0));
            }
        }},
        pairs, 2.0);
    PQfinish(conn);
}

} // namespace

int main()
{
    LargeServer large;
    if (!large.prepare())
        return 1;
    g_file = large.file;
    g_server = large.server;

    // Memory of one static result on the server against the same on the file.
    {
        Session file(fileConnection(), QStringLiteral("select * from softs"));
        file.query.open();
        Session server(g_server, QStringLiteral("select * from softs"));
        server.query.open();
        printRatio("memory of select * from softs, server against file",
                   double(server.query.memoryUsage()) / 1048576.0,
                   double(file.query.memoryUsage()) / 1048576.0, 1.0, "MiB");
    }

    compareOpen(5);
    compareSearch(7);
    compareSave(15, 50);
    return 0;
}
