// SPDX-License-Identifier: GPL-3.0-or-later
#include "report_fixtures.h"

#include "reports/engine/picture_loader.h"
#include "reports/engine/report_error.h"
#include "reports/engine/report_layouter.h"
#include "reports/engine/text_metrics.h"

#include <QFontInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr double eps = 0.005;

// Page header, title and column header of the media report stack up from the top margin.
constexpr double firstDetailTop = 10.0 + 15.61 + 10.58 + 10.58;
constexpr double detailHeight = 52.92;

bool near(double a, double b)
{
    return std::abs(a - b) < eps;
}

} // namespace

class TestReportLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mediaElementsSitAtTheirBandOffsets_data();
    void mediaElementsSitAtTheirBandOffsets();
    void mediaSummaryRuleAndCount();
    void emptyDatasetPrintsOneBlankDetailAndZero_data();
    void emptyDatasetPrintsOneBlankDetailAndZero();
    void pagination();
    void headerAndFooterOptions_data();
    void headerAndFooterOptions();
    void summaryThatDoesNotFitMovesToANewPage();
    void autoSizeFollowsTextAndClipsAtRightMargin();
    void aShapedLineMeasuresAsTheMetrics_data();
    void aShapedLineMeasuresAsTheMetrics();
    void aPageToPaintIsThePageWithItsLinesShaped();
    void logoIsReadThroughTheDecoderAndMissingLogoDrawsNothing();
    void missingFieldIsRefused();
    void layoutsThatAreNotValidAreRefused_data();
    void layoutsThatAreNotValidAreRefused();
    void layoutIsIncremental();
    void recordsStillArrivingLayOutAsIfAllWereThere_data();
    void recordsStillArrivingLayOutAsIfAllWereThere();
    void aLateFirstRecordHoldsNoCallLong_data();
    void aLateFirstRecordHoldsNoCallLong();
    void pagesOutliveTheirReport();
};

void TestReportLayout::mediaElementsSitAtTheirBandOffsets_data()
{
    QTest::addColumn<QString>("element");
    QTest::addColumn<int>("detail"); // -1: not in the detail band
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("top");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<double>("pixelHeight"); // the character height at 96 dpi

    const double title = 10.0 + 15.61;
    QTest::newRow("title") << u"QRLabel1"_s << -1 << 10 + 65.62 << title + 2.38
                           << u"Mídias cadastradas"_s << true << 21.0;
    QTest::newRow("code caption") << u"QRLabel2"_s << 0 << 10 + 6.35 << 8.47 << u"Código da Mídia"_s
                                  << false << 13.0;
    QTest::newRow("code value") << u"QRDBText1"_s << 0 << 10 + 42.33 << 8.47 << u"1"_s << false
                                << 13.0;
    QTest::newRow("name caption") << u"QRLabel3"_s << 1 << 10 + 6.35 << 16.93 << u"Nome da Mídia"_s
                                  << true << 13.0;
    QTest::newRow("name value") << u"QRDBText2"_s << 1 << 10 + 42.33 << 16.93 << u"Mídia 2"_s
                                << true << 13.0;
    QTest::newRow("kind value") << u"QRDBText3"_s << 2 << 10 + 42.33 << 25.40 << u"PENDRIVE"_s
                                << false << 13.0;
    QTest::newRow("remarks caption")
        << u"QRLabel5"_s << 0 << 10 + 6.35 << 33.87 << u"Observações"_s << false << 13.0;
    QTest::newRow("remarks value")
        << u"QRDBText4"_s << 0 << 10 + 42.33 << 33.87 << u"Backup de ação nº 1"_s << false << 13.0;
    QTest::newRow("location caption")
        << u"QRLabel6"_s << 2 << 10 + 6.35 << 42.33 << u"Local atual da mídia:"_s << false << 13.0;
    QTest::newRow("location value")
        << u"QRDBText5"_s << 2 << 10 + 42.33 << 42.33 << u"Gaveta 3"_s << false << 13.0;
}

