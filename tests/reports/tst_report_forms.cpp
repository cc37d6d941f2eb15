// SPDX-License-Identifier: GPL-3.0-or-later
// The two report forms over a real data module and catalogue file.
#include "data/data_module.h"
#include "reports/engine/picture_loader.h"
#include "reports/engine/preview/report_preview.h"
#include "reports/engine/report_layouter.h"
#include "reports/media_report_form.h"
#include "reports/report_panel.h"
#include "reports/report_run.h"
#include "reports/software_report_form.h"
#include "resources/jpeg_image.h"
#include "shell/error_handler.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QAction>
#include <QApplication>
#include <QInputDialog>
#include <QPrinterInfo>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

constexpr double eps = 0.005;
// Page header, title and column header stack up from the top margin before the first detail.
constexpr double firstDetailTop = 10.0 + 15.61 + 10.58 + 10.58;

bool near(double a, double b)
{
    return std::abs(a - b) < eps;
}

struct Session
{
    explicit Session(TempCatalogue::Content content = TempCatalogue::Content::Sample)
        : catalogue(content)
        , directory(catalogue.directory())
        , dm([this](const QString &line) { messages.append(line); })
    {}

    TempCatalogue catalogue;
    CurrentDirectory directory;
    QStringList messages;
    TDm1 dm;
    QObject owner; // stands in for the main window
};

void reopen(TADOQuery &query)
{
    query.close();
    query.open();
}

void openAllSoftware(TADOQuery &query)
{
    query.close();
    query.setSql(ReportPanel::softwareReportSql(false));
    query.open();
}

void openSoftwareOf(TADOQuery &query, const QString &numeroCD)
{
    query.close();
    query.setSql(ReportPanel::softwareReportSql(true));
    query.setParameter(u"onumero"_s, numeroCD);
    query.open();
}

QStringList printed(const ReportDocument &document, const QString &element)
{
    QStringList texts;
    for (int p = 0; p < document.pageCount(); ++p) {
        for (const PageText &text : document.page(p).texts) {
            if (text.element == element)
                texts.append(text.text);
        }
    }
    return texts;
}

ReportPage lastPage(const ReportDocument &document)
{
    return document.page(document.pageCount() - 1);
}

const PageText *firstText(const ReportPage &page, const QString &element)
{
    for (const PageText &text : page.texts) {
        if (text.element == element)
            return &text;
    }
    return nullptr;
}

QStringList column(const TempCatalogue &catalogue, const QString &select)
{
    const QString joined =
        catalogue.scalar(u"select group_concat(v, char(10)) from ("_s + select + u")"_s);
    return joined.isEmpty() ? QStringList() : joined.split(u'\n');
}

std::shared_ptr<ReportDocument> layOut(const TQuickRep &report)
{
    return withReportErrors([&report] { return layoutReport(report); });
}

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

// Polls the event loop until check() says it is done.
void whenReady(std::function<bool()> check)
{
    auto *poll = new QTimer(qApp);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, check] {
        if (check())
            poll->deleteLater();
    });
    poll->start(5);
}

} // namespace

class TestReportForms : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void mediaReportListsEveryMedium();
    void emptyCatalogueStillMakesEachReport_data();
    void emptyCatalogueStillMakesEachReport();
    void softwareReportListsTheStatementsTitles_data();
    void softwareReportListsTheStatementsTitles();
    void softwareElementsSitAtTheirBandOffsets_data();
    void softwareElementsSitAtTheirBandOffsets();
    void softwareSummaryRuleAndCount();
    void softwareCaptionsStandClearOfTheirValues();
    void failuresSurfaceAsProgramExceptions_data();
    void failuresSurfaceAsProgramExceptions();
    void queryChangedDuringARunLeavesItsRows();
    void softwareReportWhileItsRowsArrive();
    void secondRunInsideALongPreview();
    void previewShowsTheFormsReportAndRoutesItsMessages();
};

