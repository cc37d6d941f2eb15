// SPDX-License-Identifier: GPL-3.0-or-later
#include "report_fixtures.h"

#include "reports/engine/preview/report_painter.h"
#include "reports/engine/preview/report_preview.h"
#include "reports/engine/report_error.h"
#include "reports/engine/report_layouter.h"
#include "reports/engine/text_metrics.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QListView>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
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

// The first page's words with their boxes, as poppler lists them.
QByteArray pdfWordsAsPoppler(const QString &path)
{
    QProcess pdftotext;
    pdftotext.start(u"pdftotext"_s, {u"-bbox"_s, u"-f"_s, u"1"_s, u"-l"_s, u"1"_s, path, u"-"_s});
    if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0)
        return {};
    return pdftotext.readAllStandardOutput();
}

struct PdfWords
{
    QSizeF page; // points
    std::vector<QRectF> words;
};

// The words of a PDF's first page with their boxes, as poppler reads them back.
PdfWords pdfWords(const QString &path)
{
    QProcess pdftotext;
    pdftotext.start(u"pdftotext"_s, {u"-bbox"_s, u"-f"_s, u"1"_s, u"-l"_s, u"1"_s, path, u"-"_s});
    if (!pdftotext.waitForFinished(30000) || pdftotext.exitCode() != 0)
        return {};
    const QString html = QString::fromUtf8(pdftotext.readAllStandardOutput());
    PdfWords result;
    const QRegularExpression page(u"<page width=\"([\\d.]+)\" height=\"([\\d.]+)\""_s);
    const auto pageMatch = page.match(html);
    if (!pageMatch.hasMatch())
        return {};
    result.page = QSizeF(pageMatch.captured(1).toDouble(), pageMatch.captured(2).toDouble());
    const QRegularExpression word(u"<word xMin=\"([\\d.]+)\" yMin=\"([\\d.]+)\" "
                                  u"xMax=\"([\\d.]+)\" yMax=\"([\\d.]+)\""_s);
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        result.words.push_back(QRectF(QPointF(m.captured(1).toDouble(), m.captured(2).toDouble()),
                                      QPointF(m.captured(3).toDouble(), m.captured(4).toDouble())));
    }
    return result;
}

// Makes the pages of a laid-out document and keeps which ones, in order.
class CountingPageMaker : public PageMaker
{
public:
    explicit CountingPageMaker(std::shared_ptr<const ReportDocument> document)
        : m_document(std::move(document))
    {}
    int pageCount() const override { return m_document->pageCount(); }
    ReportPage page(int index) const override
    {
        made.append(index);
        return m_document->page(index);
    }
    bool mayContain(int index, const QString &text) const override
    {
        return m_document->pageMayContain(index, text);
    }
    mutable QList<int> made;

private:
    std::shared_ptr<const ReportDocument> m_document;
};

QRectF unite(const std::vector<QRectF> &rects)
{
    QRectF all;
    for (const QRectF &r : rects)
        all = all.united(r);
    return all;
}

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
    void shapedTextsPaintAsTheirStrings_data();
    void shapedTextsPaintAsTheirStrings();
    void printsWholePagesOnAnyPaper_data();
    void printsWholePagesOnAnyPaper();
    void savingAndPrintingReportProgressAndStop();
    void longValuesPrintWholeLinesOnly_data();
    void longValuesPrintWholeLinesOnly();
    void windowMatchesTheStandardPreview();
    void screenReaderHearsPortuguese();
    void promptsSpeakPortuguese_data();
    void promptsSpeakPortuguese();
    void saveDialogStartsInDocumentsAndRemembers();
    void pageSetupStartsOnTheReportsPaperAndKeepsAChoice();
    void previewReturnsOnlyWhenClosed();
    void secondPreviewInsideTheFirst();
    void searchSaveAndLoadInTheWindow();
    void thumbnailsShowEachPageAboveItsNumber();
    void statusTellsNoTotalWhileRecordsArrive();
    void searchFindsTextsAsPrinted_data();
    void searchFindsTextsAsPrinted();
    void aSearchHitMakesItsPageOnce();
    void runFailureSurfacesFromPreview();
    void previewReturnsWhenTheApplicationQuits(); // last: it ends the event loops
};