void TestReportLayout::mediaElementsSitAtTheirBandOffsets()
{
    QFETCH(QString, element);
    QFETCH(int, detail);
    QFETCH(double, left);
    QFETCH(double, top);
    QFETCH(QString, text);
    QFETCH(bool, bold);
    QFETCH(double, pixelHeight);

    auto data = mediaDataSet(3);
    auto report = mediaReport(data);
    const auto document = layoutReport(*report);
    QCOMPARE(document->pageCount(), 1);
    const ReportPage page = document->page(0);
    const auto found = textsOf(page, element);
    QCOMPARE(found.size(), detail < 0 ? 1u : 3u);
    const PageText &t = *found[std::max(detail, 0)];
    const double expectedTop = detail < 0 ? top : firstDetailTop + detail * detailHeight + top;
    QVERIFY2(near(t.rect.left(), left), qPrintable(QString::number(t.rect.left())));
    QVERIFY2(near(t.rect.top(), expectedTop), qPrintable(QString::number(t.rect.top())));
    QCOMPARE(t.text, text);
    QCOMPARE(t.font.bold(), bold);
    QCOMPARE(t.font.pointSizeF() * 96 / 72, pixelHeight);
    QCOMPARE(QFontInfo(t.font).family(), QStringLiteral("Liberation Sans"));
}

void TestReportLayout::mediaSummaryRuleAndCount()
{
    auto data = mediaDataSet(3);
    auto report = mediaReport(data);
    const auto document = layoutReport(*report);
    const ReportPage page = document->page(0);
    const double summaryTop = firstDetailTop + 3 * detailHeight;

    QCOMPARE(page.lines.size(), 1u);
    const QLineF rule = page.lines[0].line;
    QVERIFY(near(rule.y1(), summaryTop + 3.18) && near(rule.y2(), summaryTop + 3.18));
    QVERIFY(near(rule.x1(), 10 + 6.35) && near(rule.x2(), 10 + 6.35 + 175.95));
    QVERIFY(page.lines[0].width > 0 && page.lines[0].width < 0.3);

    const auto count = textsOf(page, QStringLiteral("QRSysData1"));
    QCOMPARE(count.size(), 1u);
    QCOMPARE(count[0]->text, QStringLiteral("3"));
    QVERIFY(near(count[0]->rect.top(), summaryTop + 4.50));
    QVERIFY(near(count[0]->rect.left(), 10 + 42.33));
    QCOMPARE(textsOf(page, QStringLiteral("QRLabel7")).at(0)->text,
             QStringLiteral("Total de Mídias:"));

    QCOMPARE(page.pictures.size(), 1u);
    QVERIFY(near(page.pictures[0].rect.left(), 10) && near(page.pictures[0].rect.top(), 10));
    QVERIFY(near(page.pictures[0].rect.width(), 52.92));
    QVERIFY(std::abs(page.pictures[0].rect.height() - 15.88) < 0.01);
}

void TestReportLayout::emptyDatasetPrintsOneBlankDetailAndZero_data()
{
    QTest::addColumn<QString>("layout");
    QTest::addColumn<QStringList>("fields");
    QTest::addColumn<QString>("captionElement");
    QTest::addColumn<QString>("totalCaption");

    QTest::newRow("media") << u":/reports/media_report.json"_s
                           << QStringList{u"codigo"_s, u"titulo"_s, u"obs"_s, u"tipo"_s, u"local"_s}
                           << u"QRLabel6"_s << u"Total de Mídias:"_s;
    QTest::newRow("software") << u":/reports/software_report.json"_s
                              << QStringList{u"numero"_s, u"nome"_s,   u"descricao"_s,
                                             u"codigo"_s, u"titulo"_s, u"nome_categoria"_s}
                              << u"QRLabel5"_s << u"Total de softwares encontrados:"_s;
}