void TestReportForms::mediaReportListsEveryMedium()
{
    Session s;
    reopen(s.dm.ADOQuery3);
    auto *form = new TForm8(&s.owner, s.dm);
    QCOMPARE(form->parent(), &s.owner);
    // The form has put the project's libjpeg loader in charge of pictures.
    const PictureDecoder decoder = setPictureDecoder(nullptr);
    setPictureDecoder(decoder);
    QVERIFY(decoder == &loadJpeg);
    const auto document = layOut(*form->QuickRep1);

    const int count = s.dm.ADOQuery3.recordCount();
    QCOMPARE(count, 40);
    QCOMPARE(printed(*document, u"QRDBText1"_s),
             column(s.catalogue, u"select codigo as v from cds order by codigo"_s));
    QCOMPARE(printed(*document, u"QRDBText2"_s),
             column(s.catalogue, u"select titulo as v from cds order by codigo"_s));
    QCOMPARE(printed(*document, u"QRDBText5"_s),
             column(s.catalogue, u"select local as v from cds order by codigo"_s));
    // Empty remarks print nothing beside their caption; every block keeps its caption.
    const QStringList remarks = printed(*document, u"QRDBText4"_s);
    QCOMPARE(remarks.size(), count);
    QCOMPARE(remarks.count(QString()),
             s.catalogue.scalar(u"select count(*) from cds where obs is null"_s).toInt());
    QCOMPARE(printed(*document, u"QRLabel5"_s).size(), count);

    QCOMPARE(printed(*document, u"QRLabel1"_s), QStringList{u"Mídias cadastradas"_s});
    QCOMPARE(printed(*document, u"QRLabel7"_s), QStringList{u"Total de Mídias:"_s});
    QCOMPARE(printed(*document, u"QRSysData1"_s), QStringList{QString::number(count)});
    QVERIFY(firstText(lastPage(*document), u"QRSysData1"_s));

    // The logo heads every page, decoded from the compiled-in JPEG at its natural size.
    QVERIFY(document->pageCount() > 1);
    for (int p = 0; p < document->pageCount(); ++p) {
        const ReportPage page = document->page(p);
        QCOMPARE(page.pictures.size(), 1u);
        QCOMPARE(page.pictures[0].element, u"QRImage1"_s);
        QVERIFY(!page.pictures[0].image.isNull());
        QCOMPARE(page.pictures[0].image.size(), QSize(200, 60));
    }
    // Blocks are 52.92 mm apart whatever they hold.
    const ReportPage first = document->page(0);
    std::vector<double> tops;
    for (const PageText &text : first.texts) {
        if (text.element == u"QRLabel2"_s)
            tops.push_back(text.rect.top());
    }
    QVERIFY(tops.size() >= 2);
    QVERIFY(near(tops[0], firstDetailTop + 8.47));
    QVERIFY(near(tops[1] - tops[0], 52.92));
}

void TestReportForms::emptyCatalogueStillMakesEachReport_data()
{
    QTest::addColumn<bool>("media");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("totalCaption");
    QTest::addColumn<QString>("totalElement");

    QTest::newRow("media") << true
                           << QStringList{u"QRDBText1"_s, u"QRDBText2"_s, u"QRDBText3"_s,
                                          u"QRDBText4"_s, u"QRDBText5"_s}
                           << u"Total de Mídias:"_s << u"QRLabel7"_s;
    QTest::newRow("software") << false
                              << QStringList{u"QRDBText1"_s, u"QRDBText2"_s, u"QRDBText3"_s,
                                             u"QRDBText4"_s}
                              << u"Total de softwares encontrados:"_s << u"QRLabel6"_s;
}

