// SPDX-License-Identifier: GPL-3.0-or-later
// "Ignorar acentos" at 1,000,000 titles against today's search: the search window's "&Buscar"
// (statement, result and column fit) for "edicao 777" with the box ticked, and for
// "edição 777" without it, which find the same rows. Goal: at most 1.3 times as long. Run:
// QT_QPA_PLATFORM=offscreen build/bench/search/bench_accent_search
#include "bench/search/search_side.h"
#include "bench/support/ratio_report.h"
#include "catalogue/catalogue.h"
#include "data/data_module.h"
#include "search/search_window.h"
#include "shell/application.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>

using namespace Qt::StringLiterals;

constexpr int titles = 1000000;

int main(int argc, char **argv)
{
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
        // The letters' accent-free forms are worked out at the first such search of a run:
        // reported once, apart from the repeated searches.
        QElapsedTimer first;
        first.start();
        module.ADOQuery6.setSql({u"SELECT like_sem_acentos('%ã%', 'ação')"_s});
        module.ADOQuery6.open();
        std::printf("First accent-free match of the run (letter table built): %lld ms\n",
                    static_cast<long long>(first.elapsed()));
        module.ADOQuery6.close();
        int found[2] = {};
        runInterleavedPairs("ignoring accents vs today's search",
                            searchInNewWindow(module, u"edicao 777"_s, true, &found[0]),
                            searchInNewWindow(module, u"edição 777"_s, false, &found[1]), 9, 1.3);
        std::printf("records found: %d ignoring accents, %d today\n", found[0], found[1]);
    }
    QDir::setCurrent(previous);
    return 0;
}
