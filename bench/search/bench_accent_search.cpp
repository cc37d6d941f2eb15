// SPDX-License-Identifier: GPL-3.0-or-later
// "Ignorar acentos" at 1,000,000 titles against today's search: the search window's "&Buscar"
// (statement, result and column fit) for "edicao 777" with the box ticked, and for
// "edição 777" without it, which find the same rows. Goal: at most 1.3 times as long. Run:
// QT_QPA_PLATFORM=offscreen build/bench/search/bench_accent_search
#include "bench/support/ratio_report.h"
#include "catalogue/catalogue.h"
#include "data/data_module.h"
#include "search/search_window.h"
#include "shell/application.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

constexpr int titles = 1000000;

TDm1 *dm = nullptr;

void search(benchmark::State &state, const QString &text, bool ignoreAccents)
{
    QWidget owner;
    TForm4 window(&owner, QString(), SoftwareSearch, *dm);
    window.findChild<QCheckBox *>(u"IgnorarAcentos"_s)->setChecked(ignoreAccents);
    window.findChild<QLineEdit *>(u"PesquisaAtual"_s)->setText(text);
    window.TipoBusca = SoftwareSearch;
    for (auto _ : state)
        window.ExecutaPesquisa();
    state.counters["records"] = dm->ADOQuery6.recordCount();
}

void BM_TodaysSearch(benchmark::State &state)
{
    search(state, u"edição 777"_s, false);
}

void BM_IgnoringAccents(benchmark::State &state)
{
    search(state, u"edicao 777"_s, true);
}

} // namespace

BENCHMARK(BM_TodaysSearch)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_IgnoringAccents)
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
    // The check box's remembered state goes to a settings file of the benchmark's own.
    QStandardPaths::setTestModeEnabled(true);

    QTemporaryDir dir;
    Catalogue::createLarge(dir.filePath(Catalogue::fileName()), 1000, titles);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    {
        TDm1 module([](const QString &message) { qWarning("%s", qPrintable(message)); });
        dm = &module;
        // The letters' accent-free forms are worked out at the first such search of a run:
        // reported once, apart from the repeated searches.
        QElapsedTimer first;
        first.start();
        dm->ADOQuery6.setSql({u"SELECT like_sem_acentos('%ã%', 'ação')"_s});
        dm->ADOQuery6.open();
        std::printf("First accent-free match of the run (letter table built): %lld ms\n",
                    static_cast<long long>(first.elapsed()));
        dm->ADOQuery6.close();
        runInitializedBenchmarksWithRatios(
            {{"BM_IgnoringAccents", "BM_TodaysSearch", 1.3, RatioGoal::Clock::Wall}});
        dm = nullptr;
    }
    QDir::setCurrent(previous);
    benchmark::Shutdown();
    return 0;
}
