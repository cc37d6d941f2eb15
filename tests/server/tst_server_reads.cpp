// SPDX-License-Identifier: GPL-3.0-or-later
// Reading a server's rows while the program stays live: gradual reads that give way to other
// statements on the one connection, the event loop served while rows arrive, and a search
// stopped midway that keeps the result shown before it.
#include "catalogue/server_catalogue.h"
#include "data/connection.h"
#include "data/data_module.h"
#include "data/query.h"
#include "search/search_window.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/test_server.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <set>

using namespace Qt::StringLiterals;

namespace {

const QStringList allTitles{u"SELECT numero, nome, descricao, codigo, titulo"_s,
                            u"FROM softs, cds"_s, u"where softs.midia = cds.codigo"_s};

const QStringList searchLines{u"SELECT numero AS CÓDIGO, nome AS APLICATIVO, titulo AS MÍDIA"_s,
                              u"FROM softs, cds"_s,
                              u"where nome like :texto and softs.midia = cds.codigo"_s};

QStringList rowsOf(TADOQuery &query)
{
    QStringList rows;
    for (int row = 0; row < query.recordCount(); ++row) {
        QStringList cells;
        for (int c = 0; c < query.fieldCount(); ++c)
            cells << query.textAt(row, c);
        rows << cells.join(u'|');
    }
    return rows;
}

struct Session
{
    explicit Session(const QString &uri)
    {
        connection.setConnectionString(uri);
        connection.open();
    }
    TADOConnection connection;
    TADOQuery titles{u"ADOQuery4"_s, &connection};
    TADOQuery other{u"ADOQuery1"_s, &connection};
};

} // namespace

class TestServerReads : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void gradualReadGivesWayToOtherStatements_data();
    void gradualReadGivesWayToOtherStatements();
    void eventLoopRunsWhileRowsArrive();
    void openDoesNotWaitForTheFirstRow();
    void searchStoppedMidwayKeepsThePreviousResult();
    void escapeInTheSearchWindowKeepsThePreviousResult();

private:
    std::unique_ptr<TestServer> m_server;
    QString m_uri;
    QString m_db = u"muitos"_s;
};

void TestServerReads::initTestCase()
{
    m_server = std::make_unique<TestServer>();
    QUIVEL_REQUIRE_SERVER(*m_server);
    m_uri = m_server->createDatabase(m_db);
    ServerCatalogue::createLarge(m_uri, 100, 30000);
}

// A gradual read left pending while another statement runs on the same connection: the other
// statement gets its own answer, and the read then ends with every row of a whole read, in the
// same order.
void TestServerReads::gradualReadGivesWayToOtherStatements_data()
{
    QTest::addColumn<std::function<void(Session &)>>("other");
    // A write reads pending results to their end first, so they never miss its change.
    QTest::addColumn<bool>("endsTheRead");
    QTest::addRow("another read") << std::function<void(Session &)>([](Session &s) {
        s.other.setSql({u"select * from cds where codigo <= 3"_s});
        s.other.open();
        QCOMPARE(s.other.recordCount(), 3);
    }) << false;
    QTest::addRow("a search") << std::function<void(Session &)>([](Session &s) {
        QVERIFY(s.other.openInSteps(searchLines, {{u"texto"_s, u"Aplicativo 1234 %"_s}},
                                    [](int) { return true; }));
        QCOMPARE(s.other.recordCount(), 1);
        QVERIFY(s.other.textAt(0, 1).startsWith(u"Aplicativo 1234 edição "_s));
    }) << false;
    QTest::addRow("a save") << std::function<void(Session &)>([](Session &s) {
        s.other.setSql({u"select * from cds where codigo = 7"_s});
        s.other.open();
        s.other.edit();
        s.other.fieldByName(u"local"_s)->setAsString(u"Armário novo"_s);
        s.other.post();
        s.other.close();
        s.other.open();
        QCOMPARE(s.other.fieldByName(u"local"_s)->asString(), u"Armário novo"_s);
    }) << true;
    QTest::addRow("a statement left pending") << std::function<void(Session &)>([](Session &s) {
        s.other.setSql({u"select codigo, titulo from cds"_s});
        s.other.maxRowsPerSlice = 5;
        s.other.openGradually();
        QVERIFY(s.other.readPending());
        QCOMPARE(s.other.recordCount(), 100);
    }) << false;
}

