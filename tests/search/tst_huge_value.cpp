// SPDX-License-Identifier: GPL-3.0-or-later
// A stored value of tens of millions of characters: a search over it can be stopped and meets
// its time limit, and a cell and a column fit look only at its start.
#include "controls/db_lookup_combo_box.h"
#include "controls/shown_text.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/data_source.h"
#include "data/query.h"
#include "search/column_fit.h"
#include "shell/application.h"
#include "tests/support/temp_catalogue.h"

#include <QFontMetrics>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// 40,000,000 characters: past what one uninterruptible call may take while the user waits.
constexpr int hugeLength = 40'000'000;

struct Session
{
    explicit Session(const TempCatalogue &cat)
        : query(u"ADOQuery6"_s, &connection)
    {
        connection.setConnectionString(u"Data Source="_s + cat.path() + u';');
    }
    TADOConnection connection;
    TADOQuery query;
};

// A medium whose name is hugeLength letters 'a', written past the file's own size check.
void addHugeName(const TempCatalogue &cat)
{
    cat.exec(u"PRAGMA ignore_check_constraints = ON; UPDATE cds SET titulo = "
             "replace(hex(zeroblob(%1)), '0', 'a') WHERE codigo = 1"_s.arg(hugeLength / 2));
}

// Every 'a' starts a match that fails at the next one: twice the steps of the text.
const QStringList search{u"select * from cds where titulo like '%ab%'"_s};

} // namespace

class TestHugeValue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        installFontSubstitutions();
        m_cat = std::make_unique<TempCatalogue>(TempCatalogue::Content::Sample);
        addHugeName(*m_cat);
    }
    void cleanupTestCase() { m_cat.reset(); }
    void theStopEndsAMatchInsideOneValue();
    void theTimeLimitEndsAMatchInsideOneValue();
    void aCellAndAFitLookOnlyAtTheStart();
    void thePrefixNeverCutsACharacter();
    void theMediumListShowsOnlyTheStart();

private:
    std::unique_ptr<TempCatalogue> m_cat;
};

void TestHugeValue::theStopEndsAMatchInsideOneValue()
{
    Session s(*m_cat);
    int asked = 0;
    // Esc at once: the very first question stops the search.
    const bool finished = s.query.openInSteps(search, {}, [&](int) {
        ++asked;
        return false;
    });
    QVERIFY(!finished);
    QCOMPARE(asked, 1);
    QVERIFY(!s.query.active());
}

void TestHugeValue::theTimeLimitEndsAMatchInsideOneValue()
{
    Session s(*m_cat);
    s.connection.statementTimeLimitMs = 1;
    s.query.setSql(search);
    try {
        s.query.open();
        QFAIL("the search ran past its time limit");
    } catch (const EOleException &e) {
        QVERIFY2(e.message().contains(u"demorou demais"_s), qPrintable(e.message()));
    }
}

void TestHugeValue::aCellAndAFitLookOnlyAtTheStart()
{
    Session s(*m_cat);
    s.query.setSql({u"select titulo from cds where codigo = 1"_s});
    s.query.open();
    QCOMPARE(s.query.recordCount(), 1);
    const QString shown = ShownText::of(s.query, 0, 0);
    QCOMPARE(shown.size(), qsizetype(ShownText::maxBytes));
    QVERIFY(shown.startsWith(u"aaaa"_s));

    QFont font(u"MS Sans Serif"_s);
    font.setPixelSize(11);
    for (const bool cheapBound : {true, false}) {
        std::vector<int> widths{0};
        ColumnFit::Options options;
        options.cheapBound = cheapBound;
        ColumnFit::widenToTexts(s.query, 0, font, widths, options);
        QCOMPARE(widths[0], QFontMetrics(font).horizontalAdvance(shown));
    }
}

void TestHugeValue::thePrefixNeverCutsACharacter()
{
    // Three-byte characters put a boundary one or two bytes before the limit.
    for (int shift = 0; shift < 3; ++shift) {
        const QByteArray shifted =
            QByteArray(shift, 'x') + QString(int(ShownText::maxBytes), u'€').toUtf8();
        const std::string_view start =
            ShownText::prefix(std::string_view(shifted.constData(), size_t(shifted.size())));
        QVERIFY(start.size() <= ShownText::maxBytes);
        QVERIFY(start.size() > ShownText::maxBytes - 3);
        const QString decoded = QString::fromUtf8(start.data(), qsizetype(start.size()));
        QVERIFY(!decoded.contains(QChar::ReplacementCharacter));
        QCOMPARE(decoded.toUtf8().size(), qsizetype(start.size()));
    }
    const std::string_view small("curto");
    QCOMPARE(ShownText::prefix(small), small);
}

// The software window's medium box lists every medium's name.
void TestHugeValue::theMediumListShowsOnlyTheStart()
{
    Session s(*m_cat);
    s.query.setSql({u"select * from cds"_s});
    s.query.open();
    TDataSource source(&s.query);
    TLookupListModel model;
    model.setListSource(&source);
    model.setListField(u"titulo"_s);
    QVERIFY(s.query.locate(u"codigo"_s, 1));
    const int row = s.query.recNo();
    QCOMPARE(model.textAt(row).size(), qsizetype(ShownText::maxBytes));
    QCOMPARE(model.data(model.index(row), Qt::DisplayRole).toString().size(),
             qsizetype(ShownText::maxBytes));
    // The other names are whole.
    QCOMPARE(model.textAt(row + 1), s.query.textAt(row + 1, 1));
}

QTEST_MAIN(TestHugeValue)
#include "tst_huge_value.moc"