void TestReportLayout::emptyDatasetPrintsOneBlankDetailAndZero()
{
    QFETCH(QString, layout);
    QFETCH(QStringList, fields);
    QFETCH(QString, captionElement);
    QFETCH(QString, totalCaption);

    const auto empty = std::make_shared<MemoryDataSet>(fields);
    registerReportLayouts();
    auto report = loadReportLayout(layout);
    report->DataSet = empty;
    const auto document = layoutReport(*report);
    QCOMPARE(document->pageCount(), 1);
    const ReportPage page = document->page(0);

    QCOMPARE(textsOf(page, captionElement).size(), 1u);
    int values = 0;
    for (const PageText &text : page.texts) {
        if (text.element.startsWith(QLatin1String("QRDBText"))) {
            QVERIFY2(text.text.isEmpty(), qPrintable(text.element));
            ++values;
        }
    }
    // Every field but the software report's medium code has a blank value place.
    QCOMPARE(values, fields.contains(QLatin1String("obs")) ? 5 : int(fields.size()) - 1);
    QCOMPARE(textsOf(page, QStringLiteral("QRSysData1")).at(0)->text, QStringLiteral("0"));
    bool totalShown = false;
    for (const PageText &text : page.texts)
        totalShown = totalShown || text.text == totalCaption;
    QVERIFY(totalShown);
    QCOMPARE(textsOf(page, QStringLiteral("QRLabel1")).size(), 1u);

    report->PrintIfEmpty = false;
    QCOMPARE(layoutReport(*report)->pageCount(), 0);
}

void TestReportLayout::pagination()
{
    // Four media blocks fit under the headers of a page; the fifth and the total go on.
    auto data = mediaDataSet(9);
    auto report = mediaReport(data);
    const auto document = layoutReport(*report);
    QCOMPARE(document->pageCount(), 3);

    const int perPage[] = {4, 4, 1};
    int record = 1;
    for (int p = 0; p < 3; ++p) {
        const ReportPage page = document->page(p);
        QCOMPARE(picturesOf(page, QStringLiteral("QRImage1")), 1);
        QCOMPARE(textsOf(page, QStringLiteral("QRLabel1")).size(), p == 0 ? 1u : 0u);
        const auto codes = textsOf(page, QStringLiteral("QRDBText1"));
        QCOMPARE(int(codes.size()), perPage[p]);
        // Without the title, details start right under the column header.
        const double top = p == 0 ? firstDetailTop : 10.0 + 15.61 + 10.58;
        for (int i = 0; i < int(codes.size()); ++i) {
            QCOMPARE(codes[i]->text, QString::number(record++));
            QVERIFY(near(codes[i]->rect.top(), top + i * detailHeight + 8.47));
            QVERIFY(codes[i]->rect.top() + detailHeight - 8.47 <= 297 - 10 - 10.58 + eps);
        }
        QCOMPARE(textsOf(page, QStringLiteral("QRSysData1")).size(), p == 2 ? 1u : 0u);
    }
    QCOMPARE(textsOf(document->page(2), QStringLiteral("QRSysData1")).at(0)->text,
             QStringLiteral("9"));
}

namespace {

// A short page with a labelled header and footer, to watch where they print.
std::unique_ptr<TQuickRep> framedReport(std::shared_ptr<const ReportDataSet> data,
                                        TQuickRepOptions options)
{
    auto report = std::make_unique<TQuickRep>();
    report->DataSet = std::move(data);
    report->Options = options;
    report->Page.Length = 100;
    const auto addLabel = [](TQRBand &band, const QString &name, const QString &caption) {
        auto &label = band.add<TQRLabel>(name);
        label.Caption = caption;
        label.Width = 20;
        label.Height = 4;
    };
    addLabel(report->addBand(QStringLiteral("Header"), rbPageHeader, 10), QStringLiteral("head"),
             QStringLiteral("Cabeçalho"));
    addLabel(report->addBand(QStringLiteral("Footer"), rbPageFooter, 10), QStringLiteral("foot"),
             QStringLiteral("Rodapé"));
    auto &detail = report->addBand(QStringLiteral("Detail"), rbDetail, 30);
    auto &value = detail.add<TQRDBText>(QStringLiteral("value"));
    value.DataField = QStringLiteral("codigo");
    value.Height = 4;
    return report;
}

} // namespace