void TestReportPreview::initTestCase()
{
    setReportMessageHandler([](QWidget *, const QString &message) { messages.append(message); });
    // Remembered folders and types go to a settings file of the test's own.
    QStandardPaths::setTestModeEnabled(true);
    QSettings(u"quivel"_s, u"quivel"_s).clear();
}

void TestReportPreview::pageRendersToPdf()
{
    auto data = mediaDataSet(30);
    auto report = mediaReport(data);
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

void TestReportPreview::shapedTextsPaintAsTheirStrings_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("remarks");
    QTest::newRow("accents") << u"Mídia nº 1"_s << u"Backup de ação — coleção"_s;
    QTest::newRow("kerning and ligatures") << u"AVATAR Tý WAVE"_s << u"office ﬁle ffl"_s;
    QTest::newRow("spaces at both ends") << u"  Mídia  "_s << u" curta "_s;
    QTest::newRow("fallback font") << u"Mídia 日本語"_s << u"メディア"_s;
    QTest::newRow("right to left") << u"CD שלום 123"_s << u"مرحبا بالعالم"_s;
}

// Painting a page made to be painted gives what painting its texts as strings gives: on the
// screen and in thumbnails to the pixel, in a PDF to the word and its box.
void TestReportPreview::shapedTextsPaintAsTheirStrings()
{
    QFETCH(QString, name);
    QFETCH(QString, remarks);
    const auto data = std::make_shared<MemoryDataSet>(
        QStringList{u"codigo"_s, u"titulo"_s, u"obs"_s, u"tipo"_s, u"local"_s});
    data->append({u"1"_s, name, remarks, u"CD"_s, u"Gaveta 1"_s});
    data->append({u"2"_s, remarks, name, u"DVD"_s, u"Estante 2"_s});
    auto report = mediaReport(data);
    const auto document = layoutReport(*report);
    const ReportPage toPaint = document->pageToPaint(0);
    QVERIFY(std::any_of(toPaint.texts.begin(), toPaint.texts.end(),
                        [&](const PageText &t) { return t.shaped && t.text == name; }));
    // The same pages kept as they were made to be searched or stored: painted from strings.
    ReportDocument asStrings;
    asStrings.title = document->title;
    asStrings.pageSize = document->pageSize;
    asStrings.appendPage(document->page(0));

    for (const int width : {160, 794, 2480}) {
        const QImage shaped = renderReportPage(*document, 0, width);
        const QImage strings = renderReportPage(asStrings, 0, width);
        QVERIFY2(shaped == strings, qPrintable(u"%1 pixels wide"_s.arg(width)));
    }

    QTemporaryDir dir;
    const QString shapedPdf = dir.filePath(u"formas.pdf"_s);
    const QString stringsPdf = dir.filePath(u"textos.pdf"_s);
    QVERIFY(writeReportPdf(*document, shapedPdf));
    QVERIFY(writeReportPdf(asStrings, stringsPdf));
    const QByteArray words = pdfWordsAsPoppler(shapedPdf);
    QVERIFY(words.contains("<word "));
    QCOMPARE(words, pdfWordsAsPoppler(stringsPdf));
}

void TestReportPreview::printsWholePagesOnAnyPaper_data()
{
    QTest::addColumn<QPageSize::PageSizeId>("paper");
    QTest::addColumn<QPageLayout::Orientation>("orientation");
    QTest::newRow("Letter") << QPageSize::Letter << QPageLayout::Portrait;
    QTest::newRow("A4 landscape") << QPageSize::A4 << QPageLayout::Landscape;
    QTest::newRow("A4, as the report") << QPageSize::A4 << QPageLayout::Portrait;
}

