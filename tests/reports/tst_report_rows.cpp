// SPDX-License-Identifier: GPL-3.0-or-later
// A report's rows saved from the preview as a spreadsheet or a page.
#include "exchange/formats/sheet_reader.h"
#include "reports/engine/memory_dataset.h"
#include "reports/engine/preview/report_preview.h"
#include "reports/engine/quick_rep.h"
#include "reports/engine/report_error.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// Laid out as the program's reports are: each value after its label, lines one below the
// other, the code on the second line.
std::unique_ptr<TQuickRep> titlesReport()
{
    auto report = std::make_unique<TQuickRep>();
    report->Name = u"QuickRep1"_s;
    report->addBand(u"Title"_s, rbTitle, 10).add<TQRLabel>(u"Heading"_s).Caption = u"Softwares"_s;
    report->DataSet = std::make_shared<MemoryDataSet>(
        QStringList{u"numero"_s, u"nome"_s, u"descricao"_s},
        QList<QStringList>{{u"7"_s, u"=1+1"_s, u"linha 1\nlinha 2"_s},
                           {u"12"_s, u"Ação; \"Total\""_s, QString()},
                           {u"3"_s, u"Zork"_s, u"Texto"_s}});
    TQRBand &detail = report->addBand(u"Detail"_s, rbDetail, 30);
    const auto pair = [&detail](const QString &caption, const QString &field, double top,
                                double left) {
        auto &label = detail.add<TQRLabel>(field + u"Label"_s);
        label.Caption = caption;
        label.Left = 8;
        label.Top = top;
        auto &value = detail.add<TQRDBText>(field + u"Value"_s);
        value.DataField = field;
        value.Left = left;
        value.Top = top + 0.3;
        value.Width = 40;
        value.Height = 5;
    };
    pair(u"Código:"_s, u"numero"_s, 13, 22);
    pair(u"Descrição:"_s, u"descricao"_s, 21.7, 27);
    pair(u"Título:"_s, u"nome"_s, 4, 22.5);
    return report;
}

QList<QStringList> readBack(const QString &path)
{
    QList<QStringList> rows;
    const auto reader = Exchange::SheetReader::open(path);
    Exchange::SheetRow row;
    while (reader->next(row)) {
        while (row.cells.size() < 3)
            row.cells << QString();
        rows << row.cells;
    }
    return rows;
}

} // namespace

class TestReportRows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsSavedAsTable_data();
    void rowsSavedAsTable();
    void pageNamedAsTheReportReads();
    void loadedReportHasNoRows();
};

void TestReportRows::pageNamedAsTheReportReads()
{
    const auto report = titlesReport();
    ReportPreviewWindow window{QString()};
    window.startRun(*report);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"rel.html"_s);
    QVERIFY(window.saveTo(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(file.readAll());
    QVERIFY(page.contains(u"<title>Softwares</title>"_s));
    QVERIFY(page.contains(u"<td>Ação; &quot;Total&quot;</td><td class=\"n\">12</td>"_s));
}

void TestReportRows::rowsSavedAsTable_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("xlsx") << u"rel.xlsx"_s;
    QTest::newRow("ods") << u"rel.ods"_s;
    QTest::newRow("csv") << u"rel.csv"_s;
}

void TestReportRows::rowsSavedAsTable()
{
    QFETCH(QString, name);
    const auto report = titlesReport();
    ReportPreviewWindow window{QString()};
    window.startRun(*report);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(window.saveTo(path));
    const QList<QStringList> expected{
        {u"Título"_s, u"Código"_s, u"Descrição"_s},
        {u"=1+1"_s, u"7"_s, u"linha 1\nlinha 2"_s},
        {u"Ação; \"Total\""_s, u"12"_s, QString()},
        {u"Zork"_s, u"3"_s, u"Texto"_s},
    };
    QCOMPARE(readBack(path), expected);
}

void TestReportRows::loadedReportHasNoRows()
{
    const auto report = titlesReport();
    ReportPreviewWindow window{QString()};
    window.startRun(*report);
    QTemporaryDir dir;
    const QString saved = dir.filePath(u"rel.qvr"_s);
    QVERIFY(window.saveTo(saved));
    ReportPreviewWindow loaded{QString()};
    loaded.loadFrom(saved);
    QVERIFY_THROWS_EXCEPTION(ReportError, loaded.saveTo(dir.filePath(u"rel.csv"_s)));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestReportRows test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_report_rows.moc"