void TestReportLayout::headerAndFooterOptions_data()
{
    QTest::addColumn<int>("options");
    QTest::addColumn<bool>("headerOnFirst");
    QTest::addColumn<bool>("footerOnLast");

    QTest::newRow("neither") << 0 << false << false;
    QTest::newRow("first page header") << int(FirstPageHeader) << true << false;
    QTest::newRow("last page footer") << int(LastPageFooter) << false << true;
    QTest::newRow("both") << int(FirstPageHeader | LastPageFooter) << true << true;
}

void TestReportLayout::headerAndFooterOptions()
{
    QFETCH(int, options);
    QFETCH(bool, headerOnFirst);
    QFETCH(bool, footerOnLast);

    // 80 mm printable, less a 10 mm footer: without a header two 30 mm details fit, with one two.
    auto data = mediaDataSet(5);
    auto report = framedReport(data, TQuickRepOptions(options));
    const auto document = layoutReport(*report);
    QCOMPARE(document->pageCount(), 3);
    for (int p = 0; p < 3; ++p) {
        const ReportPage page = document->page(p);
        const auto heads = textsOf(page, QStringLiteral("head"));
        const auto feet = textsOf(page, QStringLiteral("foot"));
        QCOMPARE(heads.size(), (p > 0 || headerOnFirst) ? 1u : 0u);
        QCOMPARE(feet.size(), (p < 2 || footerOnLast) ? 1u : 0u);
        if (!heads.empty())
            QVERIFY(near(heads[0]->rect.top(), 10));
        if (!feet.empty())
            QVERIFY(near(feet[0]->rect.top(), 100 - 10 - 10));
        for (const PageText *value : textsOf(page, QStringLiteral("value")))
            QVERIFY(value->rect.top() + 30 <= 80 + eps);
    }
}

void TestReportLayout::summaryThatDoesNotFitMovesToANewPage()
{
    // Four media blocks end 18 mm above the footer; a summary taller than that moves on.
    auto data = mediaDataSet(4);
    auto report = mediaReport(data);
    QCOMPARE(layoutReport(*report)->pageCount(), 1);
    report->band(rbSummary)->Height = 25;
    const auto document = layoutReport(*report);
    QCOMPARE(document->pageCount(), 2);
    const ReportPage second = document->page(1);
    QCOMPARE(textsOf(second, QStringLiteral("QRDBText1")).size(), 0u);
    const auto count = textsOf(second, QStringLiteral("QRSysData1"));
    QCOMPARE(count.size(), 1u);
    QVERIFY(near(count[0]->rect.top(), 10.0 + 15.61 + 10.58 + 4.50));
    QCOMPARE(picturesOf(second, QStringLiteral("QRImage1")), 1);
}

