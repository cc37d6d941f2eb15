// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/query.h"
#include "tests/support/temp_catalogue.h"

#include <QTest>

using namespace Qt::StringLiterals;

// Rows another program wrote in shapes this one would never write: each can still be
// changed in its other columns, and deleted.
class TestForeignRows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsThatAreNoPlainTextCanBeWrittenBack_data();
    void rowsThatAreNoPlainTextCanBeWrittenBack();
};

void TestForeignRows::rowsThatAreNoPlainTextCanBeWrittenBack_data()
{
    QTest::addColumn<QString>("stored"); // SQL for titulo of medium 1
    QTest::newRow("invalid UTF-8") << u"CAST(x'41ff42c3' AS TEXT)"_s;
    QTest::newRow("blob") << u"x'00010203fe'"_s;
    QTest::newRow("longer than the field") << u"'%1'"_s.arg(QString(40, u'é'));
    QTest::newRow("integer in a text column") << u"42"_s;
    QTest::newRow("empty text") << u"''"_s;
}

void TestForeignRows::rowsThatAreNoPlainTextCanBeWrittenBack()
{
    QFETCH(QString, stored);
    TempCatalogue cat;
    cat.exec(u"PRAGMA ignore_check_constraints = 1; INSERT INTO cds (codigo, titulo, obs) VALUES "
             "(1, %1, 'a'), (2, %1, 'b')"_s.arg(stored));
    const QString before = cat.scalar(u"SELECT hex(titulo) || typeof(titulo) FROM cds WHERE "
                                      "codigo = 1"_s);

    TADOConnection connection;
    connection.setConnectionString(u"Data Source="_s + cat.path() + u';');
    TADOQuery query(u"ADOQuery1"_s, &connection);
    query.setSql({u"select * from cds order by codigo"_s});
    query.open();

    // Another column of the row is saved, and the odd value stays as it was.
    query.edit();
    query.fieldByName(u"obs"_s)->setAsString(u"mudou"_s);
    query.post();
    QCOMPARE(cat.scalar(u"SELECT obs FROM cds WHERE codigo = 1"_s), u"mudou"_s);
    QCOMPARE(cat.scalar(u"SELECT hex(titulo) || typeof(titulo) FROM cds WHERE codigo = 1"_s),
             before);

    query.remove();
    QCOMPARE(cat.scalar(u"SELECT count(*) FROM cds WHERE codigo = 1"_s), u"0"_s);
    // The conflict guard still works: a row changed elsewhere is not deleted.
    cat.exec(u"UPDATE cds SET titulo = 'outro' WHERE codigo = 2"_s);
    QCOMPARE(query.fieldByName(u"codigo"_s)->asInteger(), 2);
    QVERIFY_THROWS_EXCEPTION(EOleException, query.remove());
    QCOMPARE(cat.scalar(u"SELECT count(*) FROM cds WHERE codigo = 2"_s), u"1"_s);
}

QTEST_GUILESS_MAIN(TestForeignRows)
#include "tst_foreign_rows.moc"
