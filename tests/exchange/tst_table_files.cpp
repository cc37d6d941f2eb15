// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/formats/sheet_reader.h"
#include "exchange/formats/table_writer.h"
#include "tests/exchange/office.h"
#include "tests/exchange/table_rows.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// The header and the rows, every cell's text, as a reader should give them back.
QList<QStringList> expectedCells()
{
    QList<QStringList> rows;
    QStringList header;
    for (const Exchange::Column &c : hostileColumns())
        header << c.title;
    rows << header << hostileRows();
    return rows;
}

// A reader's rows as texts, trailing empty cells dropped; types checked on the way when asked.
QList<QStringList> cellsOf(const QJsonArray &rows, bool checkTypes)
{
    QList<QStringList> result;
    for (int r = 0; r < rows.size(); ++r) {
        QStringList cells;
        const QJsonArray row = rows[r].toArray();
        for (int c = 0; c < row.size(); ++c) {
            const QString type = row[c].toArray()[0].toString();
            const QString text = row[c].toArray()[1].toString();
            cells << text;
            if (!checkTypes || r == 0 || text.isEmpty())
                continue;
            // Codes are numbers, every other value text: never a formula.
            if (type != (c == 0 ? u"n"_s : u"s"_s))
                qWarning("row %d column %d is of type %s", r, c, qPrintable(type));
            if (type != (c == 0 ? u"n"_s : u"s"_s))
                return {};
        }
        while (!cells.isEmpty() && cells.last().isEmpty())
            cells.removeLast();
        result << cells;
    }
    return result;
}

QList<QStringList> trimmed(QList<QStringList> rows)
{
    for (QStringList &row : rows) {
        while (!row.isEmpty() && row.last().isEmpty())
            row.removeLast();
    }
    return rows;
}

bool write(const QString &path, char separator = ';')
{
    TableRows rows(hostileColumns(), hostileRows());
    Exchange::WriteOptions options;
    options.title = u"Teste"_s;
    options.separator = separator;
    return Exchange::writeTable(rows, path, options);
}

QStringList filesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::Files, QDir::Name);
}

} // namespace

class TestTableFiles : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void realReadersGetEveryCellBack();
    void ownReaderGetsEveryCellBack_data();
    void ownReaderGetsEveryCellBack();
    void htmlIsOnePageWithEscapedTexts();
    void stopLeavesThePreviousFile_data();
    void stopLeavesThePreviousFile();
    void readsCsvAsWritten_data();
    void readsCsvAsWritten();
    void refusesWhatItCannotRead_data();
    void refusesWhatItCannotRead();
    void xlsxRowsPastTheSheetLimitGoOnInAnotherSheet();
};

// One run of LibreOffice for the spreadsheets, one for the CSV, as they are slow to start.
void TestTableFiles::realReadersGetEveryCellBack()
{
    if (Office::libreOffice().isEmpty() || !Office::hasOpenpyxl())
        QSKIP("LibreOffice or openpyxl is not installed (scripts/install-deps.sh installs them)");
    QTemporaryDir dir;
    const QString xlsx = dir.filePath(u"de_xlsx.xlsx"_s);
    const QString ods = dir.filePath(u"de_ods.ods"_s);
    const QString semicolon = dir.filePath(u"ponto_e_virgula.csv"_s);
    const QString comma = dir.filePath(u"virgula.csv"_s);
    QVERIFY(write(xlsx));
    QVERIFY(write(ods));
    QVERIFY(write(semicolon, ';'));
    QVERIFY(write(comma, ','));
    const QList<QStringList> expected = trimmed(expectedCells());

    QCOMPARE(cellsOf(Office::readWithPython(xlsx), true), expected);
    QCOMPARE(cellsOf(Office::readWithPython(semicolon, ';'), false), expected);
    QCOMPARE(cellsOf(Office::readWithPython(comma, ','), false), expected);

    const QString converted = dir.filePath(u"lo"_s);
    QVERIFY(QDir().mkpath(converted));
    const QString failure = Office::convert({xlsx, ods}, Office::csvExportFilter(), converted);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(cellsOf(Office::readWithPython(converted + u"/de_xlsx.csv"_s), false), expected);
    // LibreOffice leaves out the tab of an .ods cell when it writes CSV, from a file it saved
    // itself just the same; the tab itself is read back by ownReaderGetsEveryCellBack.
    QList<QStringList> withoutTabs = expected;
    for (QStringList &row : withoutTabs)
        row.replaceInStrings(u"\t"_s, QString());
    QCOMPARE(cellsOf(Office::readWithPython(converted + u"/de_ods.csv"_s), false), withoutTabs);

    // The CSV opened by LibreOffice with quoted fields taken as text, as its dialog offers.
    const QString fromCsv = dir.filePath(u"csv"_s);
    QVERIFY(QDir().mkpath(fromCsv));
    const QString csvFailure =
        Office::convert({semicolon}, u"xlsx"_s, fromCsv, u"CSV:59,34,76,1,,0,true"_s);
    QVERIFY2(csvFailure.isEmpty(), qPrintable(csvFailure));
    QCOMPARE(cellsOf(Office::readWithPython(fromCsv + u"/ponto_e_virgula.xlsx"_s), true), expected);
}

