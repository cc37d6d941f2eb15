// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/catalogue_check.h"
#include "catalogue/catalogue_shape.h"
#include "core/schema.h"
#include "data/data_module.h"
#include "tests/support/temp_catalogue.h"

#include <QTest>

#include <stdexcept>

using namespace Qt::StringLiterals;

class TestSchema : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void newCatalogueFollowsTheSchemaTable();
    void fieldsAndConverterDrawTheirSizesFromIt();
};

void TestSchema::newCatalogueFollowsTheSchemaTable()
{
    TempCatalogue cat;
    QCOMPARE(cat.scalar(u"PRAGMA user_version"_s).toInt(), Schema::version);
    for (const Schema::Table &table : Schema::tables) {
        const QString name = Schema::name(table.name);
        for (qsizetype i = 0; i < qsizetype(table.columns.size()); ++i) {
            const Schema::Column &column = table.columns[size_t(i)];
            const QString columnName = Schema::name(column.name);
            QCOMPARE(
                cat.scalar(
                    u"SELECT name FROM pragma_table_info('%1') WHERE cid = %2"_s.arg(name).arg(i)),
                columnName);
            QCOMPARE(
                cat.scalar(
                    u"SELECT type FROM pragma_table_info('%1') WHERE cid = %2"_s.arg(name).arg(i)),
                Schema::sqliteType(column));
            QCOMPARE(cat.scalar(u"SELECT count(*) FROM pragma_index_list('%1') WHERE name = "
                                u"'%1_%2'"_s.arg(name, columnName)),
                     column.indexed ? u"1"_s : u"0"_s);
            if (column.type != Schema::Type::Text)
                continue;
            // The size holds in the file itself, counted in characters.
            const QString fits(column.size, u'ç');
            cat.exec(u"INSERT INTO %1 (%2) VALUES ('%3')"_s.arg(name, columnName, fits));
            QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                                     cat.exec(u"INSERT INTO %1 (%2) VALUES ('%3')"_s.arg(
                                         name, columnName, fits + u'ç')));
        }
        QCOMPARE(cat.scalar(u"SELECT count(*) FROM pragma_table_info('%1')"_s.arg(name)).toInt(),
                 int(table.columns.size()));
    }
    cat.exec(u"DELETE FROM cds; DELETE FROM softs"_s);
    QCOMPARE(Legacy::checkCatalogue(cat.path()), QStringList());
}

void TestSchema::fieldsAndConverterDrawTheirSizesFromIt()
{
    TempCatalogue cat;
    CurrentDirectory cd(cat.directory());
    TDm1 dm([](const QString &line) { QFAIL(qPrintable(line)); });
    const QList<const TADOQuery *> media = {&dm.ADOQuery1, &dm.ADOQuery3};
    QSet<QString> seen;
    for (const TADOQuery *query : {&dm.ADOQuery1, &dm.ADOQuery2, &dm.ADOQuery3}) {
        const Schema::Table &table = media.contains(query) ? Schema::media : Schema::titles;
        QCOMPARE(query->fieldCount(), int(table.columns.size()));
        for (int i = 0; i < query->fieldCount(); ++i) {
            const Schema::Column &column = table.columns[size_t(i)];
            QCOMPARE(query->field(i)->fieldName(), Schema::name(column.name));
            QCOMPARE(query->field(i)->size(), column.type == Schema::Type::Text ? column.size : 0);
        }
    }
    const QList<Legacy::TableShape> &shapes = Legacy::catalogueTables();
    QCOMPARE(shapes.size(), qsizetype(std::size(Schema::tables)));
    for (qsizetype t = 0; t < shapes.size(); ++t) {
        const Schema::Table &table = Schema::tables[size_t(t)];
        QCOMPARE(shapes[t].name, Schema::name(table.name));
        QCOMPARE(shapes[t].columns.size(), qsizetype(table.columns.size()));
        for (qsizetype c = 0; c < shapes[t].columns.size(); ++c) {
            QCOMPARE(shapes[t].columns[c].name, Schema::name(table.columns[size_t(c)].name));
            QCOMPARE(shapes[t].columns[c].maxLength, table.columns[size_t(c)].size);
        }
    }
}

QTEST_GUILESS_MAIN(TestSchema)
#include "tst_schema.moc"