void TestReportPreview::printsWholePagesOnAnyPaper()
{
    QFETCH(QPageSize::PageSizeId, paper);
    QFETCH(QPageLayout::Orientation, orientation);

    auto data = mediaDataSet(30);
    auto report = mediaReport(data);
    const auto document = layoutReport(*report);
    QTemporaryDir dir;
    const QString saved = dir.filePath(u"salvo.pdf"_s);
    writeReportPdf(*document, saved);

    // The report puts the printer on its own paper; the user then picks another.
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageSize(QPageSize(QPageSize::Letter));
    printer.setPageOrientation(QPageLayout::Landscape);
    setPrinterToReportPaper(printer, *document);
    QCOMPARE(printer.pageLayout().pageSize().id(), QPageSize::A4);
    QCOMPARE(printer.pageLayout().orientation(), QPageLayout::Portrait);
    printer.setPageSize(QPageSize(paper));
    printer.setPageOrientation(orientation);
    const QString printed = dir.filePath(u"impresso.pdf"_s);
    printer.setOutputFileName(printed);
    printReport(*document, printer);

    const PdfWords a4 = pdfWords(saved);
    const PdfWords out = pdfWords(printed);
    QVERIFY(!a4.words.empty());
    QCOMPARE(out.words.size(), a4.words.size());
    QSizeF expectedPaper = QPageSize(paper).size(QPageSize::Point);
    if (orientation == QPageLayout::Landscape)
        expectedPaper.transpose();
    QVERIFY(std::abs(out.page.width() - expectedPaper.width()) < 1);
    QVERIFY(std::abs(out.page.height() - expectedPaper.height()) < 1);

    // Every word lies on the paper, and the page is scaled by one factor both ways.
    const QRectF ink = unite(out.words);
    QVERIFY2(
        QRectF(QPointF(0, 0), out.page).contains(ink),
        qPrintable(u"%1,%2 %3x%4"_s.arg(ink.x()).arg(ink.y()).arg(ink.width()).arg(ink.height())));
    const QRectF a4Ink = unite(a4.words);
    const double sx = ink.width() / a4Ink.width();
    const double sy = ink.height() / a4Ink.height();
    QVERIFY2(std::abs(sx - sy) < 0.01, qPrintable(u"%1 %2"_s.arg(sx).arg(sy)));
    const double fit =
        std::min(out.page.width() / a4.page.width(), out.page.height() / a4.page.height());
    QVERIFY2(std::abs(sx - fit) < 0.01, qPrintable(u"%1 %2"_s.arg(sx).arg(fit)));
    // Centred on the paper.
    const QPointF offset = ink.topLeft() - a4Ink.topLeft() * sx;
    QVERIFY(std::abs(offset.x() - (out.page.width() - a4.page.width() * sx) / 2) < 1);
    QVERIFY(std::abs(offset.y() - (out.page.height() - a4.page.height() * sx) / 2) < 1);
}

void TestReportPreview::savingAndPrintingReportProgressAndStop()
{
    auto data = mediaDataSet(30);
    auto report = mediaReport(data);
    const auto document = layoutReport(*report);
    QTemporaryDir dir;

    QList<QPair<int, int>> told;
    const QString whole = dir.filePath(u"inteiro.pdf"_s);
    QVERIFY(writeReportPdf(*document, whole, [&](int done, int total) {
        told.append({done, total});
        return true;
    }));
    QCOMPARE(told.size(), 8);
    QCOMPARE(told.front(), qMakePair(0, 8));
    QCOMPARE(told.back(), qMakePair(7, 8));
    QVERIFY(QFile::exists(whole));

    // Stopped on the fourth page: no half-written file is left behind.
    const QString stopped = dir.filePath(u"parado.pdf"_s);
    QVERIFY(!writeReportPdf(*document, stopped, [](int done, int) { return done < 3; }));
    QVERIFY(!QFile::exists(stopped));

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(u"impresso.pdf"_s));
    printer.setFromTo(2, 5);
    told.clear();
    QVERIFY(!printReport(*document, printer, [&](int done, int total) {
        told.append({done, total});
        return done < 2;
    }));
    QCOMPARE(told, (QList<QPair<int, int>>{{0, 4}, {1, 4}, {2, 4}}));
    QVERIFY(!QFile::exists(dir.filePath(u"impresso.pdf"_s)));
}

void TestReportPreview::longValuesPrintWholeLinesOnly_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QString>("element");
    QTest::addColumn<QString>("next"); // the element on the line below
    QTest::addColumn<int>("length");

    QTest::newRow("software description, 255 characters")
        << u"software"_s << u"QRDBText3"_s << u"QRLabel5"_s << 255;
    QTest::newRow("software description, 130 characters")
        << u"software"_s << u"QRDBText3"_s << u"QRLabel5"_s << 130;
    QTest::newRow("media remarks, 120 characters")
        << u"media"_s << u"QRDBText4"_s << u"QRLabel6"_s << 120;
}