void TestReportForms::emptyCatalogueStillMakesEachReport()
{
    QFETCH(bool, media);
    QFETCH(QStringList, values);
    QFETCH(QString, totalCaption);
    QFETCH(QString, totalElement);

    Session s(TempCatalogue::Content::Empty);
    std::shared_ptr<ReportDocument> document;
    if (media) {
        reopen(s.dm.ADOQuery3);
        document = layOut(*TForm8(&s.owner, s.dm).QuickRep1);
    } else {
        openAllSoftware(s.dm.ADOQuery4);
        document = layOut(*TForm9(&s.owner, s.dm).QuickRep1);
    }
    QCOMPARE(document->pageCount(), 1);
    const ReportPage page = document->page(0);
    QCOMPARE(page.pictures.size(), 1u);
    QVERIFY(!page.pictures[0].image.isNull());
    QCOMPARE(printed(*document, u"QRLabel1"_s).size(), 1);
    for (const QString &value : values)
        QCOMPARE(printed(*document, value), QStringList{QString()});
    QCOMPARE(printed(*document, totalElement), QStringList{totalCaption});
    QCOMPARE(printed(*document, u"QRSysData1"_s), QStringList{u"0"_s});
}

void TestReportForms::softwareReportListsTheStatementsTitles_data()
{
    QTest::addColumn<QString>("medium"); // empty: every title
    QTest::addColumn<QString>("where");  // the same choice in plain SQL

    QTest::newRow("all titles") << QString() << QString();
    QTest::newRow("one medium") << u"1"_s << u"and midia = 1"_s;
    QTest::newRow("another medium") << u"23"_s << u"and midia = 23"_s;
    QTest::newRow("medium holding none") << u"10"_s << u"and midia = 10"_s;
    QTest::newRow("medium no longer registered") << u"5"_s << u"and midia = 5"_s;
}

void TestReportForms::softwareReportListsTheStatementsTitles()
{
    QFETCH(QString, medium);
    QFETCH(QString, where);

    Session s;
    // Titles left on a deleted medium must drop out of every variant.
    QVERIFY(s.catalogue.scalar(u"select count(*) from softs where midia = 5"_s).toInt() > 0);
    s.catalogue.exec(u"delete from cds where codigo = 5"_s);
    s.catalogue.exec(u"update softs set categoria = 1 + numero % 6"_s);

    if (medium.isEmpty())
        openAllSoftware(s.dm.ADOQuery4);
    else
        openSoftwareOf(s.dm.ADOQuery4, medium);
    const auto *form = new TForm9(&s.owner, s.dm);
    const auto document = layOut(*form->QuickRep1);

    const QString from =
        u" from softs, cds where softs.midia = cds.codigo "_s + where + u" order by numero"_s;
    const QStringList names = column(s.catalogue, u"select nome as v"_s + from);
    const int count = s.dm.ADOQuery4.recordCount();
    QCOMPARE(count, names.size());
    QCOMPARE(printed(*document, u"QRSysData1"_s), QStringList{QString::number(count)});
    QCOMPARE(printed(*document, u"QRLabel6"_s), QStringList{u"Total de softwares encontrados:"_s});
    QCOMPARE(printed(*document, u"QRLabel1"_s), QStringList{u"Softwares"_s});

    if (names.isEmpty()) {
        QVERIFY(!medium.isEmpty());
        QCOMPARE(printed(*document, u"QRDBText2"_s), QStringList{QString()});
        QCOMPARE(printed(*document, u"QRDBText4"_s), QStringList{QString()});
        return;
    }
    QStringList printedNames = printed(*document, u"QRDBText2"_s);
    QStringList printedNumbers = printed(*document, u"QRDBText1"_s);
    QStringList printedKinds = printed(*document, u"QRDBText5"_s);
    QStringList expectedNumbers = column(s.catalogue, u"select numero as v"_s + from);
    QStringList expectedKinds =
        column(s.catalogue, u"select (select nome_categoria from categorias where id_categoria = "
                            "categoria) as v"_s +
                                from);
    // No order is asked of the statement: compare as sets, pairs kept together.
    QStringList pairs, expectedPairs;
    for (int i = 0; i < names.size(); ++i) {
        pairs.append(printedNumbers.value(i) + u' ' + printedNames.value(i) + u' ' +
                     printedKinds.value(i));
        expectedPairs.append(expectedNumbers[i] + u' ' + names[i] + u' ' + expectedKinds[i]);
    }
    pairs.sort();
    expectedPairs.sort();
    QCOMPARE(printedNames.size(), names.size());
    QCOMPARE(pairs, expectedPairs);
    QCOMPARE(printed(*document, u"QRDBText3"_s).size(), names.size());
    QVERIFY(!printed(*document, u"QRDBText3"_s).contains(QString()));

    const QStringList mediaNames = printed(*document, u"QRDBText4"_s);
    if (!medium.isEmpty()) {
        const QString title =
            s.catalogue.scalar(u"select titulo from cds where codigo = "_s + medium);
        QCOMPARE(mediaNames, QStringList(names.size(), title));
    } else {
        QVERIFY(!mediaNames.contains(QString()));
    }
}