void TestServerReads::gradualReadGivesWayToOtherStatements()
{
    QFETCH(std::function<void(Session &)>, other);
    QFETCH(bool, endsTheRead);
    Session whole(m_uri);
    whole.titles.setSql(allTitles);
    whole.titles.open();
    const QStringList expected = rowsOf(whole.titles);
    QCOMPARE(expected.size(), 30000);

    Session s(m_uri);
    s.titles.setSql(allTitles);
    s.titles.maxRowsPerSlice = 10;
    s.titles.openGradually();
    QVERIFY(s.titles.readPending());
    const auto growing = s.titles.growingResult();
    const int before = growing->rows()->rowCount();
    QVERIFY(before < 30000);

    other(s);
    if (QTest::currentTestFailed())
        return;
    // Another read took the rest of the rows in on the way, but they are the titles query's
    // still: only it ends its read.
    QCOMPARE(s.titles.readPending(), !endsTheRead);
    if (!endsTheRead)
        QCOMPARE(growing->rows()->rowCount(), before);
    while (!growing->complete())
        growing->readMore();
    QCOMPARE(rowsOf(s.titles), expected);
}

// Rows that the server sends a few at a time, with pauses between: the read goes on from the
// event loop, which serves other events between them. Each row fills the server's send buffer,
// so none waits there for the next.
void TestServerReads::eventLoopRunsWhileRowsArrive()
{
    Session s(m_uri);
    s.titles.setSql({u"SELECT g AS n, repeat('x', 20000) AS enchimento,"_s,
                     u"CASE WHEN g > 1 THEN pg_catalog.pg_sleep(0.3)::text END AS pausa"_s,
                     u"FROM generate_series(1, 5) AS g"_s});
    s.titles.openGradually();
    QVERIFY(s.titles.readPending());
    const auto growing = s.titles.growingResult();

    std::set<int> seenByTheLoop;
    QTimer tick;
    tick.setInterval(10);
    connect(&tick, &QTimer::timeout, &tick, [&] {
        if (s.titles.readPending())
            seenByTheLoop.insert(growing->rows()->rowCount());
    });
    tick.start();
    QTRY_VERIFY_WITH_TIMEOUT(!s.titles.readPending(), 20000);
    tick.stop();
    QCOMPARE(s.titles.recordCount(), 5);
    QCOMPARE(s.titles.textAt(4, 0), u"5"_s);
    // The loop ran while the read had some rows and not yet the rest.
    QVERIFY2(seenByTheLoop.size() >= 2, qPrintable(QString::number(seenByTheLoop.size())));
    QVERIFY(*seenByTheLoop.rbegin() < 5);
}

// A server that works a while before its first row (as it does for a join over many titles):
// the open returns with the columns and no row yet, and the rows come from the event loop, the
// cursor on the first as after any open.
void TestServerReads::openDoesNotWaitForTheFirstRow()
{
    Session s(m_uri);
    s.titles.setSql(
        {u"SELECT g AS n, pg_catalog.pg_sleep(CASE WHEN g = 1 THEN 1 ELSE 0 END)::text"_s,
         u"AS pausa FROM generate_series(1, 3) AS g"_s});
    s.titles.openGradually();
    QVERIFY(s.titles.active());
    QVERIFY(s.titles.readPending());
    QCOMPARE(s.titles.growingResult()->rows()->rowCount(), 0);
    QCOMPARE(s.titles.fieldCount(), 2);
    QVERIFY(s.titles.fieldByName(u"n"_s));

    QTRY_VERIFY_WITH_TIMEOUT(!s.titles.readPending(), 20000);
    QCOMPARE(s.titles.recordCount(), 3);
    QVERIFY(!s.titles.eof());
    QCOMPARE(s.titles.fieldByName(u"n"_s)->asInteger(), 1);
    s.titles.last();
    QCOMPARE(s.titles.fieldByName(u"n"_s)->asInteger(), 3);
}

