// SPDX-License-Identifier: GPL-3.0-or-later
#include "report_fixtures.h"

#include "reports/engine/report_error.h"
#include "reports/engine/report_file.h"
#include "reports/engine/report_layouter.h"
#include "reports/engine/text_metrics.h"

#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestReportFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roundTripKeepsEveryPage();
    void badFilesAreRefused_data();
    void badFilesAreRefused();
    void missingFileIsRefused();
    void wrappedTextOfAFormatOneFileIsCutWhenRead();
};

namespace {

std::shared_ptr<ReportDocument> sampleDocument()
{
    static auto data = mediaDataSet(9);
    auto report = mediaReport(data);
    return layoutReport(*report);
}

// CRC-32 (IEEE), written independently of the engine's.
quint32 crc32(const QByteArray &data)
{
    quint32 crc = 0xFFFFFFFFu;
    for (const char byte : data) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

QByteArray framed(const QByteArray &payload)
{
    QByteArray bytes("QVREPORT");
    QDataStream out(&bytes, QIODevice::Append);
    out << reportFileVersion << quint16(0) << quint32(payload.size()) << crc32(payload);
    return bytes + payload;
}

} // namespace

void TestReportFile::roundTripKeepsEveryPage()
{
    const auto original = sampleDocument();
    QTemporaryDir dir;
    const QString path = dir.filePath(u"media.qvr"_s);
    saveReportFile(*original, path);
    const ReportDocument loaded = loadReportFile(path);

    QCOMPARE(loaded.pageSize, original->pageSize);
    QCOMPARE(loaded.pageCount(), original->pageCount());
    for (int p = 0; p < loaded.pageCount(); ++p) {
        const ReportPage a = original->page(p);
        const ReportPage b = loaded.page(p);
        QCOMPARE(b.texts.size(), a.texts.size());
        for (size_t i = 0; i < a.texts.size(); ++i) {
            QCOMPARE(b.texts[i].rect, a.texts[i].rect);
            QCOMPARE(b.texts[i].text, a.texts[i].text);
            QCOMPARE(b.texts[i].element, a.texts[i].element);
            QCOMPARE(b.texts[i].font.family(), a.texts[i].font.family());
            QCOMPARE(b.texts[i].font.pointSizeF(), a.texts[i].font.pointSizeF());
            QCOMPARE(b.texts[i].font.bold(), a.texts[i].font.bold());
            QCOMPARE(b.texts[i].wordWrap, a.texts[i].wordWrap);
            QCOMPARE(b.texts[i].alignment, a.texts[i].alignment);
        }
        QCOMPARE(b.lines.size(), a.lines.size());
        for (size_t i = 0; i < a.lines.size(); ++i) {
            QCOMPARE(b.lines[i].line, a.lines[i].line);
            QCOMPARE(b.lines[i].width, a.lines[i].width);
        }
        QCOMPARE(b.pictures.size(), a.pictures.size());
        for (size_t i = 0; i < a.pictures.size(); ++i) {
            QCOMPARE(b.pictures[i].rect, a.pictures[i].rect);
            QCOMPARE(b.pictures[i].image.convertToFormat(QImage::Format_RGB32),
                     a.pictures[i].image.convertToFormat(QImage::Format_RGB32));
        }
    }
    // The logo heads every page but is stored once.
    QVERIFY(QFileInfo(path).size() < 3 * 200 * 60);
    // The test's own framing matches the engine's, so the rows below reach the payload parser.
    const QByteArray bytes = reportToBytes(*original);
    QCOMPARE(framed(bytes.mid(20)), bytes);
}

void TestReportFile::badFilesAreRefused_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("message");

    const QByteArray good = reportToBytes(*sampleDocument());
    const QString notReport = u"não é um relatório salvo pelo Quivel"_s;
    const QString truncated = u"incompleto (truncado)"_s;
    const QString corrupt = u"corrompido"_s;