void TestReportPreview::longValuesPrintWholeLinesOnly()
{
    QFETCH(QString, layout);
    QFETCH(QString, element);
    QFETCH(QString, next);
    QFETCH(int, length);

    // Accents and ascenders on every word, so a cut line would leave marks.
    const QString value =
        u"Ábaco Édito Íntegro Ótica Último "_s.repeated(10).left(length - 3) + u"FIM"_s;
    std::shared_ptr<MemoryDataSet> data;
    std::unique_ptr<TQuickRep> report;
    if (layout == u"media"_s) {
        data = std::make_shared<MemoryDataSet>(
            QStringList{u"codigo"_s, u"titulo"_s, u"obs"_s, u"tipo"_s, u"local"_s},
            QList<QStringList>{{u"1"_s, u"Mídia"_s, value, u"CD"_s, u"Gaveta"_s}});
        report = mediaReport(data);
    } else {
        data = std::make_shared<MemoryDataSet>(
            QStringList{u"numero"_s, u"nome"_s, u"descricao"_s, u"codigo"_s, u"titulo"_s,
                        u"nome_categoria"_s},
            QList<QStringList>{{u"1"_s, u"Título"_s, value, u"1"_s, u"Mídia"_s, u"Jogo"_s}});
        report = loadReportLayout(u":/reports/software_report.json"_s);
        report->DataSet = data;
    }
    const auto document = layoutReport(*report);
    const ReportPage page = document->page(0);
    const PageText &text = *textsOf(page, element).at(0);
    const PageText &below = *textsOf(page, next).at(0);
    QVERIFY(text.wordWrap);

    // Whole lines only, the last one cut with "…", and the block keeps its height: cut when
    // the page is made, so the page holds just the lines that print.
    const double lineHeight = reportFontMetrics(text.font).height() / reportUnitsPerMm;
    const QStringList lines = text.text.split(u'\n');
    QCOMPARE(lines.size(), int(text.rect.height() / lineHeight));
    QVERIFY(!text.text.contains(u"FIM"_s));
    QVERIFY(lines.back().endsWith(u'…'));
    QVERIFY(value.startsWith(lines.join(u' ').chopped(1)));

    if (const QString keep = qEnvironmentVariable("QUIVEL_REPORT_PDF"); !keep.isEmpty())
        writeReportPdf(*document, keep + u'-' + layout + QString::number(length) + u".pdf"_s);

    const int width = 2100;
    const double px = width / document->pageSize.width();
    const QImage image = renderReportPage(*document, 0, width);
    const auto inkIn = [&](double top, double bottom, double left) {
        for (int y = int(top * px) + 1; y < int(bottom * px); ++y) {
            for (int x = int(left * px); x < image.width(); ++x) {
                if (qGray(image.pixel(x, y)) < 200)
                    return true;
            }
        }
        return false;
    };
    const double lastLineBottom = text.rect.top() + lines.size() * lineHeight;
    QVERIFY(inkIn(text.rect.top(), lastLineBottom, text.rect.left()));
    QVERIFY2(!inkIn(lastLineBottom + 0.1, below.rect.top() - 0.1, text.rect.left()),
             "ink under the value's last whole line");

    // The preview's search finds what prints, and nothing the cut hid.
    ReportPreviewWindow window{QString()};
    window.setDocument(std::make_shared<ReportDocument>(*document));
    QCOMPARE(window.searchText(lines.front()), 1);
    QCOMPARE(window.searchText(u"FIM"_s), 0);
}

