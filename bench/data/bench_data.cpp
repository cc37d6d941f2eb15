// SPDX-License-Identifier: GPL-3.0-or-later
// The data layer against bare SQLite on a catalogue of 1,000,000 titles on 100,000 media.
#include "bench/support/bare_read.h"
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

#include <cstdio>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int mediaCount = 100000;
constexpr int titleCount = 1000000;

QString benchDirectory()
{
    const QByteArray fromEnv = qgetenv("QUIVEL_BENCH_DIR");
    return fromEnv.isEmpty() ? QDir::tempPath() + QStringLiteral("/quivel-bench")
                             : QString::fromLocal8Bit(fromEnv);
}

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

// Both sides read once untimed first (the bare side learns its sizes to reserve them) and
// free their result outside the timing.
void BM_BareSelectSofts(benchmark::State &state)
{
    sqlite3 *db = openRaw();
    const BareShape shape = shapeOf(bareRead(db, "select * from softs"));
    for (auto _ : state) {
        BareResult result = bareRead(db, "select * from softs", shape);
        benchmark::DoNotOptimize(result.columns.data());
        state.PauseTiming();
        result = {};
        state.ResumeTiming();
    }
    sqlite3_close(db);
}

void BM_QueryOpenSofts(benchmark::State &state)
{
    Session s;
    s.query.setSql({QStringLiteral("select * from softs")});
    s.query.open();
    s.query.close();
    for (auto _ : state) {
        s.query.open();
        benchmark::DoNotOptimize(s.query.recordCount());
        state.PauseTiming();
        s.query.close();
        state.ResumeTiming();
    }
}

// The software report's statement over all titles: each title joined with its medium, which
// visits the media table in no useful order.
constexpr const char *allTitlesSql = "SELECT numero, nome, descricao, codigo, titulo FROM softs, "
                                     "cds where softs.midia = cds.codigo";

void BM_BareAllTitlesWithMedia(benchmark::State &state)
{
    sqlite3 *db = openRaw();
    const BareShape shape = shapeOf(bareRead(db, allTitlesSql));
    for (auto _ : state) {
        BareResult result = bareRead(db, allTitlesSql, shape);
        benchmark::DoNotOptimize(result.columns.data());
        state.PauseTiming();
        result = {};
        state.ResumeTiming();
    }
    sqlite3_close(db);
}

void BM_QueryOpenAllTitlesWithMedia(benchmark::State &state)
{
    Session s;
    s.query.setSql({QString::fromUtf8(allTitlesSql)});
    s.query.open();
    s.query.close();
    for (auto _ : state) {
        s.query.open();
        benchmark::DoNotOptimize(s.query.recordCount());
        state.PauseTiming();
        s.query.close();
        state.ResumeTiming();
    }
}

// What the data module opens when it is made; the main window opens one more when shown.
const char *const startupStatements[] = {
    "select * from cds", "select * from softs", "select * from cds",
    "SELECT numero, nome, midia, descricao, codigo, titulo\nfrom softs, cds\nwhere midia=1 and "
    "codigo=midia",
    "select * from cds"};

void BM_BareStartupReads(benchmark::State &state)
{
    std::vector<BareShape> shapes;
    {
        sqlite3 *db = openRaw();
        shapes = shapesOf(db, startupStatements);
        sqlite3_close(db);
    }
    for (auto _ : state) {
        sqlite3 *db = openRaw();
        std::vector<BareResult> results = bareReadAll(db, startupStatements, shapes);
        benchmark::DoNotOptimize(results.data());
        state.PauseTiming();
        results.clear();
        sqlite3_close(db);
        state.ResumeTiming();
    }
}

void BM_DataModuleCreate(benchmark::State &state)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(benchDirectory());
    const auto report = [](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); };
    TDm1(report).ADOQuery2.close();
    for (auto _ : state) {
        auto dm = std::make_unique<TDm1>(report);
        benchmark::DoNotOptimize(dm->ADOQuery2.recordCount());
        // Closing and freeing the results is not part of start-up, on either side.
        state.PauseTiming();
        dm.reset();
        state.ResumeTiming();
    }
    QDir::setCurrent(previous);
}

