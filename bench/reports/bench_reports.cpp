// SPDX-License-Identifier: GPL-3.0-or-later
// The media report of 100,000 media, read from the data module's ADOQuery3 by the report form:
// its first page against plain painting of the same texts, its layout, with every page made,
// against plain text measurement of the same texts, its "Save as PDF" against plain painting of
// the same pages into QPdfWriter, and the preview's background layout against the same layout
// run alone; the same for the software report over all titles, with its reading in slices.
// Each comparison runs its two sides in turn, one iteration each.
#include "bench/support/bare_read.h"
#include "bench/support/bench_directory.h"
#include "bench/support/plain_media_pages.h"
#include "bench/support/ratio_report.h"
#include "catalogue/catalogue.h"
#include "data/data_module.h"
#include "reports/engine/preview/report_painter.h"
#include "reports/engine/preview/report_preview.h"
#include "reports/engine/report_layouter.h"
#include "reports/engine/text_metrics.h"
#include "reports/media_report_form.h"
#include "reports/report_panel.h"
#include "reports/report_run.h"
#include "reports/software_report_form.h"
#include "resources/jpeg_image.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPdfWriter>
#include <QTimer>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>

namespace {

constexpr int mediaCount = 100000;
constexpr int titleCount = 1000000;

QString reportsDirectory()
{
    return benchDirectory() + QStringLiteral("/reports");
}

struct Session
{
    Session()
        : dm([](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); })
    {}
    TDm1 dm;
    QObject owner;
    TForm8 *form = nullptr; // made once its query is open, as the report panel does
};

// The plain way: the media layout's texts at fixed places, no measuring, no page model, read
// from the program's query.
class PlainMediaPainter
{
public:
    int pageCount(int records) const { return PlainMediaPages::pageCount(records); }

    void paintPage(QPainter &painter, double mm, const QImage &logo, TADOQuery &query,
                   int page) const
    {
        const std::array<int, 5> columns = columnsOf(query);
        m_pages.paint(painter, mm, logo, page, query.recordCount(), [&](int line, int record) {
            return query.textAt(record, columns[size_t(line)]);
        });
    }

    // What any layout must do at least: measure each caption and value once.
    double measureAll(TADOQuery &query) const
    {
        const std::array<int, 5> columns = columnsOf(query);
        const QFontMetricsF regular = reportFontMetrics(m_pages.lineFont(0));
        const QFontMetricsF bold = reportFontMetrics(m_pages.lineFont(1));
        double captionWidths[5];
        for (int i = 0; i < 5; ++i)
            captionWidths[i] =
                (i == 1 ? bold : regular).horizontalAdvance(PlainMediaPages::caption(i));
        double total = 0;
        const int records = query.recordCount();
        for (int record = 0; record < records; ++record) {
            for (int line = 0; line < 5; ++line)
                total += (line == 1 ? bold : regular)
                             .horizontalAdvance(query.textAt(record, columns[size_t(line)])) +
                         captionWidths[line];
        }
        return total;
    }

private:
    // select codigo, titulo, tipo, obs, local
    static std::array<int, 5> columnsOf(TADOQuery &query)
    {
        static const char *const fields[] = {"codigo", "titulo", "tipo", "obs", "local"};
        std::array<int, 5> columns{};
        for (size_t i = 0; i < columns.size(); ++i)
            columns[i] = query.findField(QLatin1String(fields[i]))->index();
        return columns;
    }

    PlainMediaPages m_pages;
};

QString pdfPath(const char *name)
{
    return reportsDirectory() + u'/' + QLatin1String(name);
}

// The same pages painted straight into QPdfWriter: logo, texts at fixed places, the rule.
void plainPdf(const PlainMediaPainter &plain, const QImage &logo, TADOQuery &query)
{
    QPdfWriter writer(pdfPath("simples.pdf"));
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter painter(&writer);
    const double mm = writer.width() / 210.0;
    const int pages = plain.pageCount(query.recordCount());
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        plain.paintPage(painter, mm, logo, query, page);
    }
    painter.end();
}

