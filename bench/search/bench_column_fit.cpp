// SPDX-License-Identifier: GPL-3.0-or-later
// The search window's column fit on 100,000 results, against its limit: the bare query plus
// one QFontMetrics::horizontalAdvance per cell over the same texts, on one thread. Also the
// grid over a million records. Times are wall clock and whole-process CPU. Run:
// QT_QPA_PLATFORM=offscreen build/bench/bench_column_fit
#include "bench/support/ratio_report.h"
#include "catalogue/catalogue.h"
#include "controls/db_grid.h"
#include "data/data_module.h"
#include "search/column_fit.h"
#include "search/search_window.h"
#include "shell/application.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QFontMetrics>
#include <QLineEdit>
#include <QTemporaryDir>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int titles = 100000;

TDm1 *dm = nullptr;

QFont titleFont()
{
    QFont font(u"Calibri"_s);
    font.setPixelSize(16);
    font.setBold(true);
    return font;
}

// The statement of a repeat software search for "a", which every generated title matches.
void openSearch(TADOQuery &query)
{
    query.close();
    query.clearSql();
    query.addSql(u"SELECT softs.numero AS CODIGO, softs.nome AS APLICATIVO, softs.descricao AS "
                 "DESCRIÇÃO, categorias.nome_categoria AS CATEGORIA, cds.titulo AS MÍDIA, tipo AS "
                 "TIPO_MÍDIA"_s);
    query.addSql(
        u"FROM softs LEFT JOIN categorias ON categorias.id_categoria = softs.categoria, cds"_s);
    query.addSql(u"where nome like '%a%' and softs.midia = cds.codigo"_s);
    query.open();
}

void BM_BareQuery(benchmark::State &state)
{
    for (auto _ : state)
        openSearch(dm->ADOQuery6);
    state.counters["records"] = dm->ADOQuery6.recordCount();
}

// The limit: the query, then one measurement per cell.
void BM_BareQueryPlusAdvancePerCell(benchmark::State &state)
{
    const QFontMetrics metrics(titleFont());
    TADOQuery &query = dm->ADOQuery6;
    for (auto _ : state) {
        openSearch(query);
        int widest = 0;
        for (int r = 0; r < query.recordCount(); ++r)
            for (int c = 0; c < query.fieldCount(); ++c)
                widest = std::max(widest, metrics.horizontalAdvance(query.textAt(r, c)));
        benchmark::DoNotOptimize(widest);
    }
}

// The limit of the fit alone: one measurement per cell of an open result.
void BM_AdvancePerCell(benchmark::State &state)
{
    const QFontMetrics metrics(titleFont());
    TADOQuery &query = dm->ADOQuery6;
    openSearch(query);
    for (auto _ : state) {
        int widest = 0;
        for (int r = 0; r < query.recordCount(); ++r)
            for (int c = 0; c < query.fieldCount(); ++c)
                widest = std::max(widest, metrics.horizontalAdvance(query.textAt(r, c)));
        benchmark::DoNotOptimize(widest);
    }
}

// The column fit alone over an open result, with its cheap bound on or off, and with or
// without a second thread taking runs of records (its CPU time counts in the process's).
void BM_FitOnly(benchmark::State &state)
{
    ColumnFit::Options options;
    options.cheapBound = state.range(0) != 0;
    options.secondThread = state.range(1) != 0;
    TADOQuery &query = dm->ADOQuery6;
    openSearch(query);
    const QFont font = titleFont();
    for (auto _ : state) {
        std::vector<int> widths(size_t(query.fieldCount()), 0);
        ColumnFit::widenToTexts(query, 0, font, widths, options);
        benchmark::DoNotOptimize(widths.data());
    }
}

// What the first fit in a font costs once, on top of the fit: the font's cheap bounds.
void BM_LearnFontBounds(benchmark::State &state)
{
    const QFont font = titleFont();
    for (auto _ : state)
        benchmark::DoNotOptimize(ColumnFit::FontBounds(font));
}

// What the user waits for: "&Buscar" in an open window, query, grid reset and column fit.
void BM_ExecutaPesquisa(benchmark::State &state)
{
    QWidget owner;
    TForm4 window(&owner, u"a"_s, 1, *dm);
    for (auto _ : state)
        window.ExecutaPesquisa();
    state.counters["records"] = dm->ADOQuery6.recordCount();
}

// A million records behind the grid: a model reset (what resuming control updates sends),
// a move to the last record and a paint.
void BM_GridOverAMillionRecords(benchmark::State &state)
{
    TADOQuery &query = dm->ADOQuery6;
    query.close();
    query.setSql({u"WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < "
                  "1000000) SELECT x AS CODIGO, 'Aplicativo ' || x AS APLICATIVO FROM n"_s});
    TDBGrid grid;
    grid.resize(755, 377);
    grid.setDataSource(&dm->DataSource6);
    query.open();
    grid.show();
    for (auto _ : state) {
        query.disableControls();
        query.enableControls();
        query.last();
        benchmark::DoNotOptimize(grid.grab());
        query.first();
    }
    state.counters["records"] = query.recordCount();
}

} // namespace

BENCHMARK(BM_BareQuery)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_BareQueryPlusAdvancePerCell)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_AdvancePerCell)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_FitOnly)
    ->ArgNames({"bound", "second_thread"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({1, 1})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_LearnFontBounds)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_ExecutaPesquisa)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();
BENCHMARK(BM_GridOverAMillionRecords)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime()
    ->UseRealTime();

int main(int argc, char **argv)
{
    benchmark::Initialize(&argc, argv);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    installFontSubstitutions();

    QTemporaryDir dir;
    Catalogue::createLarge(dir.filePath(Catalogue::fileName()), 1000, titles);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        TDm1 module([](const QString &message) { qWarning("%s", qPrintable(message)); });
        dm = &module;
        // The font's bounds are learnt once per font, before any search is timed.
        ColumnFit::FontBounds::of(titleFont());
        runInitializedBenchmarksWithRatios(
            {{"BM_ExecutaPesquisa", "BM_BareQueryPlusAdvancePerCell", 0.5, RatioGoal::Clock::Cpu},
             {"BM_FitOnly", "BM_AdvancePerCell", 0.5, RatioGoal::Clock::Cpu}});
        dm = nullptr;
    }
    QDir::setCurrent(previous);
    benchmark::Shutdown();
    return 0;
}