void TestReportForms::softwareElementsSitAtTheirBandOffsets_data()
{
    QTest::addColumn<QString>("element");
    QTest::addColumn<double>("left");
    QTest::addColumn<double>("top");      // from the band's top
    QTest::addColumn<QString>("caption"); // empty for a field's value
    QTest::addColumn<QString>("field");
    QTest::addColumn<bool>("bold");
    QTest::addColumn<int>("pixelHeight"); // the character height at 96 dpi

    QTest::newRow("title") << u"QRLabel1"_s << 76.20 << 2.38 << u"Softwares"_s << QString() << true
                           << 21;
    QTest::newRow("name caption") << u"QRLabel3"_s << 8.73 << 3.97 << u"Título:"_s << QString()
                                  << true << 15;
    QTest::newRow("name") << u"QRDBText2"_s << 22.49 << 3.97 << QString() << u"nome"_s << true
                          << 15;
    QTest::newRow("number caption")
        << u"QRLabel2"_s << 8.73 << 12.96 << u"Código:"_s << QString() << false << 13;
    QTest::newRow("number") << u"QRDBText1"_s << 22.23 << 12.70 << QString() << u"numero"_s << false
                            << 13;
    QTest::newRow("description caption")
        << u"QRLabel4"_s << 8.73 << 21.70 << u"Descrição:"_s << QString() << false << 13;
    QTest::newRow("description") << u"QRDBText3"_s << 26.99 << 21.43 << QString() << u"descricao"_s
                                 << false << 13;
    QTest::newRow("medium caption")
        << u"QRLabel5"_s << 8.73 << 29.63 << u"Nome da Mídia de Armazenamento:"_s << QString()
        << false << 13;
    QTest::newRow("medium") << u"QRDBText4"_s << 65.62 << 29.63 << QString() << u"titulo"_s << false
                            << 13;
    // The kind shares the number's line, in the medium name's column.
    QTest::newRow("kind caption") << u"QRLabel7"_s << 65.62 << 12.96 << u"Categoria:"_s << QString()
                                  << false << 13;
    QTest::newRow("kind") << u"QRDBText5"_s << 83.08 << 12.70 << QString() << u"nome_categoria"_s
                          << false << 13;
}

