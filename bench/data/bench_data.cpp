// SPDX-License-Identifier: GPL-3.0-or-later
// The data layer against bare SQLite on a catalogue of 1,000,000 titles on 100,000 media.
#include "bench/support/bare_read.h"
#include "bench/support/bench_directory.h"
#include "bench/support/ratio_report.h"
#include "catalogue/catalogue.h"
#include "data/connection.h"
#include "data/data_module.h"
#include "data/engine/record_store.h"
#include "data/query.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int mediaCount = 100000;
constexpr int titleCount = 1000000;

QString cataloguePath()
{
    return benchDirectory() + QStringLiteral("/quivel.mdb");
}

struct Session
{
    Session()
        : query(QStringLiteral("ADOQuery2"), &connection)
    {
        connection.setConnectionString(QStringLiteral("Data Source=") + cataloguePath() + u';');
    }
    TADOConnection connection;
    TADOQuery query;
};

// The page cache the program gives its connection: a setting, not code, so the plain side
// has it too and the join's ratio compares reading, not cache sizes.
QByteArray programCacheSize()
{
    static const QByteArray size = [] {
        Session s;
        s.query.setSql({QStringLiteral("PRAGMA cache_size")});
        s.query.open();
        return QByteArray::number(s.query.valueAt(0, 0).toLongLong());
    }();
    return size;
}

sqlite3 *openRaw()
{
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(cataloguePath()).constData(), &db, SQLITE_OPEN_READWRITE,
                    nullptr);
    sqlite3_exec(db, ("PRAGMA cache_size = " + programCacheSize()).constData(), nullptr, nullptr,
                 nullptr);
    return db;
}

// The two sides of each goal run interleaved, one iteration each in turn (runInterleavedPairs),
// each freeing its result outside the timing. The plain side grows its arenas as it reads, as
// any reader that does not know the result's size beforehand must.

// The software report's statement over all titles: each title joined with its medium, which
// visits the media table in no useful order.
constexpr const char *allTitlesSql = "SELECT numero, nome, descricao, codigo, titulo FROM softs, "
                                     "cds where softs.midia = cds.codigo";

// What the data module opens when it is made; the main window opens one more when shown.
const char *const startupStatements[] = {
    "select * from cds", "select * from softs", "select * from cds",
    "SELECT numero, nome, midia, descricao, codigo, titulo\nfrom softs, cds\nwhere midia=1 and "
    "codigo=midia",
    "select * from cds"};

constexpr const char *likeSql = "select count(*) from softs where nome like '%edição 77%'";

// A query's read against the plain read of the same statement.
void pairRead(const char *what, const char *sql, int pairs, double goal)
{
    Session s;
    s.query.setSql({QString::fromUtf8(sql)});
    sqlite3 *db = openRaw();
    BareResult bare;
    runInterleavedPairs(what, {[&] { s.query.open(); }, [&] { s.query.close(); }},
                        {[&] { bare = bareRead(db, sql); }, [&] { bare = {}; }}, pairs, goal);
    sqlite3_close(db);
}

void pairStartupReads(int pairs)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(benchDirectory());
    const auto report = [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); };
    std::unique_ptr<TDm1> dm;
    sqlite3 *db = nullptr;
    std::vector<BareResult> results;
    runInterleavedPairs("data module made (start-up reads)",
                        {[&] { dm = std::make_unique<TDm1>(report); }, [&] { dm.reset(); }},
                        {[&] {
                             db = openRaw();
                             results = bareReadAll(db, startupStatements);
                         },
                         [&] {
                             results.clear();
                             sqlite3_close(db);
                         }},
                        pairs, 1.5);
    QDir::setCurrent(previous);
}

