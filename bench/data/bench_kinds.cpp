// SPDX-License-Identifier: GPL-3.0-or-later
// The kind of content each title has, on a catalogue of 1,000,000 titles on 100,000 media:
// what it costs the software report and the search, whether its name is better joined in or
// looked up in a table kept in memory, and the upgrade of a file of the first version.
#include "bench/support/bench_directory.h"
#include "bench/support/ratio_report.h"
#include "catalogue/catalogue.h"
#include "catalogue/upgrade.h"
#include "data/connection.h"
#include "data/query.h"
#include "reports/report_panel.h"
#include "tests/support/version1.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <unordered_map>

using namespace Qt::StringLiterals;

namespace {

constexpr int mediaCount = 100000;
constexpr int titleCount = 1000000;

QString cataloguePath()
{
    return benchDirectory() + u"/quivel.mdb"_s;
}

// The same catalogue as the first version kept it, and the copy each upgrade run works on.
QString version1Path()
{
    return benchDirectory() + u"/quivel-v1.mdb"_s;
}

QString workPath()
{
    return benchDirectory() + u"/upgrade/quivel.mdb"_s;
}

struct Session
{
    Session()
        : query(u"ADOQuery4"_s, &connection)
    {
        connection.setConnectionString(u"Data Source="_s + cataloguePath() + u';');
    }
    TADOConnection connection;
    TADOQuery query;
};

// Opens a statement once untimed, then times whole reads of it; `perRow` runs over the open
// result inside the timing.
template <typename PerRow>
void timeOpen(benchmark::State &state, const QStringList &sql, PerRow perRow)
{
    Session s;
    s.query.setSql(sql);
    s.query.open();
    s.query.close();
    for (auto _ : state) {
        s.query.open();
        benchmark::DoNotOptimize(perRow(s.query));
        state.PauseTiming();
        s.query.close();
        state.ResumeTiming();
    }
}

int nothing(TADOQuery &query)
{
    return query.recordCount();
}

// The software report as the first version read it: no kind.
const QStringList version1Report{u"SELECT numero, nome, descricao, codigo, titulo"_s,
                                 u"FROM softs, cds"_s, u"where softs.midia = cds.codigo"_s};

void BM_ReportVersion1(benchmark::State &state)
{
    timeOpen(state, version1Report, nothing);
}

// The kind's name joined in by the statement (what the program does).
void BM_ReportKindJoined(benchmark::State &state)
{
    timeOpen(state, ReportPanel::softwareReportSql(false), nothing);
}

// The other way: the statement gives the kind's code, and each row's name is looked up in the
// few kinds read once into memory, as the report would when it prints the row.
void BM_ReportKindLookedUp(benchmark::State &state)
{
    std::unordered_map<qint64, QString> names;
    {
        Session s;
        s.query.setSql({u"select * from categorias"_s});
        s.query.open();
        for (int row = 0; row < s.query.recordCount(); ++row)
            names.emplace(s.query.valueAt(row, 0).toLongLong(), s.query.textAt(row, 1));
    }
    timeOpen(state,
             {u"SELECT numero, nome, descricao, codigo, titulo, categoria"_s, u"FROM softs, cds"_s,
              u"where softs.midia = cds.codigo"_s},
             [&names](TADOQuery &query) {
                 qsizetype letters = 0;
                 const int kind = query.fieldCount() - 1;
                 for (int row = 0; row < query.recordCount(); ++row) {
                     const auto found = names.find(query.valueAt(row, kind).toLongLong());
                     letters += found == names.end() ? 0 : found->second.size();
                 }
                 return letters;
             });
}

// The search window's statement for a word few titles hold, without and with the kind.
QStringList searchSql(bool withKind)
{
    const QString where = u"where nome like '%edição 77%' and softs.midia = cds.codigo"_s;
    if (!withKind)
        return {u"SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS DESCRIÇÃO, titulo "
                "AS MÍDIA, tipo AS TIPO_MÍDIA"_s,
                u"FROM softs, cds"_s, where};
    return {u"SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS DESCRIÇÃO, "
            "nome_categoria AS CATEGORIA, titulo AS MÍDIA, tipo AS TIPO_MÍDIA"_s,
            u"FROM softs LEFT JOIN categorias ON categorias.id_categoria = softs.categoria, cds"_s,
            where};
}

void BM_SearchVersion1(benchmark::State &state)
{
    timeOpen(state, searchSql(false), nothing);
}

void BM_SearchKindJoined(benchmark::State &state)
{
    timeOpen(state, searchSql(true), nothing);
}

// A fresh copy of the first version's file for each run, made outside the timing.
void placeVersion1Copy()
{
    QDir().mkpath(QFileInfo(workPath()).absolutePath());
    for (const QString &name : QDir(QFileInfo(workPath()).absolutePath()).entryList(QDir::Files))
        QFile::remove(QFileInfo(workPath()).absolutePath() + u'/' + name);
    QFile::copy(version1Path(), workPath());
}

// The plain way: copy the file, add the column and give every title the first kind.
void BM_PlainAlterAndUpdate(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        placeVersion1Copy();
        const QString copy = workPath() + u".copy"_s;
        state.ResumeTiming();
        QFile::copy(workPath(), copy);
        sqlite3 *db = nullptr;
        sqlite3_open(QFile::encodeName(copy).constData(), &db);
        sqlite3_exec(db,
                     "BEGIN; ALTER TABLE softs ADD COLUMN categoria INTEGER; UPDATE softs SET "
                     "categoria = 1; COMMIT",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
}

// The program's way: on a copy, checked, made durable, the original kept beside it.
void BM_QuivelUpgrade(benchmark::State &state)
{
    for (auto _ : state) {
        state.PauseTiming();
        placeVersion1Copy();
        state.ResumeTiming();
        benchmark::DoNotOptimize(Legacy::upgradeCatalogue(workPath()).toVersion);
    }
}

} // namespace

// Each pair alternates, so neither side has the disk's cache to itself.
BENCHMARK(BM_ReportVersion1)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReportKindJoined)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReportKindLookedUp)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SearchVersion1)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_SearchKindJoined)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_PlainAlterAndUpdate)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_QuivelUpgrade)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();

int main(int argc, char **argv)
{
    QDir().mkpath(benchDirectory());
    if (!QFileInfo::exists(cataloguePath())) {
        std::printf("Making %s (%d media, %d titles)...\n", qPrintable(cataloguePath()), mediaCount,
                    titleCount);
        Catalogue::createLarge(cataloguePath(), mediaCount, titleCount);
    }
    if (!QFileInfo::exists(version1Path())) {
        std::printf("Making %s, the same as the first version kept it...\n",
                    qPrintable(version1Path()));
        writeVersion1Copy(cataloguePath(), version1Path());
    }
    return runBenchmarksWithRatios(argc, argv,
                                   {{"BM_ReportKindJoined", "BM_ReportVersion1", 1.1},
                                    {"BM_ReportKindJoined", "BM_ReportKindLookedUp", 1.0},
                                    {"BM_SearchKindJoined", "BM_SearchVersion1", 1.1},
                                    {"BM_QuivelUpgrade", "BM_PlainAlterAndUpdate", 1.5}});
}