void TestTableFiles::ownReaderGetsEveryCellBack_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<char>("separator");
    QTest::newRow("xlsx") << u"t.xlsx"_s << ';';
    QTest::newRow("ods") << u"t.ods"_s << ';';
    QTest::newRow("csv ;") << u"t.csv"_s << ';';
    QTest::newRow("csv ,") << u"t.csv"_s << ',';
}

void TestTableFiles::ownReaderGetsEveryCellBack()
{
    QFETCH(QString, name);
    QFETCH(char, separator);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(write(path, separator));
    const auto reader = Exchange::SheetReader::open(path);
    QList<QStringList> rows;
    QList<int> lines;
    Exchange::SheetRow row;
    while (reader->next(row)) {
        rows << row.cells;
        lines << row.line;
    }
    QCOMPARE(trimmed(rows), trimmed(expectedCells()));
    QCOMPARE(lines, (QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

void TestTableFiles::htmlIsOnePageWithEscapedTexts()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"t.html"_s);
    QVERIFY(write(path));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString page = QString::fromUtf8(file.readAll());
    QVERIFY(page.startsWith(u"<!DOCTYPE html>"_s));
    QVERIFY(page.contains(u"<meta charset=\"utf-8\">"_s));
    QVERIFY(page.contains(u"&lt;b&gt;html&lt;/b&gt; &amp; co"_s));
    QVERIFY(!page.contains(u"<b>html"_s));
    QVERIFY(page.contains(u"aspas &quot;duplas&quot; e &#39;simples&#39;"_s));
    QVERIFY(page.contains(u"emoji 😀 e clave 𝄞"_s));
    QCOMPARE(page.count(u"<tr>"_s), hostileRows().size() + 1);
    QCOMPARE(page.count(u"<th>"_s), hostileColumns().size());
    // Nothing outside the page: no script, no link, no picture.
    QVERIFY(!page.contains(u"<script"_s) && !page.contains(u"<link"_s) &&
            !page.contains(u"src="_s));
}

void TestTableFiles::stopLeavesThePreviousFile_data()
{
    QTest::addColumn<QString>("name");
    for (const char *name : {"t.xlsx", "t.ods", "t.csv", "t.html"})
        QTest::newRow(name) << QString::fromLatin1(name);
}

void TestTableFiles::stopLeavesThePreviousFile()
{
    QFETCH(QString, name);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("antigo");
    }
    // Enough rows for the writer to ask twice.
    QList<QStringList> many;
    for (int i = 0; i < 10000; ++i)
        many << QStringList{QString::number(i), u"nome %1"_s.arg(i), u"descrição"_s};
    TableRows rows(hostileColumns(), many);
    Exchange::WriteOptions options;
    int asked = 0;
    options.progress = [&asked](qint64) { return ++asked < 2; };
    QVERIFY(!Exchange::writeTable(rows, path, options));
    QCOMPARE(asked, 2);
    QFile kept(path);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), QByteArray("antigo"));
    QCOMPARE(filesIn(dir.path()), QStringList{name});
}