void TestReportLayout::autoSizeFollowsTextAndClipsAtRightMargin()
{
    const auto data = std::make_shared<MemoryDataSet>(
        QStringList{QStringLiteral("codigo"), QStringLiteral("titulo"), QStringLiteral("obs"),
                    QStringLiteral("tipo"), QStringLiteral("local")});
    const QString longRemarks = QStringLiteral("Observação muito longa ").repeated(20);
    data->append(
        {QStringLiteral("1"), QStringLiteral("A"), longRemarks, QStringLiteral("CD"), QString()});
    data->append({QStringLiteral("2"), QStringLiteral("A much longer medium name"),
                  QStringLiteral("curta"), QStringLiteral("DVD"), QString()});
    auto report = mediaReport(data);
    const auto document = layoutReport(*report);
    const ReportPage page = document->page(0);

    const auto names = textsOf(page, QStringLiteral("QRDBText2"));
    QVERIFY(near(names[0]->rect.left(), names[1]->rect.left()));
    QVERIFY(names[0]->rect.width() < 8.73);
    QVERIFY(names[1]->rect.width() > 8.73);
    QVERIFY(!names[1]->wordWrap);

    const auto remarks = textsOf(page, QStringLiteral("QRDBText4"));
    const PageText &clipped = *remarks[0];
    QVERIFY(near(clipped.rect.right(), 200.0));
    QVERIFY(near(clipped.rect.height(), 4.50));
    QVERIFY(clipped.wordWrap);
    // Cut when the page is made: the one line that fits, ending in "…".
    QVERIFY(!clipped.text.contains(u'\n'));
    QVERIFY(clipped.text.endsWith(QChar(0x2026)));
    QVERIFY(clipped.text.size() < longRemarks.size() / 2);
    QVERIFY(longRemarks.startsWith(clipped.text.chopped(1)));
    for (const PageText &text : page.texts)
        QVERIFY2(text.rect.right() <= 200.0 + 1e-9, qPrintable(text.element));
}

void TestReportLayout::aShapedLineMeasuresAsTheMetrics_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<bool>("shaped"); // false: left to be measured and painted as text

    QTest::newRow("accents") << u"Observação nº 1 — ação"_s << false << true;
    QTest::newRow("kerning pairs") << u"AVATAR Tý WAVE LT"_s << true << true;
    QTest::newRow("ligature candidates") << u"office ﬁle ffl fi"_s << false << true;
    QTest::newRow("spaces at both ends") << u"  Mídia 7  "_s << false << true;
    QTest::newRow("one space") << u" "_s << false << true;
    QTest::newRow("empty") << QString() << false << true;
    QTest::newRow("fallback font") << u"Mídia 日本語"_s << false << true;
    QTest::newRow("right to left") << u"CD שלום 123"_s << true << true;
    QTest::newRow("combining marks") << u"e\u0301 a\u0303"_s << false << true;
    QTest::newRow("tab") << u"Gaveta\t3"_s << false << false;
    QTest::newRow("line break") << u"Gaveta\n3"_s << false << false;
    QTest::newRow("line separator") << u"Gaveta\u20283"_s << false << false;
    QTest::newRow("string separator") << u"Gaveta\u009c3"_s << false << false;
}

// Widths decide where a page's texts go and whether they are cut: measuring by shaping must
// give what the metrics give, to the last fraction.
void TestReportLayout::aShapedLineMeasuresAsTheMetrics()
{
    QFETCH(QString, text);
    QFETCH(bool, bold);
    QFETCH(bool, shaped);
    QFont font(u"Arial"_s);
    font.setPointSizeF(9.75);
    font.setBold(bold);
    font = reportFont(font);
    const auto line = shapeLine(measuringFont(font), text);
    QCOMPARE(line.has_value(), shaped);
    if (!shaped)
        return;
    QVERIFY(line->layout);
    const double expected = reportFontMetrics(font).horizontalAdvance(text);
    QVERIFY2(
        line->advance == expected,
        qPrintable(u"%1 against %2"_s.arg(line->advance, 0, 'g', 17).arg(expected, 0, 'g', 17)));

    QFont underlined = font;
    underlined.setUnderline(true);
    QVERIFY(!shapeLine(measuringFont(underlined), text));
}