void TestReportForms::softwareElementsSitAtTheirBandOffsets()
{
    QFETCH(QString, element);
    QFETCH(double, left);
    QFETCH(double, top);
    QFETCH(QString, caption);
    QFETCH(QString, field);
    QFETCH(bool, bold);
    QFETCH(int, pixelHeight);

    Session s;
    openAllSoftware(s.dm.ADOQuery4);
    const auto document = layOut(*TForm9(&s.owner, s.dm).QuickRep1);
    const ReportPage page = document->page(0);
    const PageText *text = firstText(page, element);
    QVERIFY(text);
    const bool inTitle = element == u"QRLabel1"_s;
    const double bandTop = inTitle ? 10.0 + 15.61 : firstDetailTop;
    QVERIFY2(near(text->rect.left(), 10.0 + left), qPrintable(QString::number(text->rect.left())));
    QVERIFY2(near(text->rect.top(), bandTop + top), qPrintable(QString::number(text->rect.top())));
    TADOQuery &q = s.dm.ADOQuery4;
    QCOMPARE(text->text, caption.isEmpty() ? q.textAt(0, q.fieldByName(field)->index()) : caption);
    QVERIFY(!text->text.isEmpty());
    QCOMPARE(text->font.family(), u"Arial"_s);
    QCOMPARE(text->font.bold(), bold);
    QCOMPARE(text->font.pointSizeF() * 96 / 72, double(pixelHeight));

    // Four lines per title, 42.33 mm apart.
    if (!inTitle) {
        std::vector<double> tops;
        for (const PageText &t : page.texts) {
            if (t.element == element)
                tops.push_back(t.rect.top());
        }
        QVERIFY(tops.size() >= 2);
        QVERIFY(near(tops[1] - tops[0], 42.33));
    }
}

void TestReportForms::softwareSummaryRuleAndCount()
{
    Session s;
    openSoftwareOf(s.dm.ADOQuery4, u"2"_s);
    const auto document = layOut(*TForm9(&s.owner, s.dm).QuickRep1);
    const ReportPage page = lastPage(*document);
    double lastBlockTop = 0;
    for (const PageText &t : page.texts) {
        if (t.element == u"QRLabel3"_s)
            lastBlockTop = std::max(lastBlockTop, t.rect.top() - 3.97);
    }
    QVERIFY(lastBlockTop > 0);
    const double summaryTop = lastBlockTop + 42.33;

    QCOMPARE(page.lines.size(), 1u);
    const QLineF rule = page.lines[0].line;
    QVERIFY(std::abs(rule.y1() - (summaryTop + 2.91)) < 0.01 && rule.y1() == rule.y2());
    QVERIFY(near(rule.x1(), 10 + 8.47) && near(rule.x2(), 10 + 8.47 + 171.71));
    const PageText *caption = firstText(page, u"QRLabel6"_s);
    const PageText *count = firstText(page, u"QRSysData1"_s);
    QVERIFY(caption && count);
    QVERIFY(near(caption->rect.left(), 10 + 8.47) && near(caption->rect.top(), summaryTop + 5.82));
    QVERIFY(near(count->rect.left(), 10 + 63.76) && near(count->rect.top(), summaryTop + 5.82));
    QVERIFY(caption->font.bold() && count->font.bold());
    QCOMPARE(count->text, QString::number(s.dm.ADOQuery4.recordCount()));
}

void TestReportForms::softwareCaptionsStandClearOfTheirValues()
{
    // Each value stands just after its caption; at the design's font heights the caption ends
    // some 1.6 mm before it.
    Session s;
    openAllSoftware(s.dm.ADOQuery4);
    const auto document = layOut(*TForm9(&s.owner, s.dm).QuickRep1);
    const ReportPage page = document->page(0);
    const std::pair<QString, QString> lines[] = {{u"QRLabel3"_s, u"QRDBText2"_s},
                                                 {u"QRLabel2"_s, u"QRDBText1"_s},
                                                 {u"QRLabel4"_s, u"QRDBText3"_s},
                                                 {u"QRLabel5"_s, u"QRDBText4"_s}};
    for (const auto &[caption, value] : lines) {
        const double gap =
            firstText(page, value)->rect.left() - firstText(page, caption)->rect.right();
        QVERIFY2(gap > 1.0 && gap < 2.5, qPrintable(caption + u' ' + QString::number(gap)));
    }
}