// The preview laying the report out in slices from the event loop, with its thumbnails and
// status bar, until the run is complete. Returns the longest event-loop pass meanwhile.
double runPreview(const TQuickRep &report)
{
    double longest = 0;
    ReportPreviewWindow window{QString()};
    window.show();
    window.startRun(report);
    QEventLoop loop;
    QElapsedTimer pass;
    pass.start();
    QTimer tick;
    tick.setInterval(0);
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        longest = std::max(longest, double(pass.nsecsElapsed()) / 1e6);
        pass.restart();
        if (!window.running())
            loop.quit();
    });
    tick.start();
    loop.exec();
    benchmark::DoNotOptimize(window.pageCount());
    return longest;
}

// The preview's background layout against the same layout run alone, and the longest pass of
// the event loop during the preview's.
void comparePreviewLayout(const char *what, const TQuickRep &report, int pairs)
{
    double longest = 0;
    runInterleavedPairs(std::string(what) + ": the preview's background layout vs the layout alone",
                        {[&] { longest = std::max(longest, runPreview(report)); }},
                        {[&] { benchmark::DoNotOptimize(layoutReport(report)->pageCount()); }},
                        pairs, 1.2);
    printRatio(std::string(what) + ": longest event-loop pass during the preview's layout", longest,
               50, 1.0, "ms");
}

double elapsedMs(const QElapsedTimer &clock)
{
    return double(clock.nsecsElapsed()) / 1e6;
}

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double mib(long kib)
{
    return double(kib) / 1024.0;
}

