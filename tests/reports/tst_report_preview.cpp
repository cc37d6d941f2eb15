// SPDX-License-Identifier: GPL-3.0-or-later
#include "report_fixtures.h"

#include "reports/engine/preview/report_painter.h"
#include "reports/engine/preview/report_preview.h"
#include "reports/engine/report_error.h"
#include "reports/engine/report_layouter.h"

#include <QAction>
#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QWidgetAction>

using namespace Qt::StringLiterals;

namespace {

QList<ReportPreviewWindow *> openPreviews()
{
    QList<ReportPreviewWindow *> found;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (auto *window = qobject_cast<ReportPreviewWindow *>(widget);
            window && window->isVisible())
            found.append(window);
    }
    return found;
}

// Runs action on the event loop once a preview window is open and its report is laid out.
void whenPreviewReady(int previews, std::function<void(ReportPreviewWindow *)> action)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, previews, action] {
        const auto windows = openPreviews();
        if (windows.size() < previews)
            return;
        ReportPreviewWindow *newest = windows.last();
        for (ReportPreviewWindow *w : windows) {
            if (!w->property("seen").toBool())
                newest = w;
        }
        if (newest->running())
            return;
        newest->setProperty("seen", true);
        poll->deleteLater();
        action(newest);
    });
    poll->start(5);
}

QStringList messages;

} // namespace

// A font without a glyph draws an empty box: ink only along the edges of its bounds.
bool looksLikeAMissingGlyph(const QImage &icon)
{
    QRect ink;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x)
            if (qAlpha(icon.pixel(x, y)) > 64)
                ink |= QRect(x, y, 1, 1);
    if (ink.isEmpty())
        return true;
    const QRect inside = ink.adjusted(3, 3, -3, -3);
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if (qAlpha(icon.pixel(x, y)) > 64)
                return false;
    return true;
}

class TestReportPreview : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void pageRendersToPdf();
    void windowMatchesTheStandardPreview();
    void previewReturnsOnlyWhenClosed();
    void secondPreviewInsideTheFirst();
    void searchSaveAndLoadInTheWindow();
    void runFailureSurfacesFromPreview();
    void previewReturnsWhenTheApplicationQuits(); // last: it ends the event loops
};

void TestReportPreview::initTestCase()
{
    setReportMessageHandler([](QWidget *, const QString &message) { messages.append(message); });
}

void TestReportPreview::pageRendersToPdf()
{
    auto data = mediaDataSet(30);
    auto report = mediaReport(data.get());
    const auto document = layoutReport(*report);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"midias.pdf"_s);
    writeReportPdf(*document, path);
    QFile pdf(path);
    QVERIFY(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    QVERIFY(bytes.startsWith("%PDF-"));
    QVERIFY(bytes.size() > 10000);
    QCOMPARE(bytes.count("/Type /Page\n") + bytes.count("/Type /Page\r"), 8);
    // QUIVEL_REPORT_PDF keeps a copy to look at.
    if (const QString keep = qEnvironmentVariable("QUIVEL_REPORT_PDF"); !keep.isEmpty()) {
        QFile::remove(keep);
        QVERIFY(QFile::copy(path, keep));
    }

    // The thumbnail of page one has ink where the title is, and none in the right margin.
    const QImage page = renderReportPage(*document, 0, 420);
    const double px = 420 / 210.0;
    bool titleInk = false;
    for (int x = int(76 * px); x < int(125 * px); ++x)
        titleInk = titleInk || qGray(page.pixel(x, int(30 * px))) < 128;
    QVERIFY(titleInk);
    for (int y = 0; y < page.height(); ++y)
        QCOMPARE(page.pixel(page.width() - 3, y), qRgb(255, 255, 255));
}

void TestReportPreview::windowMatchesTheStandardPreview()
{
    ReportPreviewWindow window{QString()};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), u"Report Preview : "_s);
    QCOMPARE(window.frameGeometry().size(), QSize(500, 500));
    const QPoint screenCentre = window.screen()->availableGeometry().center();
    QVERIFY((window.frameGeometry().center() - screenCentre).manhattanLength() <= 2);

    QStringList tips;
    for (QAction *action : window.findChild<QToolBar *>()->actions()) {
        if (!action->isSeparator() && !action->toolTip().isEmpty() &&
            !qobject_cast<QWidgetAction *>(action)) {
            tips.append(action->toolTip());
            QVERIFY2(!looksLikeAMissingGlyph(action->icon().pixmap(24, 24).toImage()),
                     qPrintable(action->toolTip()));
        }
    }
    QCOMPARE(tips, (QStringList{u"Zoom to fit"_s, u"Zoom to width"_s, u"100% Size"_s,
                                u"First page"_s, u"Previous page"_s, u"Next page"_s, u"Last page"_s,
                                u"Select a Page"_s, u"Search for Text"_s, u"Printer setup"_s,
                                u"Print"_s, u"Save report"_s, u"Load report"_s}));
    QPushButton *close = window.findChild<QPushButton *>();
    QVERIFY(close);
    QCOMPARE(close->text(), u"&Close"_s);
    auto *tabs = window.findChild<QTabWidget *>();
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), u"ThumbNails"_s);
    QCOMPARE(tabs->tabText(1), u"Search Results"_s);
    // Both tabs whole in sight at the default size: no scroll arrows, no cut text.
    const QTabBar *bar = tabs->tabBar();
    for (int i = 0; i < tabs->count(); ++i) {
        QVERIFY2(bar->rect().contains(bar->tabRect(i)), qPrintable(tabs->tabText(i)));
        QVERIFY(bar->tabRect(i).width() > bar->fontMetrics().horizontalAdvance(tabs->tabText(i)));
    }
    QVERIFY(tabs->rect().contains(QRect(bar->pos(), bar->size())));
    close->click();
    QVERIFY(!window.isVisible());
}

