// SPDX-License-Identifier: GPL-3.0-or-later
// The program on a catalogue of 1,000,000 titles on 100,000 media: start-up to the main
// window shown, and the longest frame while scrolling the grid and turning preview pages.
#include "app/main_window.h"
#include "bench/support/bare_read.h"
#include "bench/support/bench_directory.h"
#include "bench/support/ratio_report.h"
#include "catalogue/catalogue.h"
#include "controls/db_grid.h"
#include "data/data_module.h"
#include "registration/media_window.h"
#include "registration/software_window.h"
#include "reports/engine/preview/report_preview.h"
#include "reports/media_report_form.h"
#include "search/search_window.h"
#include "shell/application.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QScrollBar>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <cstdio>
#include <ctime>
#include <iterator>
#include <memory>
#include <vector>

namespace {

void silent(const QString &line)
{
    std::fprintf(stderr, "%s\n", qPrintable(line));
}

// What start-up reads: the five statements the data module opens and the media list the
// main window opens when shown. Both sides run in the same warm QApplication (made once,
// untimed), in turn, each once untimed first, and free their results outside the timing.
const char *const startupStatements[] = {
    "select * from cds",
    "select * from softs",
    "select * from cds",
    "SELECT numero, nome, midia, descricao, codigo, titulo\nfrom softs, cds\nwhere midia=1 "
    "and codigo=midia",
    "select * from cds",
    "select * from cds"};

// Everything start-up does before the message loop, up to the main window shown and its media
// list open, against the plain reads of the same statements through a handle of its own.
void compareStartup(int pairs)
{
    const QByteArray path = QFile::encodeName(benchDirectory() + QStringLiteral("/quivel.mdb"));
    std::unique_ptr<TForm1> form1;
    std::unique_ptr<TDm1> dm;
    std::unique_ptr<TForm2> form2;
    std::unique_ptr<TForm3> form3;
    sqlite3 *db = nullptr;
    std::vector<BareResult> results;
    runInterleavedPairs("start-up to the main window shown",
                        {[&] {
                             form1 = std::make_unique<TForm1>();
                             dm = std::make_unique<TDm1>(silent);
                             form1->bindDataModule(*dm);
                             form2 = std::make_unique<TForm2>(*dm);
                             form3 = std::make_unique<TForm3>(*dm);
                             form1->setRegistrationWindows(form2.get(), form3.get());
                             form1->show();
                             QCoreApplication::processEvents();
                             benchmark::DoNotOptimize(dm->ADOQuery5.recordCount());
                         },
                         [&] {
                             form3.reset();
                             form2.reset();
                             form1.reset();
                             dm.reset();
                         }},
                        {[&] {
                             sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
                             results = bareReadAll(db, startupStatements);
                         },
                         [&] {
                             results.clear();
                             sqlite3_close(db);
                         }},
                        pairs, 1.5);
}

} // namespace

// Frames are timed one by one: each scroll step or page turn followed by a full repaint.
static void measureFrames(TDm1 &dm)
{
    TDBGrid grid;
    grid.resize(755, 377);
    grid.setDataSource(&dm.DataSource2);
    grid.show();
    QCoreApplication::processEvents();
    QScrollBar *bar = grid.verticalScrollBar();
    qint64 worst = 0;
    QElapsedTimer timer;
    for (int step = 0; step < 200; ++step) {
        timer.start();
        bar->setValue(int(qint64(bar->maximum()) * step / 199));
        grid.viewport()->repaint();
        worst = qMax(worst, timer.nsecsElapsed());
    }
    printRatio("worst grid scroll frame, 1,000,000 titles", double(worst) / 1e6, 50.0, 1.0, "ms");

    dm.ADOQuery3.close();
    dm.ADOQuery3.open();
    TForm8 form(nullptr, dm);
    ReportPreviewWindow preview(QString{});
    preview.show();
    preview.startRun(*form.QuickRep1);
    // Turn pages while the rest of the report is still being made in the background.
    worst = 0;
    for (int turn = 0; turn < 100; ++turn) {
        QCoreApplication::processEvents();
        timer.start();
        preview.showPage((turn * 37) % qMax(1, preview.pageCount()));
        preview.repaint();
        worst = qMax(worst, timer.nsecsElapsed());
    }
    printRatio("worst preview page turn, 100,000 media", double(worst) / 1e6, 50.0, 1.0, "ms");
    preview.close();
}

// A search for "a", which every title matches, run twice so the second also lets go of the
// first's 1,000,000 rows: how long each takes, and the longest the event loop goes unserved
// meanwhile, seen by a timer that wants to run every 10 ms.
static void measureSearch(TDm1 &dm)
{
    QWidget owner;
    QElapsedTimer gap;
    qint64 worstGap = 0;
    QTimer ticker;
    ticker.setInterval(10);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        worstGap = qMax(worstGap, gap.nsecsElapsed());
        gap.start();
    });
    TForm4 window(&owner, QStringLiteral("edição 1"), 1, dm);
    window.show();
    QCoreApplication::processEvents();
    window.findChild<QLineEdit *>(QStringLiteral("PesquisaAtual"))->setText(QStringLiteral("a"));
    for (const char *which : {"first", "second"}) {
        QElapsedTimer total;
        total.start();
        const std::clock_t cpu = std::clock();
        gap.start();
        ticker.start();
        window.ExecutaPesquisa();
        worstGap = qMax(worstGap, gap.nsecsElapsed());
        ticker.stop();
        std::printf("Search for \"a\", %s: %d rows in %.2f s wall, %.2f s CPU\n", which,
                    dm.ADOQuery6.recordCount(), double(total.nsecsElapsed()) / 1e9,
                    double(std::clock() - cpu) / CLOCKS_PER_SEC);
    }
    printRatio("longest unserved event loop, 1,000,000-row search", double(worstGap) / 1e6, 100.0,
               1.0, "ms");
    window.close();
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Application app(argc, argv);
    QDir().mkpath(benchDirectory());
    const QString path = benchDirectory() + QStringLiteral("/quivel.mdb");
    if (!QFileInfo::exists(path))
        Catalogue::createLarge(path, 100000, 1000000);
    const QString previous = QDir::currentPath();
    QDir::setCurrent(benchDirectory());
    compareStartup(5);
    {
        TDm1 dm(silent);
        measureFrames(dm);
        measureSearch(dm);
    }
    QDir::setCurrent(previous);
    return 0;
}
