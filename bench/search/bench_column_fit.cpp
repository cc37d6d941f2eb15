// SPDX-License-Identifier: GPL-3.0-or-later
// The search window's column fit on 100,000 results, against its limit: the bare query plus
// one QFontMetrics::horizontalAdvance per cell over the same texts, on one thread. Also the
// grid over a million records. Times are wall clock and whole-process CPU. Run:
// QT_QPA_PLATFORM=offscreen build/bench/bench_column_fit
#include "bench/search/search_side.h"
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
#include <QStandardPaths>
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

// The widest text of an open result, one measurement per cell: the limit of any fit.
int advancePerCell(TADOQuery &query, const QFontMetrics &metrics)
{
    int widest = 0;
    for (int r = 0; r < query.recordCount(); ++r)
        for (int c = 0; c < query.fieldCount(); ++c)
            widest = std::max(widest, metrics.horizontalAdvance(query.textAt(r, c)));
    return widest;
}

// What the user waits for, "&Buscar" for "a" in a window (query, grid reset and column fit),
// against its limit: the bare query, then one measurement per cell; and the bare query alone.
void compareSearch(int rounds)
{
    TADOQuery &query = dm->ADOQuery6;
    const QFontMetrics metrics(titleFont());
    int records = 0;
    runInterleaved({searchInNewWindow(*dm, u"a"_s, false, &records),
                    {[&] {
                        openSearch(query);
                        benchmark::DoNotOptimize(advancePerCell(query, metrics));
                    }},
                    {[&] { openSearch(query); }}},
                   {{"search and fit vs query and advance per cell", 0, 1, 0.5, Judged::Cpu},
                    {"search and fit vs the bare query", 0, 2}},
                   rounds);
    std::printf("search for \"a\": %d records\n", records);
}

// The column fit alone over an open result, with its cheap bound on or off, and with or
// without a second thread taking runs of records (its CPU time counts in the process's),
// against one measurement per cell.
void compareFit(int rounds)
{
    TADOQuery &query = dm->ADOQuery6;
    openSearch(query);
    const QFont font = titleFont();
    const QFontMetrics metrics(font);
    const auto fit = [&](bool cheapBound, bool secondThread) {
        return PairSide{[&, cheapBound, secondThread] {
            ColumnFit::Options options;
            options.cheapBound = cheapBound;
            options.secondThread = secondThread;
            std::vector<int> widths(size_t(query.fieldCount()), 0);
            ColumnFit::widenToTexts(query, 0, font, widths, options);
            benchmark::DoNotOptimize(widths.data());
        }};
    };
    runInterleaved({fit(true, true), fit(true, false), fit(false, false), {[&] {
                        benchmark::DoNotOptimize(advancePerCell(query, metrics));
                    }}},
                   {{"fit (bound, second thread) vs advance per cell", 0, 3, 0.5, Judged::Cpu},
                    {"fit (bound, one thread) vs advance per cell", 1, 3},
                    {"fit (no bound, one thread) vs advance per cell", 2, 3}},
                   rounds);
}

// What the first fit in a font costs once, on top of the fit: the font's cheap bounds.
void BM_LearnFontBounds(benchmark::State &state)
{
    const QFont font = titleFont();
    for (auto _ : state)
        benchmark::DoNotOptimize(ColumnFit::FontBounds(font));
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

BENCHMARK(BM_LearnFontBounds)
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
    // "Ignorar acentos", set for the search, goes to a settings file of the benchmark's own.
    QStandardPaths::setTestModeEnabled(true);

    QTemporaryDir dir;
    Catalogue::createLarge(dir.filePath(Catalogue::fileName()), 1000, titles);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        TDm1 module([](const QString &message) { qWarning("%s", qPrintable(message)); });
        dm = &module;
        // The font's bounds are learnt once per font, before any search is timed.
        ColumnFit::FontBounds::of(titleFont());
        compareSearch(7);
        compareFit(7);
        benchmark::RunSpecifiedBenchmarks();
        dm = nullptr;
    }
    QDir::setCurrent(previous);
    benchmark::Shutdown();
    return 0;
}