void TestReportForms::failuresSurfaceAsProgramExceptions_data()
{
    QTest::addColumn<QStringList>("sql"); // empty: the query is left closed
    QTest::addColumn<bool>("gradually");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QString>("message");

    QTest::newRow("query closed")
        << QStringList() << false << u"EDatabaseError"_s
        << u"ADOQuery4: Cannot perform this operation on a closed dataset"_s;
    QTest::newRow("field missing")
        << QStringList{u"SELECT numero, nome, codigo, titulo, nome_categoria"_s,
                       u"FROM softs LEFT JOIN categorias ON id_categoria = categoria, cds"_s,
                       u"where softs.midia = cds.codigo"_s}
        << false << u"EReportError"_s
        << u"Campo \"descricao\" de QRDBText3 não encontrado nos dados do relatório."_s;
    // The third title fails to read once the first page is being laid out.
    QTest::newRow("later rows fail")
        << QStringList{u"SELECT numero, CASE WHEN numero > 2 THEN json('x') ELSE nome END"_s,
                       u"AS nome, descricao, codigo, titulo, nome_categoria FROM softs LEFT "
                       "JOIN categorias ON id_categoria = categoria, cds"_s,
                       u"where softs.midia = cds.codigo"_s}
        << true << u"EOleException"_s << u"recusou a operação (malformed JSON)"_s;
}

void TestReportForms::failuresSurfaceAsProgramExceptions()
{
    QFETCH(QStringList, sql);
    QFETCH(bool, gradually);
    QFETCH(QString, className);
    QFETCH(QString, message);

    Session s;
    s.dm.ADOQuery4.close();
    s.dm.ADOQuery4.maxRowsPerSlice = 1;
    if (!sql.isEmpty()) {
        s.dm.ADOQuery4.setSql(sql);
        if (gradually)
            s.dm.ADOQuery4.openGradually();
        else
            s.dm.ADOQuery4.open();
    }
    TForm9 form(&s.owner, s.dm);
    try {
        previewWithProgramErrors(*form.QuickRep1);
        QFAIL("Preview did not fail");
    } catch (const Exception &e) {
        QCOMPARE(e.className(), className);
        // An engine failure names the catalogue first.
        QVERIFY2(e.message().endsWith(message), qPrintable(e.message()));
    }
    QVERIFY(openPreviews().isEmpty());

    // The general error handler shows it like any other failure of a handler.
    FakeDialogs dialogs;
    guarded([&form] { previewWithProgramErrors(*form.QuickRep1); })();
    QCOMPARE(dialogs.boxes.size(), 1);
    QVERIFY2(dialogs.boxes[0].text.endsWith(withFinalPeriod(message)),
             qPrintable(dialogs.boxes[0].text));
    QCOMPARE(dialogs.boxes[0].icon, Dialogs::Icon::Critical);
}

// The all-titles report laid out from a query still reading its rows: its first page comes
// before the rest are read, and the whole comes out as from a complete read.
void TestReportForms::softwareReportWhileItsRowsArrive()
{
    Session s;
    openAllSoftware(s.dm.ADOQuery4);
    const int titles = s.dm.ADOQuery4.recordCount();
    QVERIFY(titles > 20);
    const auto whole = layOut(*TForm9(&s.owner, s.dm).QuickRep1);

    s.dm.ADOQuery4.close();
    s.dm.ADOQuery4.maxRowsPerSlice = 2;
    s.dm.ADOQuery4.openGradually();
    TForm9 form(&s.owner, s.dm);
    ReportLayouter layouter(*form.QuickRep1);
    QVERIFY(layouter.layoutNextPage());
    QVERIFY(!layouter.recordCountKnown());
    QVERIFY(layouter.recordCount() < titles);
    QVERIFY(s.dm.ADOQuery4.readPending());
    layouter.layoutAll();
    QVERIFY(layouter.recordCountKnown());
    QCOMPARE(layouter.recordCount(), titles);
    const auto streamed = layouter.document();
    QCOMPARE(streamed->pageCount(), whole->pageCount());
    for (const QString &element :
         {u"QRDBText1"_s, u"QRDBText2"_s, u"QRDBText3"_s, u"QRDBText4"_s, u"QRSysData1"_s})
        QCOMPARE(printed(*streamed, element), printed(*whole, element));
    QCOMPARE(printed(*streamed, u"QRSysData1"_s), QStringList{QString::number(titles)});
}

