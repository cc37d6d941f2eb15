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

void BM_BareLibpqSelectSofts(benchmark::State &state)
{
    PGconn *conn = PQconnectdb(g_server.toUtf8().constData());
    for (auto _ : state) {
        auto values = bareRead(conn, "select * from quivel.softs");
        benchmark::DoNotOptimize(values.data());
    }
    PQfinish(conn);
}

void BM_ServerOpenSofts(benchmark::State &state)
{
    Session s(g_server, QStringLiteral("select * from softs"));
    for (auto _ : state) {
        s.query.open();
        benchmark::DoNotOptimize(s.query.recordCount());
        state.PauseTiming();
        s.query.close();
        state.ResumeTiming();
    }
}

const QString searchSql = QStringLiteral(
    "SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS DESCRIÇÃO, titulo AS MÍDIA, "
    "tipo AS TIPO_MÍDIA\nFROM softs, cds\nwhere nome like '%edição 77%' and softs.midia = "
    "cds.codigo");

void search(benchmark::State &state, const QString &connectionString)
{
    Session s(connectionString, searchSql);
    for (auto _ : state) {
        s.query.open();
        benchmark::DoNotOptimize(s.query.recordCount());
        s.query.close();
    }
}

void BM_FileSearch(benchmark::State &state)
{
    search(state, fileConnection());
}

void BM_ServerSearch(benchmark::State &state)
{
    search(state, g_server);
}

void BM_BarePreparedUpdate(benchmark::State &state)
{
    PGconn *conn = PQconnectdb(g_server.toUtf8().constData());
    PQclear(
        PQprepare(conn, "save", "UPDATE quivel.cds SET titulo = $1 WHERE codigo = 2", 1, nullptr));
    int round = 0;
    for (auto _ : state) {
        const std::string title = "Bare " + std::to_string(round++);
        const char *values[] = {title.c_str()};
        PQclear(PQexecPrepared(conn, "save", 1, values, nullptr, nullptr, 0));
    }
    PQfinish(conn);
}

void BM_ServerSave(benchmark::State &state)
{
    Session s(g_server, QStringLiteral("select * from cds"));
    s.query.open();
    int round = 0;
    for (auto _ : state) {
        s.query.edit();
        s.query.fieldByName(QStringLiteral("titulo"))
            ->setAsString(QStringLiteral("Quivel %1").arg(round++));
        s.query.post();
    }
}

} // namespace

BENCHMARK(BM_BareLibpqSelectSofts)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ServerOpenSofts)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_FileSearch)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ServerSearch)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BarePreparedUpdate)->Unit(benchmark::kMicrosecond)->Iterations(200);
BENCHMARK(BM_ServerSave)->Unit(benchmark::kMicrosecond)->Iterations(200);

int main(int argc, char **argv)
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

    return runBenchmarksWithRatios(argc, argv,
                                   {{"BM_ServerOpenSofts", "BM_BareLibpqSelectSofts", 2.0},
                                    {"BM_ServerSearch", "BM_FileSearch", 1.5},
                                    {"BM_ServerSave", "BM_BarePreparedUpdate", 2.0}});
}
