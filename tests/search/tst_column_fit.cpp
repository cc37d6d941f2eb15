// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/column_fit.h"

#include "data/catalogue.h"
#include "data/data_module.h"
#include "shell/application.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QFontMetrics>
#include <QTest>

#include <algorithm>
#include <memory>

using namespace Qt::StringLiterals;

class TestColumnFit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { installFontSubstitutions(); }
    void shortcutsGiveTheExactWidths_data();
    void shortcutsGiveTheExactWidths();
    void narrowBoundHoldsForTheTitleFont();
};

void TestColumnFit::shortcutsGiveTheExactWidths_data()
{
    QTest::addColumn<int>("threads");
    QTest::addColumn<bool>("skipRepeats");
    QTest::addColumn<bool>("skipNarrow");
    QTest::addColumn<int>("firstRecord");
    QTest::newRow("one thread, no shortcut") << 1 << false << false << 0;
    QTest::newRow("repeats") << 1 << true << false << 0;
    QTest::newRow("narrow") << 1 << false << true << 0;
    QTest::newRow("two threads, all shortcuts") << 2 << true << true << 0;
    QTest::newRow("from a later record") << 2 << true << true << 2500;
}

// Enough records for the second thread, with the texts that defeat a careless shortcut
// (tabs, characters from fallback fonts, wide values late in the result) spread over both
// halves.
void TestColumnFit::shortcutsGiveTheExactWidths()
{
    QFETCH(int, threads);
    QFETCH(bool, skipRepeats);
    QFETCH(bool, skipNarrow);
    QFETCH(int, firstRecord);

    TempCatalogue catalogue(TempCatalogue::Content::None);
    Catalogue::createLarge(catalogue.path(), 6000, 0);
    // A tab measures as a tab stop and "⸻" comes from a fallback font: both are wider than
    // their length times the title font's widest character, and wider than their column.
    catalogue.exec(
        u"UPDATE cds SET obs = 'a\tb' WHERE codigo = 10;"
        "UPDATE cds SET tipo = '⸻⸻⸻⸻' WHERE codigo = 3500;"
        "UPDATE cds SET local = '\t' WHERE codigo = 4000;"
        "UPDATE cds SET obs = '漢字' WHERE codigo = 4500;"
        "UPDATE cds SET local = '😀😀' WHERE codigo = 5999;"
        "UPDATE cds SET titulo = 'WWWWWWWWWWWWWWWWWWWWWWWWWWWWWW' WHERE codigo = 5998;"_s);
    const CurrentDirectory cwd(catalogue.directory());
    FakeDialogs dialogs;
    TDm1 dm([&](const QString &m) { dialogs.showMessage(m); });
    TADOQuery &query = dm.ADOQuery6;
    QCOMPARE(query.recordCount(), 6000);

    QFont font(u"Calibri"_s);
    font.setPixelSize(16);
    font.setBold(true);
    const QFontMetrics metrics(font);
    std::vector<int> expected(5, 20);
    for (int r = firstRecord; r < query.recordCount(); ++r)
        for (int c = 0; c < 5; ++c)
            expected[size_t(c)] =
                std::max(expected[size_t(c)], metrics.horizontalAdvance(query.textAt(r, c)));

    std::vector<int> widths(5, 20);
    ColumnFit::widenToTexts(query, firstRecord, font, widths, {threads, skipRepeats, skipNarrow});
    QCOMPARE(widths, expected);
    QCOMPARE(query.recNo(), 0);
}

// The narrow-text shortcut assumes no run of plain Latin-1 characters is wider than its
// length times the font's widest character. Pairs would show a positive kerning that breaks it.
void TestColumnFit::narrowBoundHoldsForTheTitleFont()
{
    QFont font(u"Calibri"_s);
    font.setPixelSize(16);
    font.setBold(true);
    const QFontMetrics metrics(font);
    const int widest = metrics.maxWidth();
    QVERIFY(widest > 0);
    QString characters;
    for (char16_t u = 0x20; u <= 0xff; ++u) {
        if (u < 0x7f || u >= 0xa0)
            characters += QChar(u);
    }
    int worst = 0;
    for (const QChar a : characters)
        for (const QChar b : characters)
            worst = std::max(worst, metrics.horizontalAdvance(QString(a) + b));
    QVERIFY2(worst <= 2 * widest, qPrintable(u"%1 > 2 × %2"_s.arg(worst).arg(widest)));
}

QTEST_MAIN(TestColumnFit)
#include "tst_column_fit.moc"
