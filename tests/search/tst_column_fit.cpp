// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/column_fit.h"

#include "catalogue/catalogue.h"
#include "data/connection.h"
#include "data/data_module.h"
#include "data/query.h"
#include "shell/application.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QFontMetrics>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

QFont titleFont()
{
    QFont font(u"Calibri"_s);
    font.setPixelSize(16);
    font.setBold(true);
    return font;
}

QFont dialogFont()
{
    QFont font(u"MS Sans Serif"_s);
    font.setPixelSize(11);
    return font;
}

} // namespace

class TestColumnFit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { installFontSubstitutions(); }
    void trickyTextGetsItsExactWidth_data();
    void trickyTextGetsItsExactWidth();
    void boundHoldsForRandomLatin1Texts();
    void fitOverAResultEqualsEveryCell_data();
    void fitOverAResultEqualsEveryCell();
    void boundsLearntOnAnotherThreadAreTheSame_data();
    void boundsLearntOnAnotherThreadAreTheSame();
};

void TestColumnFit::trickyTextGetsItsExactWidth_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("negative kerning") << u"AVAVAVAV To Ty Va We Yo"_s;
    QTest::newRow("ligatures") << u"office affluent ffi ffl"_s;
    QTest::newRow("brackets after f and j") << u"f) (f) [j] {f} f' j\" f?"_s;
    QTest::newRow("quotes and periods") << u"LT' \"A\" r. F. P, Y; 'T'"_s;
    QTest::newRow("ordinary title") << u"Aplicativo 123456 edição 77"_s;
    QTest::newRow("ligature beside kerning") << u"Aplicativo 500001 edição 339"_s;
    QTest::newRow("ligature words again") << u"atitude ti atitude Tito tt ti."_s;
    QTest::newRow("upper Latin-1") << u"Ação Ñandú çÇ ÿ ß æ ø ¿¡ «»"_s;
    QTest::newRow("wide letters") << u"WWWWWWWWWWMMMMMMMM"_s;
    QTest::newRow("narrow letters") << u"ii.ll!!|||::"_s;
    QTest::newRow("spaces around") << u"   espaços   "_s;
    QTest::newRow("no-break spaces") << u"\u00a0\u00a0x\u00a0"_s;
    QTest::newRow("soft hyphen") << u"a\u00adb\u00ad"_s;
    QTest::newRow("tab") << u"a\tb"_s;
    QTest::newRow("string separator") << u"longo\u009ccurto"_s;
    QTest::newRow("combining accent") << u"e\u0301e\u0301e\u0301"_s;
    QTest::newRow("fallback font") << u"⸻⸻⸻⸻"_s;
    QTest::newRow("CJK") << u"漢字漢字"_s;
    QTest::newRow("emoji") << u"😀😀"_s;
    QTest::newRow("one character") << u"W"_s;
}

// The column is given a width one pixel short of the text's, so the fit gets it right only
// if the text's bound does not fall below its width; and the exact width, so the text
// must not widen it.
void TestColumnFit::trickyTextGetsItsExactWidth()
{
    QFETCH(QString, text);
    TempCatalogue catalogue;
    catalogue.exec(u"INSERT INTO cds (codigo, titulo) VALUES (-98765432100, 'x')"_s);
    TADOConnection connection;
    connection.setConnectionString(u"Data Source="_s + catalogue.path() + u';');
    TADOQuery query(u"Q"_s, &connection);
    query.setSql({u"select :t as texto, codigo from cds"_s});
    query.setParameter(u"t"_s, text);
    query.open();
    QCOMPARE(query.textAt(0, 0), text);

    for (const QFont &font : {titleFont(), dialogFont()}) {
        const QFontMetrics metrics(font);
        const std::vector<int> exact{metrics.horizontalAdvance(text),
                                     metrics.horizontalAdvance(query.textAt(0, 1))};
        const int bound = ColumnFit::FontBounds::of(font).upperBound(text.toUtf8().toStdString());
        QVERIFY2(bound < 0 || bound >= exact[0],
                 qPrintable(u"bound %1 < width %2"_s.arg(bound).arg(exact[0])));
        std::vector<int> widths{exact[0] - 1, exact[1] - 1};
        ColumnFit::widenToTexts(query, 0, font, widths);
        QCOMPARE(widths, exact);
        ColumnFit::widenToTexts(query, 0, font, widths);
        QCOMPARE(widths, exact);
    }
}