    QTest::newRow("empty") << QByteArray() << notReport;
    QTest::newRow("text file") << QByteArray("Mídias cadastradas\n") << notReport;
    QTest::newRow("magic only") << good.left(8) << truncated;
    QTest::newRow("header cut") << good.left(15) << truncated;
    QTest::newRow("payload cut") << good.left(good.size() - 10) << truncated;
    QTest::newRow("header only") << good.left(20) << truncated;
    QByteArray flipped = good;
    flipped[good.size() / 2] = char(flipped[good.size() / 2] ^ 0x5A);
    QTest::newRow("byte changed") << flipped << corrupt;
    QTest::newRow("bytes appended") << good + QByteArray(16, 'x') << corrupt;
    QByteArray newer = good;
    newer[9] = char(reportFileVersion + 1);
    QTest::newRow("newer version") << newer << u"no formato %1"_s.arg(reportFileVersion + 1);
    QByteArray none = good;
    none[9] = 0;
    QTest::newRow("format 0") << none << u"no formato 0"_s;
    // Well-formed headers (right length, right CRC) over payloads that are not a report.
    const QByteArray payload = good.mid(20);
    QTest::newRow("payload cut, header redone")
        << framed(payload.left(payload.size() / 2)) << corrupt;
    QTest::newRow("garbage payload") << framed(QByteArray(64, '\xff')) << corrupt;
    QByteArray hugeCount;
    QDataStream out(&hugeCount, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_6_0);
    out << u"t"_s << 210.0 << 297.0 << quint32(0) << quint32(0x7fffffff);
    QTest::newRow("absurd page count") << framed(hugeCount) << corrupt;
}

void TestReportFile::badFilesAreRefused()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    try {
        reportFromBytes(bytes, u"relatorio.qvr"_s);
        QFAIL("a bad report file was accepted");
    } catch (const ReportError &error) {
        QVERIFY2(error.message().contains(message) && error.message().contains(u"relatorio.qvr"_s),
                 qPrintable(error.message()));
    }
}

void TestReportFile::missingFileIsRefused()
{
    QTemporaryDir dir;
    try {
        loadReportFile(dir.filePath(u"nada.qvr"_s));
        QFAIL("a missing file was loaded");
    } catch (const ReportError &error) {
        QVERIFY2(error.message().startsWith(u"Não foi possível abrir"_s),
                 qPrintable(error.message()));
    }
}

// A file of the first format holds a wrapped text whole, as it was before texts were cut when
// the page is made: reading it cuts the text as a page would, and leaves others as they are.
void TestReportFile::wrappedTextOfAFormatOneFileIsCutWhenRead()
{
    const QString whole = u"Ábaco Édito Íntegro Ótica Último "_s.repeated(6) + u"FIM"_s;
    QFont font(u"Arial"_s);
    font.setPointSizeF(10);
    ReportDocument document;
    ReportPage page;
    page.texts.push_back({QRectF(20, 30, 40, 9), whole, font, Qt::AlignLeft, true, u"obs"_s, {}});
    page.texts.push_back(
        {QRectF(20, 50, 40, 5), u"Mídia 1"_s, font, Qt::AlignLeft, false, u"titulo"_s, {}});
    document.appendPage(page);
    QByteArray bytes = reportToBytes(document);
    bytes[9] = 1;

    const ReportPage read = reportFromBytes(bytes, u"antigo.qvr"_s).page(0);
    const PageText &cut = read.texts.at(0);
    const QStringList lines = cut.text.split(u'\n');
    const double lineHeight = reportFontMetrics(font).height() / reportUnitsPerMm;
    QCOMPARE(lines.size(), int(cut.rect.height() / lineHeight));
    QVERIFY(lines.back().endsWith(u'…'));
    QVERIFY(whole.startsWith(lines.join(u' ').chopped(1)));
    QVERIFY(!cut.text.contains(u"FIM"_s));
    QVERIFY(cut.wordWrap);
    QCOMPARE(read.texts.at(1).text, u"Mídia 1"_s);

    // The current format keeps what the page held.
    QCOMPARE(reportFromBytes(reportToBytes(document), u"novo.qvr"_s).page(0).texts.at(0).text,
             whole);
}

QTEST_MAIN(TestReportFile)
#include "tst_report_file.moc"