void TestReportPreview::windowMatchesTheStandardPreview()
{
    ReportPreviewWindow window{QString()};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(window.windowTitle(), u"Visualizar relatório"_s);
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
    QCOMPARE(tips,
             (QStringList{u"Ajustar à página"_s, u"Ajustar à largura"_s, u"Tamanho real (100%)"_s,
                          u"Primeira página"_s, u"Página anterior"_s, u"Próxima página"_s,
                          u"Última página"_s, u"Ir para a página"_s, u"Procurar texto"_s,
                          u"Configurar impressora"_s, u"Imprimir"_s, u"Salvar relatório"_s,
                          u"Abrir relatório"_s}));
    QPushButton *close = window.findChild<QPushButton *>();
    QVERIFY(close);
    QCOMPARE(close->text(), u"&Fechar"_s);
    auto *tabs = window.findChild<QTabWidget *>();
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->tabText(0), u"Miniaturas"_s);
    QCOMPARE(tabs->tabText(1), u"Resultados da busca"_s);
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

// Every name and hint a screen reader can reach, from the window down.
void collectAccessibleTexts(QAccessibleInterface *node, QStringList &texts, int depth = 0)
{
    if (!node || depth > 12)
        return;
    for (QAccessible::Text kind : {QAccessible::Name, QAccessible::Description}) {
        const QString text = node->text(kind);
        if (!text.isEmpty())
            texts << text;
    }
    for (int i = 0; i < node->childCount(); ++i)
        collectAccessibleTexts(node->child(i), texts, depth + 1);
}

void TestReportPreview::screenReaderHearsPortuguese()
{
    ReportPreviewWindow window{u"Mídias"_s};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QStringList texts;
    collectAccessibleTexts(QAccessible::queryAccessibleInterface(&window), texts);
    for (const QString &expected :
         {u"Visualizar relatório: Mídias"_s, u"Miniaturas"_s, u"Resultados da busca"_s, u"Fechar"_s,
          u"Ajustar à página"_s, u"Salvar relatório"_s, u"Imprimir"_s, u"Ir para a página"_s,
          u"Procurar texto"_s})
        QVERIFY2(texts.contains(expected), qPrintable(expected + u" in "_s + texts.join(u'|')));
    // The foreign component's words are gone from everything a screen reader reaches.
    static const QRegularExpression english(
        u"\\b(Report|Preview|Zoom|Close|ThumbNails|Search|Results|Page|Print|Save|Load)\\b"_s);
    for (const QString &text : std::as_const(texts))
        QVERIFY2(!english.match(text).hasMatch(), qPrintable(text));
}

void TestReportPreview::promptsSpeakPortuguese_data()
{
    QTest::addColumn<QString>("tip");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("label");
    QTest::newRow("page") << u"Ir para a página"_s << u"Ir para a página"_s << u"Página:"_s;
    QTest::newRow("search") << u"Procurar texto"_s << u"Procurar texto"_s << u"Texto:"_s;
}

// The prompts behind the tool bar, buttons included, whatever Qt's own translations say.
void TestReportPreview::promptsSpeakPortuguese()
{
    QFETCH(QString, tip);
    QFETCH(QString, caption);
    QFETCH(QString, label);
    ReportPreviewWindow window{QString()};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QAction *action = nullptr;
    for (QAction *a : window.findChild<QToolBar *>()->actions()) {
        if (a->toolTip() == tip)
            action = a;
    }
    QVERIFY(action);
    QString seenCaption;
    QStringList seenTexts;
    QTimer::singleShot(0, &window, [&] {
        auto *ask = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
        if (!ask)
            return;
        seenCaption = ask->windowTitle();
        for (const QLabel *l : ask->findChildren<QLabel *>())
            seenTexts << l->text();
        for (const QPushButton *b : ask->findChildren<QPushButton *>())
            seenTexts << b->text();
        ask->reject();
    });
    action->trigger();
    QCOMPARE(seenCaption, caption);
    QVERIFY2(seenTexts.contains(label), qPrintable(seenTexts.join(u'|')));
    QVERIFY2(seenTexts.contains(u"OK"_s), qPrintable(seenTexts.join(u'|')));
    QVERIFY2(seenTexts.contains(u"Cancelar"_s), qPrintable(seenTexts.join(u'|')));
}

// The report's save dialog, answered by `answer` once it is up; returns where it started and
// the type it offered.
struct SaveDialogSeen
{
    QString folder;
    QString type;
};