// Shaping beyond pairs would show here: many random runs of the characters the bound
// covers, and of the few that kern or join ligatures the most, none wider than its bound.
// The bound must also be tight, or the fit would measure nearly every text.
void TestColumnFit::boundHoldsForRandomLatin1Texts()
{
    QString latin1;
    for (char16_t u = 0x20; u <= 0xff; ++u) {
        if (u < 0x7f || (u >= 0xa0 && u != 0xad))
            latin1 += QChar(u);
    }
    const QString kerningAndLigatures = u"fifljtTAVWYyvoa.,'\" ()"_s;
    QRandomGenerator random(17);
    for (const QFont &font : {titleFont(), dialogFont()}) {
        const QFontMetrics metrics(font);
        const ColumnFit::FontBounds &bounds = ColumnFit::FontBounds::of(font);
        for (const QString &characters : {latin1, kerningAndLigatures}) {
            int exact = 0;
            constexpr int runs = 4000;
            for (int i = 0; i < runs; ++i) {
                QString text;
                const int length = 1 + int(random.bounded(30));
                for (int k = 0; k < length; ++k)
                    text += characters[int(random.bounded(int(characters.size())))];
                const int width = metrics.horizontalAdvance(text);
                const int bound = bounds.upperBound(text.toUtf8().toStdString());
                QVERIFY2(bound >= width,
                         qPrintable(u"'%1': bound %2 < width %3"_s.arg(text, QString::number(bound),
                                                                       QString::number(width))));
                exact += bound == width ? 1 : 0;
            }
            QVERIFY2(exact >= runs / 2, qPrintable(u"bound exact for only %1 of %2 texts"_s.arg(
                                            QString::number(exact), QString::number(runs))));
        }
    }
}

void TestColumnFit::fitOverAResultEqualsEveryCell_data()
{
    QTest::addColumn<bool>("cheapBound");
    QTest::addColumn<int>("firstRecord");
    QTest::addColumn<int>("recordsPerRun");
    // Painting that holds the window's thread a while at each tick, so that a second thread
    // takes most runs, the late tricky values among them.
    QTest::addColumn<int>("paintMs");
    QTest::newRow("every cell") << false << 0 << 16384 << 0;
    QTest::newRow("cheap bound") << true << 0 << 16384 << 0;
    QTest::newRow("cheap bound from a later record") << true << 2500 << 16384 << 0;
    QTest::newRow("two threads") << true << 0 << 700 << 0;
    QTest::newRow("two threads, slow painting") << true << 0 << 700 << 4;
    QTest::newRow("two threads from a later record") << true << 2500 << 333 << 4;
}

// Texts that defeat a careless shortcut (tabs, characters from fallback fonts, kerned and
// wide values late in the result, many repeats) among thousands of ordinary ones.
void TestColumnFit::fitOverAResultEqualsEveryCell()
{
    QFETCH(bool, cheapBound);
    QFETCH(int, firstRecord);
    QFETCH(int, recordsPerRun);
    QFETCH(int, paintMs);

    TempCatalogue catalogue(TempCatalogue::Content::None);
    Catalogue::createLarge(catalogue.path(), 6000, 0);
    catalogue.exec(u"UPDATE cds SET obs = 'a\tb' WHERE codigo = 10;"
                   "UPDATE cds SET tipo = '⸻⸻⸻⸻' WHERE codigo = 3500;"
                   "UPDATE cds SET local = '\t' WHERE codigo = 4000;"
                   "UPDATE cds SET obs = '漢字' WHERE codigo = 4500;"
                   "UPDATE cds SET local = '😀😀' WHERE codigo = 5999;"
                   "UPDATE cds SET titulo = 'AVAVAVAVAVAVAVAVAVAVAV' WHERE codigo = 5997;"
                   "UPDATE cds SET titulo = 'WWWWWWWWWWWWWWWWWWWWWW' WHERE codigo = 5998;"_s);
    const CurrentDirectory cwd(catalogue.directory());
    FakeDialogs dialogs;
    TDm1 dm([&](const QString &m) { dialogs.showMessage(m); });
    TADOQuery &query = dm.ADOQuery6;
    QCOMPARE(query.recordCount(), 6000);

    const QFont font = titleFont();
    const QFontMetrics metrics(font);
    std::vector<int> expected(5, 20);
    for (int r = firstRecord; r < query.recordCount(); ++r)
        for (int c = 0; c < 5; ++c)
            expected[size_t(c)] =
                std::max(expected[size_t(c)], metrics.horizontalAdvance(query.textAt(r, c)));

    std::vector<int> widths(5, 20);
    ColumnFit::Options options;
    options.cheapBound = cheapBound;
    options.recordsPerRun = recordsPerRun;
    int ticks = 0;
    options.tick = [&ticks, paintMs] {
        ++ticks;
        QThread::msleep(paintMs);
    };
    ColumnFit::widenToTexts(query, firstRecord, font, widths, options);
    QCOMPARE(widths, expected);
    QCOMPARE(query.recNo(), 0);
    QVERIFY(ticks > 0);
}