void TestReportForms::queryChangedDuringARunLeavesItsRows()
{
    // A long report is laid out a page at a time; another window may reopen its query on
    // another statement, or edit a record of it, meanwhile.
    Session s;
    openAllSoftware(s.dm.ADOQuery4);
    const int titles = s.dm.ADOQuery4.recordCount();
    const QStringList names = column(s.catalogue, u"select nome as v from softs, cds "
                                                  u"where softs.midia = cds.codigo"_s);
    QVERIFY(titles > 4);
    TForm9 software(&s.owner, s.dm);
    ReportLayouter softwareRun(*software.QuickRep1);
    QVERIFY(softwareRun.layoutNextPage());
    openSoftwareOf(s.dm.ADOQuery4, u"3"_s);
    QVERIFY(s.dm.ADOQuery4.recordCount() != titles);
    withReportErrors([&] { softwareRun.layoutAll(); });
    QCOMPARE(printed(*softwareRun.document(), u"QRDBText2"_s), names);
    QCOMPARE(printed(*softwareRun.document(), u"QRSysData1"_s),
             QStringList{QString::number(titles)});

    reopen(s.dm.ADOQuery3);
    const QString firstTitle = s.dm.ADOQuery3.textAt(0, 1);
    TForm8 media(&s.owner, s.dm);
    ReportLayouter mediaRun(*media.QuickRep1);
    s.dm.ADOQuery3.first();
    s.dm.ADOQuery3.edit();
    s.dm.ADOQuery3.fieldByName(u"titulo"_s)->setValue(u"Renomeada"_s);
    s.dm.ADOQuery3.post();
    s.dm.ADOQuery3.last();
    s.dm.ADOQuery3.remove();
    withReportErrors([&] { mediaRun.layoutAll(); });
    QCOMPARE(printed(*mediaRun.document(), u"QRDBText2"_s).value(0), firstTitle);
    QCOMPARE(printed(*mediaRun.document(), u"QRDBText2"_s).size(),
             s.dm.ADOQuery3.recordCount() + 1);
    // The query itself holds the edit.
    QCOMPARE(s.dm.ADOQuery3.textAt(0, 1), u"Renomeada"_s);
    QCOMPARE(s.catalogue.scalar(u"select titulo from cds order by codigo limit 1"_s),
             u"Renomeada"_s);
}

void TestReportForms::secondRunInsideALongPreview()
{
    // Enough titles that the preview lays them out over many slices of the event loop.
    Session s;
    s.catalogue.exec(u"with recursive n(i) as (select 1 union all select i + 1 from n "
                     u"where i < 200000) insert into softs (nome, descricao, midia) "
                     u"select 'Título ' || i, 'Descrição ' || i, 1 + i % 3 from n"_s);
    openAllSoftware(s.dm.ADOQuery4);
    const QString allTotal = QString::number(s.dm.ADOQuery4.recordCount());

    QString innerTotal;
    QString outerTotal;
    int outerPrinted = 0;
    bool innerStartedDuringTheRun = false;
    whenReady([&] {
        const auto windows = openPreviews();
        if (windows.size() != 1 || windows[0]->pageCount() < 2)
            return false;
        ReportPreviewWindow *outer = windows[0];
        innerStartedDuringTheRun = outer->running();
        // The second click of "Gerar Relatório", for one medium, inside the first preview.
        openSoftwareOf(s.dm.ADOQuery4, u"2"_s);
        TForm9 inner(&s.owner, s.dm);
        whenReady([&, outer] {
            const auto open = openPreviews();
            ReportPreviewWindow *innerWindow = open.value(open.indexOf(outer) == 0 ? 1 : 0);
            if (open.size() != 2 || innerWindow->running())
                return false;
            innerTotal = firstText(lastPage(innerWindow->document()), u"QRSysData1"_s)->text;
            innerWindow->close();
            return true;
        });
        previewWithProgramErrors(*inner.QuickRep1);
        // The first preview is still open and goes on to the end of its own rows.
        whenReady([&, outer] {
            if (!outer->isVisible() || outer->running())
                return !outer->isVisible();
            outerPrinted = int(printed(outer->document(), u"QRDBText2"_s).size());
            outerTotal = firstText(lastPage(outer->document()), u"QRSysData1"_s)->text;
            outer->close();
            return true;
        });
        return true;
    });
    TForm9 outerForm(&s.owner, s.dm);
    previewWithProgramErrors(*outerForm.QuickRep1);

    QVERIFY(innerStartedDuringTheRun);
    QCOMPARE(innerTotal, QString::number(s.dm.ADOQuery4.recordCount()));
    QCOMPARE(outerTotal, allTotal);
    QVERIFY(innerTotal != outerTotal);
    QCOMPARE(outerPrinted, allTotal.toInt());
    QVERIFY(openPreviews().isEmpty());
}