constexpr const char *likeSql = "select count(*) from softs where nome like '%edição 77%'";

void BM_BuiltinLike(benchmark::State &state)
{
    sqlite3 *db = openRaw();
    for (auto _ : state) {
        BareResult result = bareRead(db, likeSql);
        benchmark::DoNotOptimize(result.columns.data());
    }
    sqlite3_close(db);
}

void BM_QuivelLike(benchmark::State &state)
{
    Session s;
    s.query.setSql({QString::fromUtf8(likeSql)});
    for (auto _ : state) {
        s.query.open();
        benchmark::DoNotOptimize(s.query.fieldText(0));
        s.query.close();
    }
}

void BM_BareSaveInsertDelete(benchmark::State &state)
{
    sqlite3 *db = openRaw();
    sqlite3_busy_timeout(db, 5000);
    int round = 0;
    for (auto _ : state) {
        const std::string update =
            "UPDATE cds SET titulo = 'Bench " + std::to_string(round++) + "' WHERE codigo = 1";
        sqlite3_exec(db, update.c_str(), nullptr, nullptr, nullptr);
        sqlite3_exec(db, "INSERT INTO softs (nome, midia) VALUES ('Novo', 1)", nullptr, nullptr,
                     nullptr);
        const std::string remove =
            "DELETE FROM softs WHERE numero = " + std::to_string(sqlite3_last_insert_rowid(db));
        sqlite3_exec(db, remove.c_str(), nullptr, nullptr, nullptr);
    }
    sqlite3_close(db);
}

void BM_QuivelSaveInsertDelete(benchmark::State &state)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(benchDirectory());
    TDm1 dm([](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
    QDir::setCurrent(previous);
    int round = 0;
    for (auto _ : state) {
        dm.ADOQuery1.first();
        dm.ADOQuery1.edit();
        dm.ADOQuery1titulo.setAsString(QStringLiteral("Quivel %1").arg(round++));
        dm.ADOQuery1.post();
        dm.ADOQuery2.insert();
        dm.ADOQuery2nome.setAsString(QStringLiteral("Novo"));
        dm.ADOQuery2midia.setValue(1);
        dm.ADOQuery2.post();
        dm.ADOQuery2.remove();
    }
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
BENCHMARK(BM_BareSelectSofts)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_QueryOpenSofts)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_BareAllTitlesWithMedia)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_QueryOpenAllTitlesWithMedia)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_BareStartupReads)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_DataModuleCreate)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_BuiltinLike)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_QuivelLike)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_BareSaveInsertDelete)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_QuivelSaveInsertDelete)->Unit(benchmark::kMillisecond)->Iterations(20);

int main(int argc, char **argv)
{
    QDir().mkpath(benchDirectory());
    if (!QFileInfo::exists(cataloguePath())) {
        std::printf("Making %s (%d media, %d titles)...\n", qPrintable(cataloguePath()), mediaCount,
                    titleCount);
        Catalogue::createLarge(cataloguePath(), mediaCount, titleCount);
    }

    // Memory of one static result against the same rows in typed arenas.
    {
        sqlite3 *db = openRaw();
        const BareResult bare = bareRead(db, "select * from softs");
        const BareResult reserved = bareRead(db, "select * from softs", shapeOf(bare));
        sqlite3_close(db);
        Session s;
        s.query.setSql({QStringLiteral("select * from softs")});
        s.query.open();
        printRatio("memory of select * from softs", double(s.query.memoryUsage()) / 1048576.0,
                   double(reserved.memoryUsage()) / 1048576.0, 1.5, "MiB");
    }

    return runBenchmarksWithRatios(
        argc, argv,
        {{"BM_QueryOpenSofts", "BM_BareSelectSofts", 1.5},
         {"BM_QueryOpenAllTitlesWithMedia", "BM_BareAllTitlesWithMedia", 1.5},
         {"BM_DataModuleCreate", "BM_BareStartupReads", 1.5},
         {"BM_QuivelLike", "BM_BuiltinLike", 2.0},
         {"BM_QuivelSaveInsertDelete", "BM_BareSaveInsertDelete", 2.0}});
}