// One save of each kind: a medium changed, a title added and removed. The plain side writes
// at the program's durability: the rollback journal, synchronous EXTRA.
void pairSave(int pairs)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(benchDirectory());
    TDm1 dm([](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
    QDir::setCurrent(previous);
    sqlite3 *db = openRaw();
    sqlite3_busy_timeout(db, 5000);
    sqlite3_exec(db, "PRAGMA journal_mode = DELETE", nullptr, nullptr, nullptr);
    sqlite3_exec(db, "PRAGMA synchronous = EXTRA", nullptr, nullptr, nullptr);
    int round = 0;
    runInterleavedPairs(
        "one save of each kind (synchronous EXTRA both)", {[&] {
            dm.ADOQuery1.first();
            dm.ADOQuery1.edit();
            dm.ADOQuery1titulo.setAsString(QStringLiteral("Quivel %1").arg(round++));
            dm.ADOQuery1.post();
            dm.ADOQuery2.insert();
            dm.ADOQuery2nome.setAsString(QStringLiteral("Novo"));
            dm.ADOQuery2midia.setValue(1);
            dm.ADOQuery2.post();
            dm.ADOQuery2.remove();
        }},
        {[&] {
            // Another medium than the program's, which would otherwise find its row changed
            // by another program and refuse the save.
            const std::string update = "UPDATE cds SET titulo = 'Bench " + std::to_string(round++) +
                                       "' WHERE codigo = (SELECT max(codigo) FROM cds)";
            sqlite3_exec(db, update.c_str(), nullptr, nullptr, nullptr);
            sqlite3_exec(db, "INSERT INTO softs (nome, midia) VALUES ('Novo', 1)", nullptr, nullptr,
                         nullptr);
            const std::string remove =
                "DELETE FROM softs WHERE numero = " + std::to_string(sqlite3_last_insert_rowid(db));
            sqlite3_exec(db, remove.c_str(), nullptr, nullptr, nullptr);
        }},
        pairs, 2.0);
    sqlite3_close(db);
}

// The peak resident memory while one side reads all titles, over what was resident before
// it; each side's memory is given back before the other reads.
void pairPeakMemory(int pairs)
{
    constexpr const char *sql = "select * from softs";
    Session s;
    s.query.setSql({QString::fromUtf8(sql)});
    sqlite3 *db = openRaw();
    BareResult bare;
    runInterleavedPairs("peak memory reading select * from softs",
                        {[&] { s.query.open(); }, [&] { s.query.close(); }},
                        {[&] { bare = bareRead(db, sql); }, [&] { bare = {}; }}, pairs, 1.5,
                        Judged::Memory);
    sqlite3_close(db);
}

// The part of a save that depends on how many rows are loaded: placing one row into, and
// taking it out of, the position index of a static result.
void BM_StoreInsertRemoveRow(benchmark::State &state)
{
    RecordStore store({RecordStore::Kind::Integer, RecordStore::Kind::Text});
    for (int i = 0; i < state.range(0); ++i)
        store.insertRow(store.rowCount(), {QVariant::fromValue<qlonglong>(i), QStringLiteral("x")});
    const std::vector<QVariant> row{QVariant::fromValue<qlonglong>(-1), QStringLiteral("novo")};
    for (auto _ : state) {
        store.insertRow(0, row);
        store.removeRow(0);
    }
}

} // namespace

BENCHMARK(BM_StoreInsertRemoveRow)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

int main(int argc, char **argv)
{
    QDir().mkpath(benchDirectory());
    if (!QFileInfo::exists(cataloguePath())) {
        std::printf("Making %s (%d media, %d titles)...\n", qPrintable(cataloguePath()), mediaCount,
                    titleCount);
        Catalogue::createLarge(cataloguePath(), mediaCount, titleCount);
    }

    // Few pairs: each read of all titles takes seconds on a loaded machine.
    pairRead("select * from softs", "select * from softs", 5, 1.5);
    pairRead("all titles with their media", allTitlesSql, 3, 1.5);
    pairStartupReads(5);
    pairRead("LIKE over all titles", likeSql, 7, 2.0);
    pairSave(15);
    pairPeakMemory(3);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