void TestReportForms::previewShowsTheFormsReportAndRoutesItsMessages()
{
    Session s;
    FakeDialogs dialogs;
    openSoftwareOf(s.dm.ADOQuery4, u"3"_s);
    auto *form = new TForm9(&s.owner, s.dm);

    // Without a printer, printing asks about a PDF instead, as every question is asked.
    const bool noPrinter = QPrinterInfo::availablePrinters().isEmpty();
    int pages = 0;
    QString total;
    whenReady([&] {
        const auto windows = openPreviews();
        if (windows.isEmpty() || windows[0]->running())
            return false;
        ReportPreviewWindow *window = windows[0];
        pages = window->pageCount();
        total = firstText(lastPage(window->document()), u"QRSysData1"_s)->text;
        // A search that finds nothing is refused through the program's dialog seam.
        whenReady([] {
            auto *ask = qobject_cast<QInputDialog *>(QApplication::activeModalWidget());
            if (!ask)
                return false;
            ask->setTextValue(u"não existe"_s);
            ask->accept();
            return true;
        });
        const auto actions = window->findChildren<QAction *>();
        for (QAction *action : actions) {
            if (action->toolTip() == u"Procurar texto"_s)
                action->trigger();
        }
        for (QAction *action : actions) {
            if (noPrinter && action->toolTip() == u"Imprimir"_s)
                action->trigger();
        }
        window->close();
        return true;
    });
    previewWithProgramErrors(*form->QuickRep1);

    QVERIFY(openPreviews().isEmpty());
    QVERIFY(pages >= 1);
    QCOMPARE(total, QString::number(s.dm.ADOQuery4.recordCount()));
    QCOMPARE(dialogs.boxes.size(), noPrinter ? 2 : 1);
    QCOMPARE(dialogs.boxes[0].text, u"Texto não encontrado: \"não existe\"."_s);
    QCOMPARE(dialogs.boxes[0].caption, u"Quivel"_s);
    QCOMPARE(dialogs.boxes[0].icon, Dialogs::Icon::Warning);
    if (noPrinter) {
        QCOMPARE(dialogs.boxes[1].text,
                 u"Nenhuma impressora está disponível. Salvar o relatório em PDF?"_s);
        QCOMPARE(dialogs.boxes[1].caption, u"Quivel"_s);
        QCOMPARE(dialogs.boxes[1].buttons, int(Dialogs::Yes | Dialogs::No));
        QCOMPARE(dialogs.boxes[1].icon, Dialogs::Icon::Question);
        QCOMPARE(dialogs.boxes[1].defaultButton, Dialogs::No);
    }
}

QTEST_MAIN(TestReportForms)
#include "tst_report_forms.moc"