// A search over every title stopped once some thousands of rows are in: the query keeps the
// result it had, and the connection answers the next statement at once.
void TestServerReads::searchStoppedMidwayKeepsThePreviousResult()
{
    Session s(m_uri);
    const TADOQuery::Parameters few{{u"texto"_s, u"%edição 999%"_s}};
    QVERIFY(s.titles.openInSteps(searchLines, few, [](int) { return true; }));
    const QStringList previous = rowsOf(s.titles);
    QVERIFY(!previous.isEmpty() && previous.size() < 100);

    int rowsAtStop = -1;
    const bool completed =
        s.titles.openInSteps(searchLines, {{u"texto"_s, u"%a%"_s}}, [&](int rows) {
            if (rows < 2000)
                return true;
            rowsAtStop = rows;
            return false;
        });
    QVERIFY(!completed);
    QVERIFY(rowsAtStop >= 2000 && rowsAtStop < 30000);
    QCOMPARE(rowsOf(s.titles), previous);
    QCOMPARE(s.titles.parameter(u"texto"_s).toString(), u"%edição 999%"_s);

    s.other.setSql({u"select count(*) AS n from softs"_s});
    s.other.open();
    QCOMPARE(s.other.textAt(0, 0), u"30000"_s);
    QVERIFY(s.titles.openInSteps(searchLines, {{u"texto"_s, u"%a%"_s}}, [](int) { return true; }));
    QCOMPARE(s.titles.recordCount(), 30000);
}

// The search window on the server: Esc pressed while "a" is read over every title stops it,
// the status says so and the grid keeps the previous result; the next search completes.
void TestServerReads::escapeInTheSearchWindowKeepsThePreviousResult()
{
    TempCatalogue elsewhere(TempCatalogue::Content::None);
    const CurrentDirectory cd(elsewhere.directory());
    qputenv("QUIVEL_DATABASE", m_uri.toUtf8());
    FakeDialogs dialogs;
    TDm1 dm([&](const QString &m) { dialogs.showMessage(m); });
    qunsetenv("QUIVEL_DATABASE");
    QWidget owner;
    TForm4 w(&owner, u"edição 999"_s, 1, dm);
    TADOQuery &query = dm.ADOQuery6;
    const QStringList previous = rowsOf(query);
    QVERIFY(!previous.isEmpty() && previous.size() < 100);
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    auto *box = w.findChild<QLineEdit *>(u"PesquisaAtual"_s);
    box->setText(u"a"_s);

    // Esc is waiting when the search starts: the window's first progress report, made while
    // the server's rows arrive, takes it. What the window shows then is noted.
    QString statusAtEscape;
    QTimer::singleShot(0, &w, [&] { statusAtEscape = w.statusText(); });
    QCoreApplication::postEvent(box,
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    w.ExecutaPesquisa();
    QVERIFY2(QRegularExpression(u"^AGUARDE\\.\\.\\. PESQUISANDO\\.\\.\\. [0-9.]+ registros "
                                "encontrados \\(Esc interrompe\\)$"_s)
                 .match(statusAtEscape)
                 .hasMatch(),
             qPrintable(statusAtEscape));
    QCOMPARE(w.statusText(), u"Pesquisa interrompida; o resultado anterior foi mantido."_s);
    QCOMPARE(rowsOf(query), previous);
    QCOMPARE(dialogs.messages, QStringList());

    w.ExecutaPesquisa();
    QCOMPARE(w.statusText(), u"Pesquisa Concluida!"_s);
    QCOMPARE(query.recordCount(), 30000);
}

QTEST_MAIN(TestServerReads)
#include "tst_server_reads.moc"