// A page made to be painted shows the same texts in the same places; only the one-line,
// left-aligned texts printed whole carry their shaping.
void TestReportLayout::aPageToPaintIsThePageWithItsLinesShaped()
{
    const auto data = std::make_shared<MemoryDataSet>(
        QStringList{QStringLiteral("codigo"), QStringLiteral("titulo"), QStringLiteral("obs"),
                    QStringLiteral("tipo"), QStringLiteral("local")});
    data->append({u"1"_s, u"AVATAR ﬁ Tý"_s, u"Observação muito longa "_s.repeated(20), u"CD"_s,
                  u"Gaveta\t1"_s});
    data->append({u"2"_s, u"Mídia 日本語"_s, u"curta"_s, u"DVD"_s, u"Gaveta 2"_s});
    auto report = mediaReport(data);
    auto *kind = static_cast<TQRDBText *>(report->findElement(u"QRDBText3"_s));
    kind->Alignment = Qt::AlignRight;
    const auto document = layoutReport(*report);
    const ReportPage made = document->page(0);
    const ReportPage toPaint = document->pageToPaint(0);
    QCOMPARE(toPaint.texts.size(), made.texts.size());
    int shaped = 0, wrapped = 0, aligned = 0, tabbed = 0;
    for (size_t i = 0; i < made.texts.size(); ++i) {
        const PageText &a = made.texts[i];
        const PageText &b = toPaint.texts[i];
        QCOMPARE(b.element, a.element);
        QCOMPARE(b.text, a.text);
        QCOMPARE(b.rect, a.rect);
        QVERIFY(!a.shaped);
        const bool plainLine = !b.wordWrap && b.alignment == Qt::AlignLeft &&
                               !b.text.contains(u'\t') && !b.text.isEmpty();
        QVERIFY2(bool(b.shaped) == plainLine, qPrintable(b.element + u": "_s + b.text));
        if (b.shaped) {
            ++shaped;
            QCOMPARE(b.shaped->text(), b.text);
        }
        wrapped += b.wordWrap;
        aligned += b.alignment != Qt::AlignLeft;
        tabbed += b.text.contains(u'\t');
    }
    // Each reason to paint from the string is on the page, beside shaped texts.
    QVERIFY(shaped > 0);
    QCOMPARE(wrapped, 1);
    QCOMPARE(aligned, 2);
    QCOMPARE(tabbed, 1);
}

void TestReportLayout::logoIsReadThroughTheDecoderAndMissingLogoDrawsNothing()
{
    auto data = mediaDataSet(1);
    auto report = mediaReport(data, false);
    QTemporaryDir dir;
    auto *image = static_cast<TQRImage *>(report->findElement(QStringLiteral("QRImage1")));
    image->PicturePath = dir.filePath(QStringLiteral("missing.jpg"));
    QCOMPARE(picturesOf(layoutReport(*report)->page(0), QStringLiteral("QRImage1")), 0);

    const QString path = dir.filePath(QStringLiteral("logo.jpg"));
    QImage logo(200, 60, QImage::Format_RGB32);
    logo.fill(Qt::darkGray);
    QVERIFY(logo.save(path, "JPG"));
    static int decoded = 0;
    const PictureDecoder previous = setPictureDecoder([](const QByteArray &bytes) {
        ++decoded;
        return QImage::fromData(bytes, "JPG");
    });
    image->PicturePath = path;
    const auto document = layoutReport(*report);
    setPictureDecoder(previous);

    QCOMPARE(decoded, 1);
    const ReportPage page = document->page(0);
    QCOMPARE(picturesOf(page, QStringLiteral("QRImage1")), 1);
    QCOMPARE(page.pictures[0].image.size(), QSize(200, 60));
    QVERIFY(std::abs(page.pictures[0].rect.width() - 200 * 25.4 / 96) < 1e-9);
}

void TestReportLayout::missingFieldIsRefused()
{
    auto report =
        mediaReport(std::make_shared<MemoryDataSet>(QStringList{QStringLiteral("codigo")}));
    try {
        ReportLayouter layouter(*report);
        QFAIL("a layout naming a field the dataset lacks ran");
    } catch (const ReportError &error) {
        QVERIFY2(error.message().contains(QLatin1String("titulo")), qPrintable(error.message()));
    }
}