// The software report over all 1,000,000 titles, as "Gerar Relatório" makes it: the first page
// from the click, and the peak resident memory until the whole report is laid out.
// What the program does when "Gerar Relatório" is clicked with "Todos os títulos": the query
// reopened as the report panel does (its first rows read, the rest pending), the form made,
// the preview window shown and its run started, until the first page is in the document
// the window shows. Then the time until every row is read while the preview lays out, and the
// cost of reading in slices against the plainest full read of the same statement.
void measureSoftwareReport()
{
    // The large catalogue the other benchmarks read.
    const QString directory = benchDirectory();
    QDir().mkpath(directory);
    const QString path = directory + u'/' + Catalogue::fileName();
    if (!QFileInfo::exists(path)) {
        std::printf("Making %s (%d media, %d titles)...\n", qPrintable(path), mediaCount,
                    titleCount);
        Catalogue::createLarge(path, mediaCount, titleCount);
    }
    const QString previous = QDir::currentPath();
    QDir::setCurrent(directory);
    {
        TDm1 dm([](const QString &line) { std::fprintf(stderr, "%s\n", qPrintable(line)); });
        TADOQuery &query = dm.ADOQuery4;
        QObject owner;
        resetPeakResident();
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = cpuMs();
        query.close();
        query.setSql(ReportPanel::softwareReportSql(false));
        query.openGradually();
        auto form = std::make_unique<TForm9>(&owner, dm);
        const double opened = elapsedMs(clock);
        auto window = std::make_unique<ReportPreviewWindow>(QString());
        window->show();
        window->startRun(*form->QuickRep1);
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(0);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (window->pageCount() > 0)
                loop.quit();
        });
        // Every pass of the event loop on this first run after the click, the click's own work
        // the first of them: the re-runs compared below have every row read already.
        double longestPass = elapsedMs(clock);
        QElapsedTimer pass;
        pass.start();
        QObject::connect(&poll, &QTimer::timeout, &owner, [&] {
            longestPass = std::max(longestPass, elapsedMs(pass));
            pass.restart();
        });
        poll.start();
        loop.exec();
        const double firstPage = elapsedMs(clock);
        const double firstPageCpu = cpuMs() - cpuStart;
        std::printf("ADOQuery4 opened gradually and the form made in %.1f ms; %d titles read "
                    "when the first page was shown\n",
                    opened, query.growingResult()->rows()->rowCount());
        std::printf("first page on screen: %d page(s) laid out, window shown and its first "
                    "slice run\n",
                    window->pageCount());
        printRatio("all titles: click to first page, against 200 ms", firstPage, 200, 1.0, "ms");
        printRatio("all titles: click to first page (CPU), against 200 ms", firstPageCpu, 200, 1.0,
                   "ms");

        // The rest of the rows, read between the preview's layout slices.
        QObject::disconnect(&poll, nullptr, &loop, nullptr);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!query.readPending())
                loop.quit();
        });
        loop.exec();
        poll.stop();
        std::printf("all %d rows read %.0f ms after the click (%.0f ms CPU), the preview "
                    "laying out %d pages meanwhile\n",
                    query.recordCount(), elapsedMs(clock), cpuMs() - cpuStart, window->pageCount());

        // Memory as the user has it while the preview lays the whole report out: the data
        // module's results, the report's rows and pages, the window; at the peak, not once
        // laid out.
        QObject::disconnect(&poll, nullptr, &loop, nullptr);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (!window->running())
                loop.quit();
        });
        poll.start();
        loop.exec();
        poll.stop();
        const double fileMib = double(QFileInfo(path).size()) / (1024.0 * 1024.0);
        std::printf("all titles laid out by the preview: %d pages, %.0f ms after the click; "
                    "resident then %.0f MiB\n",
                    window->pageCount(), elapsedMs(clock), mib(residentKib()));
        printRatio("all titles laid out by the preview: peak resident memory / file",
                   mib(peakResidentKib()), 3 * fileMib, 1.0, "MiB");
        printRatio("all titles: longest event-loop pass, click to laid out (first run)",
                   longestPass, 50, 1.0, "ms");
        window.reset();

        // Reading in slices as the report asks, against one plain read into typed arenas grown
        // as read and against the query's own read in one go, in turn; freeing is outside the
        // timing on every side. The plain side reads the same file through its own handle,
        // with the program's page cache size, so the two compare reading, not caches.
        TADOQuery cacheSize(QStringLiteral("cacheSize"), &dm.ADOConnection1);
        cacheSize.setSql({QStringLiteral("PRAGMA cache_size")});
        cacheSize.open();
        sqlite3 *db = nullptr;
        sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        sqlite3_exec(db, ("PRAGMA cache_size = " + cacheSize.textAt(0, 0).toUtf8()).constData(),
                     nullptr, nullptr, nullptr);
        const QByteArray sql = query.statementText().toUtf8();
        BareResult bare;
        query.close();
        const auto closeQuery = [&] { query.close(); };
        runInterleaved({{[&] {
                             query.openGradually();
                             const auto result = query.growingResult();
                             while (!result->complete())
                                 result->readMore();
                         },
                         closeQuery},
                        {[&] { bare = bareRead(db, sql.constData()); }, [&] { bare = {}; }},
                        {[&] { query.open(); }, closeQuery}},
                       {{"all titles read in slices vs plain full read", 0, 1, 1.1},
                        {"all titles read in slices vs the query in one go", 0, 2, 1.1}},
                       5);
        sqlite3_close(db);

        const double openMib = mib(residentKib());
        ReportLayouter layouter(*form->QuickRep1);
        resetPeakResident();
        clock.restart();
        layouter.layoutAll();
        std::printf("all titles laid out: %d pages in %.0f ms\n", layouter.document()->pageCount(),
                    elapsedMs(clock));
        std::printf("resident with the form's rows, before the layout: %.0f MiB\n", openMib);
        // After every way of reading above: what their frees left in the heap counts here too.
        printRatio("all titles laid out again, after the reads compared: peak resident / file",
                   mib(peakResidentKib()), 3 * fileMib, 1.0, "MiB");

        // The preview's search for a word no title holds, which makes no page, against the
        // plain scan of every row's texts.
        ReportPreviewWindow searchWindow{QString()};
        searchWindow.setDocument(layouter.document());
        query.open();
        int hits = 0;
        int plainHits = 0;
        runInterleavedPairs(
            "all titles: preview search finding nothing vs a plain scan",
            {[&] { hits = searchWindow.searchText(QStringLiteral("inexistente")); }}, {[&] {
                plainHits = 0;
                for (int record = 0; record < query.recordCount(); ++record) {
                    for (int column = 0; column < query.fieldCount(); ++column)
                        plainHits +=
                            query.textAt(record, column)
                                .contains(QStringLiteral("inexistente"), Qt::CaseInsensitive);
                }
            }},
            5, 2.0, Judged::Cpu);
        std::printf("search hits: %d, plain scan hits: %d\n", hits, plainHits);
        query.close(); // the form keeps the rows of its run

        comparePreviewLayout("all titles", *form->QuickRep1, 3);
    }
    QDir::setCurrent(previous);
}