void TestTableFiles::readsCsvAsWritten_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QList<QStringList>>("rows");
    QTest::addColumn<QList<int>>("lines");

    const QList<QStringList> plain{{u"Nome"_s, u"Mídia"_s}, {u"Ação"_s, u"CD 1"_s}};
    QTest::newRow("UTF-8 with BOM, ;") << QByteArray("\xEF\xBB\xBFNome;M\xC3\xAD"
                                                     "dia\r\nA\xC3\xA7\xC3\xA3o;CD 1\r\n")
                                       << u"separado por ';', UTF-8"_s << plain << QList<int>{1, 2};
    QTest::newRow("UTF-8 without BOM, ,")
        << QByteArray("Nome,M\xC3\xAD"
                      "dia\nA\xC3\xA7\xC3\xA3o,CD 1\n")
        << u"separado por ',', UTF-8"_s << plain << QList<int>{1, 2};
    QTest::newRow("code page 1252, tab")
        << QByteArray("Nome\tM\xED"
                      "dia\r\nA\xE7\xE3o\tCD 1\r\n")
        << u"separado por tabulação, Windows-1252"_s << plain << QList<int>{1, 2};
    QTest::newRow("blank lines counted, quoted break")
        << QByteArray("Nome;M\xC3\xAD"
                      "dia\r\n\r\n\"Linha\r\nquebrada\";\"a;b\"\"c\"\r\n")
        << u"separado por ';', UTF-8"_s
        << QList<QStringList>{{u"Nome"_s, u"Mídia"_s}, {u"Linha\r\nquebrada"_s, u"a;b\"c"_s}}
        << QList<int>{1, 3};
    QTest::newRow("spaces kept, no final break")
        << QByteArray("Nome;Tipo\n  dois  ; CD") << u"separado por ';', UTF-8"_s
        << QList<QStringList>{{u"Nome"_s, u"Tipo"_s}, {u"  dois  "_s, u" CD"_s}}
        << QList<int>{1, 2};
}

void TestTableFiles::readsCsvAsWritten()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, details);
    QFETCH(QList<QStringList>, rows);
    QFETCH(QList<int>, lines);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"t.csv"_s);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    const auto reader = Exchange::SheetReader::open(path);
    QCOMPARE(reader->details, details);
    QList<QStringList> got;
    QList<int> gotLines;
    Exchange::SheetRow row;
    while (reader->next(row)) {
        got << row.cells;
        gotLines << row.line;
    }
    QCOMPARE(got, rows);
    QCOMPARE(gotLines, lines);
}

void TestTableFiles::refusesWhatItCannotRead_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");
    QTest::newRow("not a zip") << u"t.xlsx"_s << QByteArray("Nome;Mídia\n")
                               << u"não é um arquivo compactado"_s;
    QTest::newRow("no sheet") << u"t.ods"_s << QByteArray() << u"não é um arquivo compactado"_s;
    QTest::newRow("other kind") << u"t.pdf"_s << QByteArray("%PDF") << u"não sei lê-lo"_s;
}

void TestTableFiles::refusesWhatItCannotRead()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
    file.close();
    try {
        Exchange::SheetReader::open(path);
        QFAIL("the file was read");
    } catch (const Exchange::ExchangeError &e) {
        QVERIFY2(e.message().contains(message), qPrintable(e.message()));
    }
}

// A sheet holds 1,048,576 rows, the header among them; the format has no room for more, and
// the library refuses a row past it, so a write that succeeds has gone on in another sheet.
void TestTableFiles::xlsxRowsPastTheSheetLimitGoOnInAnotherSheet()
{
    class Counting : public Exchange::RowSource
    {
    public:
        QList<Exchange::Column> columns() const override { return {{u"Código"_s, true}}; }
        bool next() override { return ++m_row <= 1048576; }
        QByteArrayView utf8(int) override
        {
            m_text = QByteArray::number(m_row);
            return m_text;
        }

    private:
        qint64 m_row = 0;
        QByteArray m_text;
    } source;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"grande.xlsx"_s);
    QVERIFY(Exchange::writeTable(source, path));
    const auto reader = Exchange::SheetReader::open(path);
    Exchange::SheetRow row;
    Exchange::SheetRow last;
    qint64 count = 0;
    while (reader->next(row)) {
        ++count;
        last = row;
    }
    QCOMPARE(count, qint64(1048576));
    QCOMPARE(last.line, 1048576);
    QCOMPARE(last.cells, QStringList{u"1048575"_s});
}

QTEST_GUILESS_MAIN(TestTableFiles)
#include "tst_table_files.moc"