void TestReportLayout::layoutsThatAreNotValidAreRefused_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::addColumn<QString>("reason");

    const QByteArray head = R"({"format":"quivel-report-layout","version":1,"name":"R",)"
                            R"("page":{"width":210,"length":297},)";
    QTest::newRow("not json") << QByteArray("{ nope") << u"JSON mal formado"_s;
    QTest::newRow("other format") << QByteArray(R"({"format":"x","version":1})")
                                  << u"não é um layout"_s;
    QTest::newRow("newer version")
        << QByteArray(R"({"format":"quivel-report-layout","version":9})") << u"versão"_s;
    QTest::newRow("unknown band") << head + R"("bands":[{"name":"B","type":"rbGroup","height":5}]})"
                                  << u"rbGroup"_s;
    QTest::newRow("element without position")
        << head + R"("bands":[{"name":"B","type":"rbDetail","height":5,)"
                  R"("elements":[{"name":"L","kind":"TQRLabel","caption":"x"}]}]})"
        << u"left"_s;
    QTest::newRow("font height not positive")
        << head + R"("font":{"family":"Arial","size":10,"height":0},"bands":[]})"
        << u"altura de fonte"_s;
    QTest::newRow("unknown element kind")
        << head + R"("bands":[{"name":"B","type":"rbDetail","height":5,)"
                  R"("elements":[{"name":"L","kind":"TQRShape"}]}]})"
        << u"TQRShape"_s;
}

void TestReportLayout::layoutsThatAreNotValidAreRefused()
{
    QFETCH(QByteArray, json);
    QFETCH(QString, reason);
    try {
        parseReportLayout(json, QStringLiteral("teste.json"));
        QFAIL("an invalid layout was accepted");
    } catch (const ReportError &error) {
        QVERIFY2(error.message().contains(QLatin1String("teste.json")) &&
                     error.message().contains(reason),
                 qPrintable(error.message()));
    }
}

void TestReportLayout::layoutIsIncremental()
{
    auto data = mediaDataSet(100);
    auto report = mediaReport(data);
    ReportLayouter layouter(*report);
    QCOMPARE(layouter.document()->pageCount(), 0);
    QVERIFY(layouter.layoutNextPage());
    QCOMPARE(layouter.document()->pageCount(), 1);
    QCOMPARE(layouter.recordsPrinted(), 4);
    QVERIFY(!layouter.finished());
    layouter.layoutAll();
    QVERIFY(layouter.finished());
    QVERIFY(!layouter.layoutNextPage());
    QCOMPARE(layouter.recordsPrinted(), 100);
    QCOMPARE(layouter.document()->pageCount(), 25); // 25 pages of 4, the total fits on the last
}

void TestReportLayout::pagesOutliveTheirReport()
{
    // Pages are made again each time they are read: from the run's own copy of the report and
    // from its dataset, which the document keeps.
    auto data = mediaDataSet(9);
    auto report = mediaReport(data);
    const auto document = layoutReport(*report);
    const ReportPage before = document->page(2);
    static_cast<TQRLabel *>(report->findElement(QStringLiteral("QRLabel7")))->Caption =
        QStringLiteral("Outro");
    report.reset();
    data.reset();

    const ReportPage after = document->page(2);
    QCOMPARE(after.texts.size(), before.texts.size());
    for (size_t i = 0; i < before.texts.size(); ++i) {
        QCOMPARE(after.texts[i].text, before.texts[i].text);
        QCOMPARE(after.texts[i].rect, before.texts[i].rect);
    }
    QCOMPARE(textsOf(after, QStringLiteral("QRLabel7")).at(0)->text,
             QStringLiteral("Total de Mídias:"));
    QCOMPARE(textsOf(after, QStringLiteral("QRDBText2")).at(0)->text, QStringLiteral("Mídia 9"));
}