// The media report of 100,000 media: the first page, the layout with every page made and "Save
// as PDF", each against the plain way, and the preview's background layout.
void compareMediaReport(Session &s)
{
    const PlainMediaPainter plain;
    const QImage logo = loadJpegResource(QStringLiteral(":/pictures/logo.jpg"));
    TADOQuery &query = s.dm.ADOQuery3;
    const TQuickRep &report = *s.form->QuickRep1;

    // The plain first page: the same texts painted at fixed places into a picture-free page.
    runInterleavedPairs("media report: first page vs plain first page", {[&] {
                            ReportLayouter layouter(report);
                            layouter.layoutNextPage();
                            const ReportPage page = layouter.document()->page(0);
                            benchmark::DoNotOptimize(page.texts.data());
                        }},
                        {[&] {
                            QImage target(794, 1123, QImage::Format_RGB32);
                            QPainter painter(&target);
                            plain.paintPage(painter, 794 / 210.0, logo, query, 0);
                            benchmark::DoNotOptimize(target.bits());
                        }},
                        25, 2.0);

    // The layout keeps only where each band went and measures texts when a page is made, for
    // painting, searching or saving: this is the measuring the plain way does up front.
    runInterleavedPairs("media report: layout and every page made vs plain measuring", {[&] {
                            const auto document = layoutReport(report);
                            for (int p = 0; p < document->pageCount(); ++p)
                                benchmark::DoNotOptimize(document->page(p).texts.size());
                        }},
                        {[&] { benchmark::DoNotOptimize(plain.measureAll(query)); }}, 5, 2.0);

    // "Save as PDF" of the laid-out report, as the preview does it.
    const auto laidOut = layoutReport(report);
    runInterleavedPairs(
        "media report: Save as PDF vs plain QPdfWriter",
        {[&] { benchmark::DoNotOptimize(writeReportPdf(*laidOut, pdfPath("salvo.pdf"))); }},
        {[&] { plainPdf(plain, logo, query); }}, 3, 1.3);

    comparePreviewLayout("media report", report, 5);
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    initReports();
    // First, so that its resident memory holds nothing of the media report's runs.
    measureSoftwareReport();

    QDir().mkpath(reportsDirectory());
    const QString path = reportsDirectory() + u'/' + Catalogue::fileName();
    if (!QFileInfo::exists(path)) {
        std::printf("Making %s (%d media)...\n", qPrintable(path), mediaCount);
        Catalogue::createLarge(path, mediaCount, 0);
    }
    QDir::setCurrent(reportsDirectory());
    Session s;

    // What the user waits for on the first report of a session: the query reopened as the
    // report panel does, then the first page, fonts and logo not yet warm.
    {
        QElapsedTimer clock;
        clock.start();
        s.dm.ADOQuery3.close();
        s.dm.ADOQuery3.open();
        s.form = new TForm8(&s.owner, s.dm);
        const double reopen = elapsedMs(clock);
        clock.restart();
        ReportLayouter layouter(*s.form->QuickRep1);
        layouter.layoutNextPage();
        const double firstPage = elapsedMs(clock);
        std::printf("ADOQuery3 reopened on %d media and the form made in %.1f ms\n",
                    s.dm.ADOQuery3.recordCount(), reopen);
        printRatio("first page, cold, against the 200 ms goal", firstPage, 200, 1.0, "ms");
        printRatio("reopen + first page, cold, against 200 ms", reopen + firstPage, 200, 1.0, "ms");
    }

    compareMediaReport(s);
    return 0;
}