void TestColumnFit::boundsLearntOnAnotherThreadAreTheSame_data()
{
    QTest::addColumn<QFont>("font");
    QTest::addColumn<bool>("stopAtOnce");
    // Sizes no other test uses, so that nothing has learnt these fonts before.
    QFont title = titleFont();
    title.setPixelSize(13);
    QFont dialog = dialogFont();
    dialog.setPixelSize(14);
    dialog.setItalic(true);
    QTest::newRow("learnt") << title << false;
    QTest::newRow("stopped at once") << dialog << true;
}

// What another thread learnt bounds each text exactly as what this thread learns itself, and
// a learning stopped unfinished leaves the fit learning as before.
void TestColumnFit::boundsLearntOnAnotherThreadAreTheSame()
{
    QFETCH(QFont, font);
    QFETCH(bool, stopAtOnce);
    const bool threads = QThread::idealThreadCount() > 1;
    if (stopAtOnce) {
        const ColumnFit::Learning stopped(font);
        QCOMPARE(stopped.started(), threads);
    } else {
        ColumnFit::Learning learning(font);
        QCOMPARE(learning.started(), threads);
        learning.wait();
        // Learnt: the next search in the font starts no thread.
        QVERIFY(!ColumnFit::Learning(font).started());
    }
    const ColumnFit::FontBounds &shared = ColumnFit::FontBounds::of(font);
    const ColumnFit::FontBounds here(font);
    QStringList texts{u"AVAVAVAV To Ty Va We Yo"_s,
                      u"office affluent ffi ffl"_s,
                      u"f) (f) [j] {f} f' j\" f?"_s,
                      u"Ação Ñandú çÇ ÿ ß æ ø ¿¡ «»"_s,
                      u"Aplicativo 500001 edição 339"_s,
                      u"a\tb"_s,
                      u"漢字"_s};
    // Mostly the printable Latin-1 the bounds cover, now and then a character they do not.
    QString characters;
    for (char16_t u = 0x20; u <= 0xff; ++u) {
        if (u < 0x7f || (u >= 0xa0 && u != 0xad))
            characters += QChar(u);
    }
    characters += u"\t€"_s;
    QRandomGenerator random(29);
    for (int i = 0; i < 2000; ++i) {
        QString text;
        const int length = 1 + int(random.bounded(24));
        for (int k = 0; k < length; ++k)
            text += characters[int(random.bounded(int(characters.size())))];
        texts.append(text);
    }
    int covered = 0;
    for (const QString &text : std::as_const(texts)) {
        const std::string utf8 = text.toUtf8().toStdString();
        const int bound = here.upperBound(utf8);
        QCOMPARE(shared.upperBound(utf8), bound);
        covered += bound >= 0 ? 1 : 0;
    }
    // Most texts are bounded, so the tables were compared, not only their gaps.
    QVERIFY2(covered > int(texts.size()) / 2, qPrintable(QString::number(covered)));
}

QTEST_MAIN(TestColumnFit)
#include "tst_column_fit.moc"