SaveDialogSeen askSaveAndAnswer(ReportPreviewWindow &window,
                                const std::function<void(QFileDialog &)> &answer)
{
    QAction *save = nullptr;
    for (QAction *a : window.findChild<QToolBar *>()->actions()) {
        if (a->toolTip() == u"Salvar relatório"_s)
            save = a;
    }
    SaveDialogSeen seen;
    if (!save)
        return seen;
    QTimer::singleShot(0, &window, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        seen.folder = dialog->directory().absolutePath();
        seen.type = dialog->selectedNameFilter();
        answer(*dialog);
    });
    save->trigger();
    return seen;
}

void TestReportPreview::saveDialogStartsInDocumentsAndRemembers()
{
    QSettings(u"quivel"_s, u"quivel"_s).clear();
    auto data = mediaDataSet(10);
    auto report = mediaReport(data);
    report->ReportTitle = u"Mídias da estante"_s;
    ReportPreviewWindow window{report->ReportTitle};
    window.startRun(*report);
    window.finishRun();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString expected = QFileInfo(documents).isDir() ? documents : QDir::homePath();
    QTemporaryDir elsewhere;
    const SaveDialogSeen first = askSaveAndAnswer(window, [&](QFileDialog &dialog) {
        dialog.selectNameFilter(u"PDF (*.pdf)"_s);
        dialog.selectFile(elsewhere.filePath(u"estante"_s));
        QMetaObject::invokeMethod(&dialog, "accept");
    });
    QCOMPARE(first.folder, QDir(expected).absolutePath());
    QCOMPARE(first.type, u"Relatório do Quivel (*.qvr)"_s);
    const QString pdf = elsewhere.filePath(u"estante.pdf"_s);
    QVERIFY(QFileInfo::exists(pdf));

    // Title and date in the PDF's own description.
    QProcess info;
    info.start(u"pdfinfo"_s, {u"-isodates"_s, pdf});
    QVERIFY(info.waitForFinished(30000));
    const QString described = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(
        QRegularExpression(u"^Title: +Mídias da estante$"_s, QRegularExpression::MultilineOption)
            .match(described)
            .hasMatch(),
        qPrintable(described));
    QVERIFY2(QRegularExpression(u"^CreationDate: +%1T"_s.arg(
                                    QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate)),
                                QRegularExpression::MultilineOption)
                     .match(described)
                     .hasMatch() ||
                 QRegularExpression(
                     u"^CreationDate: +%1T"_s.arg(QDate::currentDate().toString(Qt::ISODate)),
                     QRegularExpression::MultilineOption)
                     .match(described)
                     .hasMatch(),
             qPrintable(described));

    // The next save starts where the last one went, as the same type.
    const SaveDialogSeen second =
        askSaveAndAnswer(window, [](QFileDialog &dialog) { dialog.reject(); });
    QCOMPARE(second.folder, QDir(elsewhere.path()).absolutePath());
    QCOMPARE(second.type, u"PDF (*.pdf)"_s);
}

void TestReportPreview::pageSetupStartsOnTheReportsPaperAndKeepsAChoice()
{
    auto data = mediaDataSet(10);
    auto report = mediaReport(data);
    ReportPreviewWindow window{QString()};
    window.startRun(*report);
    window.finishRun();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QAction *setup = nullptr;
    for (QAction *a : window.findChild<QToolBar *>()->actions()) {
        if (a->toolTip() == u"Configurar impressora"_s)
            setup = a;
    }
    QVERIFY(setup);
    // Opens the page setup, notes the paper it shows, and lets `choose` change it.
    const auto paperShown = [&](const std::function<void(QPrinter &)> &choose) {
        QPageLayout seen;
        QTimer::singleShot(0, &window, [&] {
            auto *dialog = qobject_cast<QPageSetupDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seen = dialog->printer()->pageLayout();
            choose(*dialog->printer());
            dialog->reject();
        });
        setup->trigger();
        return seen;
    };
    const QPageLayout first = paperShown([](QPrinter &printer) {
        printer.setPageSize(QPageSize(QPageSize::Letter));
        printer.setPageOrientation(QPageLayout::Landscape);
    });
    QCOMPARE(first.pageSize().id(), QPageSize::A4);
    QCOMPARE(first.orientation(), QPageLayout::Portrait);
    const QPageLayout second = paperShown([](QPrinter &) {});
    QCOMPARE(second.pageSize().id(), QPageSize::Letter);
    QCOMPARE(second.orientation(), QPageLayout::Landscape);
}