namespace {

QStringList allTexts(const ReportDocument &document)
{
    QStringList texts;
    for (int i = 0; i < document.pageCount(); ++i) {
        for (const PageText &text : document.page(i).texts)
            texts.append(text.element + u'=' + text.text);
        texts.append(u"--"_s);
    }
    return texts;
}

} // namespace

void TestReportLayout::recordsStillArrivingLayOutAsIfAllWereThere_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<int>("perRead");
    QTest::addColumn<bool>("printIfEmpty");
    QTest::newRow("none, printed empty") << 0 << 5 << true;
    QTest::newRow("none, not printed") << 0 << 5 << false;
    QTest::newRow("one by one") << 9 << 1 << true;
    QTest::newRow("three at a time") << 100 << 3 << true;
    QTest::newRow("all in the first read") << 30 << 1000 << false;
}

// A dataset still reading is read on only as the pages need it; the document, the summary's
// count and the choice to print an empty report come out as from the complete dataset.
void TestReportLayout::recordsStillArrivingLayOutAsIfAllWereThere()
{
    QFETCH(int, records);
    QFETCH(int, perRead);
    QFETCH(bool, printIfEmpty);
    const auto all = mediaDataSet(records);
    auto whole = mediaReport(all);
    whole->PrintIfEmpty = printIfEmpty;
    const auto expected = layoutReport(*whole);

    auto report = mediaReport(std::make_shared<ArrivingDataSet>(*all, perRead));
    report->PrintIfEmpty = printIfEmpty;
    ReportLayouter layouter(*report);
    if (layouter.layoutNextPage() && records > 8 && perRead < 4) {
        // Four media to a page: the first page reads little more than those.
        QVERIFY(!layouter.recordCountKnown());
        QVERIFY2(layouter.recordCount() < 4 + perRead + 1,
                 qPrintable(QString::number(layouter.recordCount())));
    }
    layouter.layoutAll();
    QVERIFY(layouter.recordCountKnown());
    QCOMPARE(layouter.recordCount(), records);
    QCOMPARE(allTexts(*layouter.document()), allTexts(*expected));
}

// A dataset whose first record is slow to come (a server still joining): neither making the
// layouter nor asking it for a page waits for it; each call reads once and lays out nothing
// until it is there, and the report then comes out as from the complete dataset.
void TestReportLayout::aLateFirstRecordHoldsNoCallLong_data()
{
    QTest::addColumn<int>("records");
    QTest::addColumn<bool>("printIfEmpty");
    QTest::newRow("nine media") << 9 << false;
    QTest::newRow("none, printed") << 0 << true;
    QTest::newRow("none, not printed") << 0 << false;
}

void TestReportLayout::aLateFirstRecordHoldsNoCallLong()
{
    QFETCH(int, records);
    QFETCH(bool, printIfEmpty);
    const auto all = mediaDataSet(records);
    auto whole = mediaReport(all);
    whole->PrintIfEmpty = printIfEmpty;
    const auto expected = layoutReport(*whole);

    constexpr int quietReads = 4;
    const auto arriving = std::make_shared<ArrivingDataSet>(*all, 3, quietReads);
    auto report = mediaReport(arriving);
    report->PrintIfEmpty = printIfEmpty;
    ReportLayouter layouter(*report);
    QCOMPARE(arriving->reads(), 0);
    for (int call = 1; call <= quietReads; ++call) {
        QVERIFY(layouter.layoutNextPage());
        QCOMPARE(arriving->reads(), call);
        QCOMPARE(layouter.document()->pageCount(), 0);
        QVERIFY(!layouter.finished());
    }
    layouter.layoutAll();
    QCOMPARE(layouter.recordCount(), records);
    QCOMPARE(layouter.document()->pageCount(), expected->pageCount());
    QCOMPARE(allTexts(*layouter.document()), allTexts(*expected));
}

QTEST_MAIN(TestReportLayout)
#include "tst_report_layout.moc"