void TestReportPreview::previewReturnsOnlyWhenClosed()
{
    auto data = mediaDataSet(30);
    auto report = mediaReport(data.get());
    bool closedByTest = false;
    int pages = 0;
    double fitZoom = 0;
    whenPreviewReady(1, [&](ReportPreviewWindow *window) {
        pages = window->pageCount();
        fitZoom = window->zoom();
        window->showPage(pages - 1);
        QCOMPARE(window->currentPage(), pages - 1);
        closedByTest = true;
        window->close();
    });
    Preview(*report);
    QVERIFY(closedByTest);
    QCOMPARE(pages, 8);
    // Fit to window: a whole A4 page inside a viewport smaller than 500 pixels.
    QVERIFY(fitZoom > 0.3 && fitZoom * 297 < 500);
    QVERIFY(openPreviews().isEmpty());
}

void TestReportPreview::secondPreviewInsideTheFirst()
{
    auto media = mediaDataSet(3);
    auto first = mediaReport(media.get());
    auto second = mediaReport(media.get());
    second->ReportTitle = u"segundo"_s;
    QStringList order;
    whenPreviewReady(1, [&](ReportPreviewWindow *outer) {
        whenPreviewReady(2, [&, outer](ReportPreviewWindow *inner) {
            QCOMPARE(inner->windowTitle(), u"Report Preview : segundo"_s);
            QVERIFY(outer->isVisible());
            inner->close();
            QTimer::singleShot(0, outer, [outer] { outer->close(); });
        });
        Preview(*second);
        order.append(u"second returned"_s);
    });
    Preview(*first);
    order.append(u"first returned"_s);
    QCOMPARE(order, (QStringList{u"second returned"_s, u"first returned"_s}));
}

void TestReportPreview::searchSaveAndLoadInTheWindow()
{
    auto data = mediaDataSet(10);
    auto report = mediaReport(data.get());
    ReportPreviewWindow window{QString()};
    window.startRun(*report);
    window.finishRun();
    QCOMPARE(window.pageCount(), 3);

    QCOMPARE(window.searchText(u"mídia 10"_s), 1);
    QCOMPARE(window.currentPage(), 2);
    QCOMPARE(window.searchText(u"Total de"_s), 1);
    QCOMPARE(window.searchText(u"inexistente"_s), 0);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"salvo.qvr"_s);
    window.saveTo(path);
    ReportPreviewWindow other{QString()};
    other.loadFrom(path);
    QCOMPARE(other.pageCount(), 3);
    QCOMPARE(other.searchText(u"Gaveta"_s), 10);

    QFile bad(dir.filePath(u"ruim.qvr"_s));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("nada");
    bad.close();
    QVERIFY_THROWS_EXCEPTION(ReportError, other.loadFrom(bad.fileName()));
    QCOMPARE(other.pageCount(), 3);
}

void TestReportPreview::runFailureSurfacesFromPreview()
{
    // A dataset that fails part-way through the run: the failure reaches Preview's caller.
    class FailingDataSet : public MemoryDataSet
    {
    public:
        using MemoryDataSet::MemoryDataSet;
        QString text(int record, int field) const override
        {
            if (record >= 40)
                throw ReportError(u"falha ao ler o registro"_s);
            return MemoryDataSet::text(record, field);
        }
    };
    FailingDataSet data({u"codigo"_s, u"titulo"_s, u"obs"_s, u"tipo"_s, u"local"_s});
    for (int i = 0; i < 200; ++i)
        data.append({QString::number(i), u"m"_s, u"o"_s, u"CD"_s, u"l"_s});
    auto report = mediaReport(&data);
    QVERIFY_THROWS_EXCEPTION(ReportError, Preview(*report));
    QVERIFY(openPreviews().isEmpty());
}

void TestReportPreview::previewReturnsWhenTheApplicationQuits()
{
    auto data = mediaDataSet(3);
    auto report = mediaReport(data.get());
    whenPreviewReady(1, [](ReportPreviewWindow *) { QCoreApplication::exit(0); });
    Preview(*report);
    QVERIFY(openPreviews().isEmpty());
}

QTEST_MAIN(TestReportPreview)
#include "tst_report_preview.moc"