void TestReportPreview::previewReturnsOnlyWhenClosed()
{
    auto data = mediaDataSet(30);
    auto report = mediaReport(data);
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
    auto first = mediaReport(media);
    auto second = mediaReport(media);
    second->ReportTitle = u"segundo"_s;
    QStringList order;
    whenPreviewReady(1, [&](ReportPreviewWindow *outer) {
        whenPreviewReady(2, [&, outer](ReportPreviewWindow *inner) {
            QCOMPARE(inner->windowTitle(), u"Visualizar relatório: segundo"_s);
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

// While records still arrive the total is unknown: the status counts what is laid out and
// says the data is still being read, never "n de total" with a total that would grow.
void TestReportPreview::statusTellsNoTotalWhileRecordsArrive()
{
    const auto all = mediaDataSet(4000);
    auto report = mediaReport(std::make_shared<ArrivingDataSet>(*all, 1), false);
    ReportPreviewWindow window{QString()};
    const auto status = [&window] {
        QStringList texts;
        for (const QLabel *label : window.statusBar()->findChildren<QLabel *>())
            texts.append(label->text());
        return texts.join(u'|');
    };
    window.startRun(*report);
    QTRY_VERIFY(window.pageCount() > 0);
    if (!window.running())
        QSKIP("the whole report was laid out in its first slice");
    QVERIFY2(
        status().contains(QRegularExpression(u"^Gerando relatório: \\d+ registros até aqui…\\|"_s)),
        qPrintable(status()));
    QVERIFY(window.finishRun());
    QVERIFY2(status().startsWith(u"Relatório pronto: 1000 página(s)|"_s), qPrintable(status()));
}

void TestReportPreview::searchFindsTextsAsPrinted_data()
{
    QTest::addColumn<bool>("wrap");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("hits");
    for (const bool wrap : {false, true}) {
        const char *mode = wrap ? "wrapped" : "one line";
        QTest::addRow("%s, before the cut", mode) << wrap << u"BETA"_s << 2;
        QTest::addRow("%s, only past the cut", mode) << wrap << u"zeta"_s << 0;
        QTest::addRow("%s, the cut's mark", mode) << wrap << u"…"_s << 2;
        QTest::addRow("%s, across a space", mode) << wrap << u"alfa beta"_s << 2;
        QTest::addRow("%s, a caption", mode) << wrap << u"obs"_s << 2;
        QTest::addRow("%s, nowhere", mode) << wrap << u"ômega"_s << 0;
    }
}

void TestReportPreview::searchFindsTextsAsPrinted()
{
    // A value too wide for its box prints cut with "…", on one line or wrapped on two: the
    // search finds what the page shows, not what the dataset holds, and so does a saved file.
    QFETCH(bool, wrap);
    QFETCH(QString, text);
    QFETCH(int, hits);
    const QString tail = u" eta teta iota kapa lambda mi ni csi ómicron pi ro sigma tau zeta"_s;
    const auto data = std::make_shared<MemoryDataSet>(QStringList{u"obs"_s});
    data->append({u"alfa beta gama delta epsilon"_s + tail});
    data->append({u"Alfa Beta Gama Delta Epsilon"_s + tail.toUpper()});
    TQuickRep report;
    report.DataSet = data;
    TQRBand &detail = report.addBand(u"Detail"_s, rbDetail, 10);
    auto &caption = detail.add<TQRLabel>(u"caption"_s);
    caption.Caption = u"Obs.:"_s;
    auto &value = detail.add<TQRDBText>(u"value"_s);
    value.DataField = u"obs"_s;
    value.Left = 20;
    value.Width = 25;
    value.Height = 10;
    value.AutoSize = false;
    value.WordWrap = wrap;
    const auto document = layoutReport(report);
    const PageText &printed = *textsOf(document->page(0), u"value"_s).at(0);
    QVERIFY(!printed.text.contains(u"zeta"_s));
    QCOMPARE(printed.text.count(u'\n'), wrap ? 1 : 0);

    ReportPreviewWindow window{QString()};
    window.setDocument(document);
    QCOMPARE(window.searchText(text), hits);

    QTemporaryDir dir;
    const QString path = dir.filePath(u"obs.qvr"_s);
    window.saveTo(path);
    ReportPreviewWindow saved{QString()};
    saved.loadFrom(path);
    QCOMPARE(saved.searchText(text), hits);
}

// Showing a hit shows the page the search made for it, and a hit on the page shown makes
// nothing again.
void TestReportPreview::aSearchHitMakesItsPageOnce()
{
    const auto document = layoutReport(*mediaReport(mediaDataSet(10)));
    auto counted = std::make_shared<ReportDocument>();
    counted->pageSize = document->pageSize;
    const auto maker = std::make_shared<CountingPageMaker>(document);
    counted->setPageMaker(maker);
    ReportPreviewWindow window{QString()};
    window.setDocument(counted);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.grab();
    maker->made.clear();

    // "BLURAY" is the kind of media 2 and 7, on the first two pages; the third is not made.
    QCOMPARE(window.searchText(u"BLURAY"_s), 2);
    QCOMPARE(window.currentPage(), 0);
    window.grab();
    QCOMPARE(maker->made, (QList<int>{0, 1}));

    window.showSearchResult(1);
    QCOMPARE(window.currentPage(), 1);
    window.grab();
    QCOMPARE(maker->made, (QList<int>{0, 1, 1}));
    window.showSearchResult(1);
    window.grab();
    QCOMPARE(maker->made, (QList<int>{0, 1, 1}));
}

void TestReportPreview::searchSaveAndLoadInTheWindow()
{
    auto data = mediaDataSet(10);
    auto report = mediaReport(data);
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

// One thumbnail a page, its picture above its number, one under the other; a click shows the
// page.
void TestReportPreview::thumbnailsShowEachPageAboveItsNumber()
{
    auto data = mediaDataSet(10);
    auto report = mediaReport(data);
    ReportPreviewWindow window{QString()};
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.startRun(*report);
    window.finishRun();
    QCOMPARE(window.pageCount(), 3);
    auto *thumbnails = qobject_cast<QListView *>(window.findChild<QTabWidget *>()->widget(0));
    QVERIFY(thumbnails);
    QCOMPARE(thumbnails->model()->rowCount(), 3);

    QRect previous;
    for (int page = 0; page < 3; ++page) {
        const QModelIndex index = thumbnails->model()->index(page, 0);
        QCOMPARE(index.data().toString(), QString::number(page + 1));
        const QRect item = thumbnails->visualRect(index);
        if (page > 0)
            QVERIFY(item.top() > previous.bottom());
        previous = item;
        // Tall enough for the picture and a line under it: the number is not beside it.
        QVERIFY2(item.height() >=
                     thumbnails->iconSize().height() + thumbnails->fontMetrics().height(),
                 qPrintable(QString::number(item.height())));
    }
    const QModelIndex last = thumbnails->model()->index(2, 0);
    thumbnails->scrollTo(last);
    QTest::mouseClick(thumbnails->viewport(), Qt::LeftButton, {},
                      thumbnails->visualRect(last).center());
    QCOMPARE(window.currentPage(), 2);
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
    const auto data = std::make_shared<FailingDataSet>(
        QStringList{u"codigo"_s, u"titulo"_s, u"obs"_s, u"tipo"_s, u"local"_s});
    for (int i = 0; i < 200; ++i)
        data->append({QString::number(i), u"m"_s, u"o"_s, u"CD"_s, u"l"_s});
    auto report = mediaReport(data);
    QVERIFY_THROWS_EXCEPTION(ReportError, Preview(*report));
    QVERIFY(openPreviews().isEmpty());
}

void TestReportPreview::previewReturnsWhenTheApplicationQuits()
{
    auto data = mediaDataSet(3);
    auto report = mediaReport(data);
    whenPreviewReady(1, [](ReportPreviewWindow *) { QCoreApplication::exit(0); });
    Preview(*report);
    QVERIFY(openPreviews().isEmpty());
}

QTEST_MAIN(TestReportPreview)
#include "tst_report_preview.moc"
