// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue.h"
#include "data/engine/sqlite/statement.h"
#include "tests/support/temp_catalogue.h"

#include <QFile>
#include <QTest>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

struct MemoryDatabase
{
    sqlite3 *db = nullptr;
    MemoryDatabase()
    {
        sqlite3_open(":memory:", &db);
        sqlite3_exec(db, "CREATE TABLE t (v)", nullptr, nullptr, nullptr);
    }
    ~MemoryDatabase() { sqlite3_close(db); }
};

} // namespace

class TestStatement : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void valuesComeBackAsBound_data();
    void valuesComeBackAsBound();
    void namedParametersAndReuse();
    void failuresCarryTheEngineCodeAndNameTheCatalogue();
    void finalizedOnEveryPathOut();
};

void TestStatement::valuesComeBackAsBound_data()
{
    QTest::addColumn<QVariant>("bound");
    QTest::addColumn<QVariant>("read");
    QTest::addColumn<QString>("type");
    QTest::newRow("invalid is NULL") << QVariant() << QVariant() << "null";
    QTest::newRow("empty text stays text")
        << QVariant(QString(u""_s)) << QVariant(QString()) << "text";
    QTest::newRow("int") << QVariant(7) << QVariant::fromValue<qlonglong>(7) << "integer";
    QTest::newRow("large") << QVariant::fromValue<qlonglong>(1LL << 40)
                           << QVariant::fromValue<qlonglong>(1LL << 40) << "integer";
    QTest::newRow("real") << QVariant(2.5) << QVariant(2.5) << "real";
    QTest::newRow("accented text")
        << QVariant(u"Ação 漢字 😀"_s) << QVariant(u"Ação 漢字 😀"_s) << "text";
}

void TestStatement::valuesComeBackAsBound()
{
    QFETCH(QVariant, bound);
    QFETCH(QVariant, read);
    QFETCH(QString, type);
    MemoryDatabase m;
    Statement insert(m.db, u"INSERT INTO t VALUES (?)"_s);
    insert.bind(1, bound);
    QCOMPARE(insert.execute(), 1);
    Statement select(m.db, u"SELECT v, typeof(v) FROM t"_s);
    QVERIFY(select.step());
    QCOMPARE(select.text(1), type);
    QCOMPARE(select.isNull(0), type == u"null");
    QCOMPARE(select.value(0), read);
    QVERIFY(!select.step());
}

void TestStatement::namedParametersAndReuse()
{
    MemoryDatabase m;
    Statement insert(m.db, u"INSERT INTO t VALUES (:valor)"_s);
    for (int i = 1; i <= 3; ++i) {
        insert.bind(u"valor"_s, i * 10);
        insert.bind(u"ausente"_s, 99); // not in the statement: ignored
        insert.execute();
        insert.reset();
    }
    Statement sum(m.db, u"SELECT sum(v), count(*) FROM t"_s);
    QVERIFY(sum.step());
    QCOMPARE(sum.integer(0), 60);
    QCOMPARE(sum.integer(1), 3);
}

void TestStatement::failuresCarryTheEngineCodeAndNameTheCatalogue()
{
    MemoryDatabase m;
    try {
        Statement bad(m.db, u"SELECT * FROM nenhuma"_s, u"/tmp/quivel.mdb"_s);
        QFAIL("a statement on a missing table was prepared");
    } catch (const EngineError &e) {
        QCOMPARE(e.resultCode() & 0xFF, SQLITE_ERROR);
        QCOMPARE(e.engineText(), u"no such table: nenhuma"_s);
        QCOMPARE(e.className(), u"EOleException"_s);
    }
    QVERIFY_THROWS_EXCEPTION(EOleException, Statement(m.db, u"  "_s));

    TempCatalogue cat;
    sqlite3 *db = nullptr;
    sqlite3_open_v2(QFile::encodeName(cat.path()).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_extended_result_codes(db, 1);
    try {
        Statement write(db, u"INSERT INTO cds (titulo) VALUES ('x')"_s, cat.path());
        write.execute();
        QFAIL("a read-only connection wrote");
    } catch (const EngineError &e) {
        QCOMPARE(e.resultCode() & 0xFF, SQLITE_READONLY);
        QVERIFY2(e.message().contains(cat.path()), qPrintable(e.message()));
    }
    sqlite3_close(db);
}

void TestStatement::finalizedOnEveryPathOut()
{
    sqlite3 *db = nullptr;
    sqlite3_open(":memory:", &db);
    sqlite3_extended_result_codes(db, 1);
    sqlite3_exec(db, "CREATE TABLE t (v INTEGER CHECK (v < 3))", nullptr, nullptr, nullptr);
    {
        Statement unstepped(db, u"SELECT 1"_s);
        Statement halfRead(db, u"SELECT 1 UNION ALL SELECT 2"_s);
        QVERIFY(halfRead.step());
    }
    try {
        Statement failing(db, u"INSERT INTO t VALUES (5)"_s);
        failing.execute();
        QFAIL("the CHECK did not hold");
    } catch (const EngineError &e) {
        QCOMPARE(e.resultCode(), SQLITE_CONSTRAINT_CHECK);
    }
    // A statement left behind would make the close fail with SQLITE_BUSY.
    QCOMPARE(sqlite3_close(db), SQLITE_OK);
}

QTEST_GUILESS_MAIN(TestStatement)
#include "tst_statement.moc"
