// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"
#include "core/like_pattern.h"
#include "data/connection.h"
#include "data/data_source.h"
#include "data/query.h"
#include "tests/support/temp_catalogue.h"

#include <QSignalSpy>
#include <QTest>

#include <sqlite3.h>

#include <algorithm>
#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

QString connectionFor(const QString &path)
{
    return QStringLiteral("Provider=x;Data Source=%1;Mode=Share Deny None;").arg(path);
}

// One connection with one query, as a window would use them.
struct Session
{
    explicit Session(const QString &path,
                     const QStringList &sql = {QStringLiteral("select * from cds")})
        : query(QStringLiteral("ADOQuery1"), &connection)
    {
        connection.setConnectionString(connectionFor(path));
        query.setSql(sql);
    }
    TADOConnection connection;
    TADOQuery query;
};

// Twenty media, "cd 1" to "cd 20".
void addTwentyMedia(const TempCatalogue &cat)
{
    cat.exec(QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n "
                            "WHERE x < 20) INSERT INTO cds (titulo) SELECT 'cd ' || x FROM n"));
}

template <typename F> QString failureOf(F &&f)
{
    try {
        f();
    } catch (const Exception &e) {
        return e.className() + QStringLiteral(": ") + e.message();
    }
    return QStringLiteral("no failure");
}

} // namespace

class TestQuery : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void automaticFieldsFollowTheStatement();
    void textSizeComesFromTheDeclaredType_data();
    void textSizeComesFromTheDeclaredType();
    void persistentFieldsAreMatchedByName();
    void parametersAreScannedOutsideQuotes_data();
    void parametersAreScannedOutsideQuotes();
    void textParameterMatchesIntegerColumn();
    void navigationSetsBofAndEof();
    void insertedRowsGetFreshCodes();
    void refusalsNameTheDataset();
    void movingSavesChangedAndDropsUntouched();
    void overLongTextIsRefusedAndStaysPending();
    void rowChangedElsewhereIsNeverOverwritten();
    void deleteDropsUnsavedInsertAndRemovesRows();
    void notificationsAreSuspendedWhileControlsAreDisabled();
    void likeIgnoresCaseOfEveryLetter_data();
    void likeIgnoresCaseOfEveryLetter();
    void likeIgnoringAccents_data();
    void likeIgnoringAccents();
    void likeIsUsedByTheEngine();
    void stepwiseOpenReplacesTheResultOnlyWhenComplete();
    void gradualOpenGrowsForItsReader();
    void otherUsesReadTheRestFirst_data();
    void otherUsesReadTheRestFirst();
    void writeOnTheConnectionReadsTheRestFirst();
    void failedLaterRowsReachTheReader_data();
    void failedLaterRowsReachTheReader();
    void abandonedReadEndsInTheBackground();
    void pageCacheHoldsTheMediaTable();
};

namespace {

// What some use of a query shows once it has run on a gradually opened result.
struct OtherUse
{
    const char *name;
    std::function<QString(Session &)> use;
    QString shown;
};

const std::vector<OtherUse> &otherUses()
{
    static const std::vector<OtherUse> uses{
        {"recordCount", [](Session &s) { return QString::number(s.query.recordCount()); },
         QStringLiteral("20")},
        {"last",
         [](Session &s) {
             s.query.last();
             return s.query.fieldText(1);
         },
         QStringLiteral("cd 20")},
        {"locate",
         [](Session &s) {
             s.query.locate(QStringLiteral("titulo"), QStringLiteral("cd 18"));
             return QString::number(s.query.recNo());
         },
         QStringLiteral("17")},
        {"textAt, as a grid reads", [](Session &s) { return s.query.textAt(19, 1); },
         QStringLiteral("cd 20")},
        {"resultSnapshot",
         [](Session &s) { return QString::number(s.query.resultSnapshot()->rowCount()); },
         QStringLiteral("20")},
        {"edit and post",
         [](Session &s) {
             s.query.edit();
             s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("novo"));
             s.query.post();
             return s.query.textAt(0, 1) + u' ' + s.query.textAt(19, 1);
         },
         QStringLiteral("novo cd 20")},
        {"refresh",
         [](Session &s) {
             s.query.refresh();
             return QString::number(s.query.recordCount());
         },
         QStringLiteral("20")},
        {"close",
         [](Session &s) {
             s.query.close();
             return QString::number(s.query.active());
         },
         QStringLiteral("0")},
        {"setSql and open",
         [](Session &s) {
             s.query.setSql({QStringLiteral("select * from cds where codigo > 15")});
             s.query.open();
             return QString::number(s.query.recordCount());
         },
         QStringLiteral("5")},
        {"openInSteps",
         [](Session &s) {
             s.query.openInSteps({QStringLiteral("select * from cds where codigo = 2")}, {},
                                 [](int) { return true; });
             return s.query.fieldText(1);
         },
         QStringLiteral("cd 2")},
        {"connection closed",
         [](Session &s) {
             s.connection.close();
             return QString::number(s.query.recordCount());
         },
         QStringLiteral("20")},
    };
    return uses;
}

} // namespace

void TestQuery::automaticFieldsFollowTheStatement()
{
    TempCatalogue cat;
    cat.exec(QStringLiteral("INSERT INTO cds (titulo, tipo) VALUES ('Jogos', 'DVD');"
                            "INSERT INTO softs (nome, descricao, midia) VALUES ('Ação', NULL, 1)"));
    Session s(cat.path(),
              {QStringLiteral("SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS "
                              "DESCRIÇÃO, titulo AS MÍDIA, tipo AS TIPO_MÍDIA"),
               QStringLiteral("FROM softs, cds"),
               QStringLiteral("where nome like '%ação%' and softs.midia = cds.codigo")});
    s.query.open();
    QCOMPARE(s.query.recordCount(), 1);
    QStringList names;
    for (int i = 0; i < s.query.fieldCount(); ++i)
        names << s.query.field(i)->fieldName();
    QCOMPARE(names, QStringList({QStringLiteral("CÓDIGO"), QStringLiteral("APLICATIVO"),
                                 QStringLiteral("DESCRIÇÃO"), QStringLiteral("MÍDIA"),
                                 QStringLiteral("TIPO_MÍDIA")}));
    QCOMPARE(s.query.fieldText(0), QStringLiteral("1"));
    QCOMPARE(s.query.fieldText(1), QStringLiteral("Ação"));
    QCOMPARE(s.query.fieldText(2), QString()); // null reads as empty text
    QCOMPARE(s.query.fieldText(4), QStringLiteral("DVD"));
    // A joined result is read-only.
    QVERIFY(!s.query.canModify());
}

void TestQuery::textSizeComesFromTheDeclaredType_data()
{
    QTest::addColumn<QString>("declared");
    QTest::addColumn<int>("size");
    QTest::newRow("varchar") << u"VARCHAR(32)"_s << 32;
    QTest::newRow("lower case") << u"varchar(255)"_s << 255;
    QTest::newRow("no size") << u"TEXT"_s << 0;
    QTest::newRow("two numbers") << u"NUMERIC(10,2)"_s << 0;
    QTest::newRow("spaces inside") << u"VARCHAR( 16 )"_s << 0;
    QTest::newRow("signed") << u"VARCHAR(+20)"_s << 0;
    QTest::newRow("two words") << u"CHARACTER VARYING(40)"_s << 40;
    QTest::newRow("too large") << u"VARCHAR(99999999999)"_s << 0;
}

void TestQuery::textSizeComesFromTheDeclaredType()
{
    QFETCH(QString, declared);
    QFETCH(int, size);
    TempCatalogue cat;
    cat.exec(u"CREATE TABLE outra (texto %1); INSERT INTO outra VALUES ('a')"_s.arg(declared));
    Session s(cat.path(), {u"select texto from outra"_s});
    s.query.open();
    QCOMPARE(s.query.fieldCount(), 1);
    QCOMPARE(s.query.field(0)->size(), size);
}

void TestQuery::persistentFieldsAreMatchedByName()
{
    TempCatalogue cat;
    cat.exec(QStringLiteral("INSERT INTO cds (titulo) VALUES ('A')"));
    Session s(cat.path());
    TAutoIncField codigo(QStringLiteral("codigo"));
    TWideStringField local(QStringLiteral("local"), 50);
    TWideStringField titulo(QStringLiteral("titulo"), 32);
    s.query.addField(&codigo);
    s.query.addField(&local);
    s.query.addField(&titulo);
    s.query.open();
    QCOMPARE(s.query.fieldCount(), 3);
    QCOMPARE(s.query.field(2), &titulo);
    QCOMPARE(titulo.asString(), QStringLiteral("A"));
    QCOMPARE(codigo.asInteger(), 1);
    s.query.close();

    cat.exec(QStringLiteral("ALTER TABLE cds DROP COLUMN local"));
    QCOMPARE(failureOf([&] { s.query.open(); }),
             QStringLiteral("EDatabaseError: ADOQuery1: Field 'local' not found"));
    QVERIFY(!s.query.active());
}

void TestQuery::parametersAreScannedOutsideQuotes_data()
{
    QTest::addColumn<QString>("statement");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("report") << QStringLiteral("where midia= :onumero and softs.midia = cds.codigo")
                            << QStringList{QStringLiteral("onumero")};
    QTest::newRow("in literal") << QStringLiteral("where nome like '%a:b%' and x = :p")
                                << QStringList{QStringLiteral("p")};
    QTest::newRow("doubled quote") << QStringLiteral("where nome = 'it''s :no' or y = :yes")
                                   << QStringList{QStringLiteral("yes")};
    QTest::newRow("comment") << QStringLiteral("select 1 -- :no\nwhere a = :a /* :b */")
                             << QStringList{QStringLiteral("a")};
    QTest::newRow("repeated") << QStringLiteral(":x + :X + :y")
                              << QStringList{QStringLiteral("x"), QStringLiteral("y")};
    QTest::newRow("unterminated") << QStringLiteral("where a = ':p") << QStringList{};
    QTest::newRow("double colon") << QStringLiteral("select a::b") << QStringList{};
}

void TestQuery::parametersAreScannedOutsideQuotes()
{
    QFETCH(QString, statement);
    QFETCH(QStringList, names);
    QCOMPARE(scanParameterNames(statement), names);
}

void TestQuery::textParameterMatchesIntegerColumn()
{
    TempCatalogue cat;
    cat.exec(QStringLiteral("INSERT INTO cds (codigo, titulo) VALUES (5, 'Cinco'), (6, 'Seis');"
                            "INSERT INTO softs (nome, midia) VALUES ('a', 5), ('b', 6), ('c', 5)"));
    Session s(cat.path(), {QStringLiteral("SELECT numero, nome, descricao, codigo, titulo"),
                           QStringLiteral("FROM softs, cds"),
                           QStringLiteral("where midia= :onumero and softs.midia = cds.codigo")});
    s.query.setParameter(QStringLiteral("onumero"), QStringLiteral("5"));
    s.query.open();
    QCOMPARE(s.query.recordCount(), 2);
    QCOMPARE(s.query.fieldByName(QStringLiteral("titulo"))->asString(), QStringLiteral("Cinco"));
    QCOMPARE(failureOf([&] { s.query.setParameter(QStringLiteral("outro"), 1); }),
             QStringLiteral("EDatabaseError: ADOQuery1: Parameter 'outro' not found"));
}

void TestQuery::navigationSetsBofAndEof()
{
    TempCatalogue cat;
    Session s(cat.path());
    s.query.open();
    QVERIFY(s.query.bof() && s.query.eof()); // at once on an empty result
    s.query.close();

    cat.exec(QStringLiteral("INSERT INTO cds (titulo) VALUES ('a'), ('b'), ('c')"));
    s.query.open();
    QCOMPARE(s.query.recordCount(), 3);
    QVERIFY(s.query.bof() && !s.query.eof());
    QStringList seen;
    for (s.query.first(); !s.query.eof(); s.query.next())
        seen << s.query.fieldText(1);
    QCOMPARE(seen, QStringList({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    QCOMPARE(s.query.recNo(), 2); // stays on the last record
    s.query.prior();
    QVERIFY(!s.query.bof() && !s.query.eof());
    s.query.first();
    s.query.prior();
    QVERIFY(s.query.bof());
    QVERIFY(s.query.locate(QStringLiteral("codigo"), QStringLiteral("3")));
    QCOMPARE(s.query.fieldText(1), QStringLiteral("c"));
    QVERIFY(!s.query.locate(QStringLiteral("codigo"), 99));
    QCOMPARE(s.query.textAt(0, 1), QStringLiteral("a"));
}

void TestQuery::insertedRowsGetFreshCodes()
{
    TempCatalogue cat;
    Session s(cat.path());
    s.query.open();
    QList<qint64> codes;
    for (const QString &name : {QStringLiteral("Um"), QStringLiteral("Dois")}) {
        s.query.insert();
        s.query.fieldByName(QStringLiteral("titulo"))->setAsString(name);
        s.query.post();
        codes << s.query.fieldByName(QStringLiteral("codigo"))->asInteger();
    }
    QVERIFY(codes[0] > 0 && codes[1] > 0 && codes[0] != codes[1]);
    QCOMPARE(cat.scalar(QStringLiteral("select count(*) from cds")), QStringLiteral("2"));

    // A deleted code is never given again.
    s.query.remove();
    s.query.insert();
    s.query.post(); // even with nothing typed, an explicit save writes the new record
    const qint64 third = s.query.fieldByName(QStringLiteral("codigo"))->asInteger();
    QVERIFY(third > codes[1]);
    QCOMPARE(cat.scalar(QStringLiteral("select count(*) from cds")), QStringLiteral("2"));
}

void TestQuery::refusalsNameTheDataset()
{
    TempCatalogue cat;
    Session s(cat.path());
    s.query.open();
    QCOMPARE(failureOf([&] { s.query.post(); }),
             QStringLiteral("EDatabaseError: ADOQuery1: Dataset not in edit or insert mode"));
    QCOMPARE(failureOf([&] { s.query.remove(); }),
             QStringLiteral("EDatabaseError: ADOQuery1: Cannot perform this operation on an "
                            "empty dataset"));
    s.query.close();
    s.query.setSql({QStringLiteral("SELECT nome from softs"), QStringLiteral("where midia =;")});
    const QString syntax = failureOf([&] { s.query.open(); });
    QVERIFY2(syntax.startsWith(QStringLiteral("EOleException: ")) && syntax.contains(u"syntax"),
             qPrintable(syntax));
    QVERIFY(!syntax.endsWith(u'.'));
}

void TestQuery::movingSavesChangedAndDropsUntouched()
{
    TempCatalogue cat;
    cat.exec(QStringLiteral("INSERT INTO cds (titulo) VALUES ('a'), ('b')"));
    Session s(cat.path());
    s.query.open();

    // Two inserts without typing leave one pending record and save nothing.
    s.query.insert();
    s.query.insert();
    QCOMPARE(s.query.state(), TDataSetState::Insert);
    s.query.first();
    QCOMPARE(s.query.state(), TDataSetState::Browse);
    QCOMPARE(s.query.recordCount(), 2);

    // A changed record is saved before the move.
    s.query.edit();
    s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("A editado"));
    s.query.next();
    QCOMPARE(cat.scalar(QStringLiteral("select titulo from cds where codigo = 1")),
             QStringLiteral("A editado"));

    // A control's pending text is written into its field before the save.
    TDataSource source(&s.query);
    struct Control : TDataLink
    {
        TADOQuery &query;
        explicit Control(TADOQuery &q)
            : query(q)
        {}
        void updateRecord() override
        {
            query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("digitado"));
        }
    } control(s.query);
    source.addDataLink(&control);
    QVERIFY(source.edit());
    s.query.post();
    QCOMPARE(cat.scalar(QStringLiteral("select titulo from cds where codigo = 2")),
             QStringLiteral("digitado"));
}

void TestQuery::overLongTextIsRefusedAndStaysPending()
{
    TempCatalogue cat;
    cat.exec(QStringLiteral("INSERT INTO cds (titulo) VALUES ('a')"));
    Session s(cat.path());
    s.query.open();
    s.query.edit();
    s.query.fieldByName(QStringLiteral("tipo"))->setAsString(QString(17, u'X'));
    const QString failure = failureOf([&] { s.query.post(); });
    QVERIFY2(failure.contains(u"'tipo'") && failure.contains(u"16"), qPrintable(failure));
    QCOMPARE(s.query.state(), TDataSetState::Edit);
    QCOMPARE(s.query.fieldByName(QStringLiteral("tipo"))->asString(), QString(17, u'X'));
    QCOMPARE(cat.scalar(QStringLiteral("select ifnull(tipo, 'null') from cds")),
             QStringLiteral("null"));
    // The file itself refuses too, whoever writes to it.
    QVERIFY_THROWS_EXCEPTION(
        std::runtime_error,
        cat.exec(QStringLiteral("UPDATE cds SET tipo = '%1'").arg(QString(17, u'X'))));
}

void TestQuery::rowChangedElsewhereIsNeverOverwritten()
{
    TempCatalogue cat;
    cat.exec(QStringLiteral("INSERT INTO cds (titulo) VALUES ('original')"));
    Session first(cat.path());
    Session second(cat.path());
    first.query.open();
    second.query.open();

    first.query.edit();
    first.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("primeiro"));
    first.query.post();

    second.query.edit();
    second.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("segundo"));
    const QString failure = failureOf([&] { second.query.post(); });
    QVERIFY2(failure.startsWith(QStringLiteral("EOleException: O registro não foi salvo")),
             qPrintable(failure));
    QCOMPARE(second.query.state(), TDataSetState::Edit);
    QCOMPARE(second.query.fieldByName(QStringLiteral("titulo"))->asString(),
             QStringLiteral("segundo"));
    QCOMPARE(cat.scalar(QStringLiteral("select titulo from cds")), QStringLiteral("primeiro"));

    // After a refresh the second copy sees the saved change and may edit again.
    second.query.cancel();
    second.query.refresh();
    QCOMPARE(second.query.fieldText(1), QStringLiteral("primeiro"));
    second.query.edit();
    second.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("segundo"));
    second.query.post();
    QCOMPARE(cat.scalar(QStringLiteral("select titulo from cds")), QStringLiteral("segundo"));

    // Deleting a row that another copy changed is refused as well.
    const QString deletion = failureOf([&] { first.query.remove(); });
    QVERIFY2(deletion.contains(QStringLiteral("não foi apagado")), qPrintable(deletion));
    QCOMPARE(cat.scalar(QStringLiteral("select count(*) from cds")), QStringLiteral("1"));
}

void TestQuery::deleteDropsUnsavedInsertAndRemovesRows()
{
    TempCatalogue cat;
    cat.exec(QStringLiteral("INSERT INTO cds (titulo) VALUES ('a'), ('b'), ('c')"));
    Session s(cat.path());
    s.query.open();
    s.query.insert();
    s.query.remove();
    QCOMPARE(s.query.state(), TDataSetState::Browse);
    QCOMPARE(s.query.recordCount(), 3);

    s.query.last();
    s.query.remove();
    QCOMPARE(s.query.recordCount(), 2);
    QCOMPARE(s.query.fieldText(1), QStringLiteral("b"));
    QCOMPARE(cat.scalar(QStringLiteral("select group_concat(titulo) from cds")),
             QStringLiteral("a,b"));
}

void TestQuery::notificationsAreSuspendedWhileControlsAreDisabled()
{
    TempCatalogue cat;
    cat.exec(QStringLiteral("INSERT INTO cds (titulo) VALUES ('a'), ('b'), ('c')"));
    Session s(cat.path());
    TDataSource source(&s.query);
    QSignalSpy changed(&source, &TDataSource::dataSetChanged);
    QSignalSpy scrolled(&source, &TDataSource::dataSetScrolled);
    QSignalSpy record(&source, &TDataSource::recordChanged);
    QSignalSpy state(&source, &TDataSource::stateChanged);
    using Counts = QList<qsizetype>; // data set, scrolled, record, state
    const auto counts = [&] {
        return Counts{changed.count(), scrolled.count(), record.count(), state.count()};
    };
    s.query.open();
    QCOMPARE(counts(), (Counts{1, 0, 0, 1}));

    s.query.disableControls();
    s.query.disableControls();
    for (; !s.query.eof(); s.query.next()) {
    }
    s.query.edit();
    s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("C"));
    s.query.post();
    s.query.insert();
    s.query.cancel();
    s.query.close();
    s.query.open();
    s.query.close();
    QVERIFY(s.query.openInSteps(s.query.sql(), {}, [](int) { return true; }));
    s.query.close();
    s.query.enableControls();
    QCOMPARE(counts(), (Counts{1, 0, 0, 1}));

    // Resuming tells of the state that changed meanwhile and redraws, once each.
    s.query.enableControls();
    QCOMPARE(counts(), (Counts{2, 0, 0, 2}));
    s.query.open();
    QCOMPARE(counts(), (Counts{3, 0, 0, 3}));

    // Back in the state it was suspended in: only the redraw.
    s.query.disableControls();
    s.query.edit();
    s.query.cancel();
    s.query.enableControls();
    QCOMPARE(counts(), (Counts{4, 0, 0, 3}));
    s.query.last();
    QCOMPARE(counts(), (Counts{4, 1, 0, 3}));
    QCOMPARE(cat.scalar(QStringLiteral("select titulo from cds where codigo = 3")),
             QStringLiteral("C"));
}

void TestQuery::likeIgnoresCaseOfEveryLetter_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("matches");
    QTest::newRow("accents fold") << QStringLiteral("%ação%") << QStringLiteral("AÇÃO TOTAL")
                                  << true;
    QTest::newRow("ascii") << QStringLiteral("%office%") << QStringLiteral("LibreOffice") << true;
    QTest::newRow("underscore") << QStringLiteral("c_o") << QStringLiteral("CÃO") << true;
    QTest::newRow("underscore needs one") << QStringLiteral("ca_") << QStringLiteral("ca") << false;
    QTest::newRow("empty between wildcards") << QStringLiteral("%%") << QString() << true;
    QTest::newRow("accent is not its base letter")
        << QStringLiteral("%acao%") << QStringLiteral("ação") << false;
    QTest::newRow("cyrillic") << QStringLiteral("%привет%") << QStringLiteral("ПРИВЕТ мир") << true;
    QTest::newRow("backtracking") << QStringLiteral("%a%b%c") << QStringLiteral("aXbXbYc") << true;
    QTest::newRow("anchored end") << QStringLiteral("%abc") << QStringLiteral("abcd") << false;
    QTest::newRow("quote literal")
        << QStringLiteral("%assassin's%") << QStringLiteral("Assassin's Creed") << true;
}

void TestQuery::likeIgnoringAccents_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("matches");
    QTest::newRow("plain finds accented") << u"%acao%"_s << u"AÇÃO TOTAL"_s << true;
    QTest::newRow("accented finds plain") << u"%café%"_s << u"CAFE"_s << true;
    QTest::newRow("decomposed text") << u"%cafe%"_s << u"cafe\u0301 puro"_s << true;
    QTest::newRow("mark at the end") << u"cafe"_s << u"cafe\u0301"_s << true;
    QTest::newRow("underscore is one letter") << u"caf_"_s << u"café"_s << true;
    QTest::newRow("two marks") << u"%viet%"_s << u"Việt Nam"_s << true;
    QTest::newRow("a letter of its own") << u"%o%"_s << u"Ø"_s << false;
    QTest::newRow("still anchored") << u"%acao"_s << u"ação!"_s << false;
}

void TestQuery::likeIgnoringAccents()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(bool, matches);
    const QByteArray p = pattern.toUtf8();
    const QByteArray t = text.toUtf8();
    QCOMPARE(likeMatchIgnoringAccents(std::string_view(p.constData(), size_t(p.size())),
                                      std::string_view(t.constData(), size_t(t.size()))),
             matches);
}

void TestQuery::likeIgnoresCaseOfEveryLetter()
{
    QFETCH(QString, pattern);
    QFETCH(QString, text);
    QFETCH(bool, matches);
    const QByteArray p = pattern.toUtf8();
    const QByteArray t = text.toUtf8();
    QCOMPARE(likeMatch(std::string_view(p.constData(), size_t(p.size())),
                       std::string_view(t.constData(), size_t(t.size()))),
             matches);
}

void TestQuery::likeIsUsedByTheEngine()
{
    TempCatalogue cat;
    cat.exec(
        QStringLiteral("INSERT INTO cds (titulo) VALUES ('AÇÃO'), ('ação'), ('outro'), (NULL)"));
    Session s(cat.path(), {QStringLiteral("SELECT *"), QStringLiteral("FROM cds"),
                           QStringLiteral("where titulo like '%ação%'")});
    s.query.open();
    QCOMPARE(s.query.recordCount(), 2);
    s.query.setSql({QStringLiteral("SELECT * FROM cds where titulo like '%%'")});
    s.query.open();
    QCOMPARE(s.query.recordCount(), 3); // every row whose name holds a value
}

// A long statement reports while it runs; stopping it, or its failure, leaves the open
// result and its statement as they were, and a statement run from inside a report works.
void TestQuery::stepwiseOpenReplacesTheResultOnlyWhenComplete()
{
    TempCatalogue cat;
    cat.exec(QStringLiteral("INSERT INTO cds (titulo) VALUES ('Um'), ('Dois')"));
    Session s(cat.path());
    s.query.open();
    const QStringList previous = s.query.sql();
    const QStringList many{
        QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n WHERE x < "
                       "50000)"),
        QStringLiteral("SELECT x AS numero, 'linha ' || x AS texto FROM n")};
    QSignalSpy changed(&s.query, &TADOQuery::dataSetChanged);

    std::vector<int> counts;
    QVERIFY(!s.query.openInSteps(many, {}, [&](int rows) {
        counts.push_back(rows);
        return counts.size() < 3;
    }));
    QCOMPARE(counts.size(), size_t(3));
    QVERIFY(s.query.active());
    QCOMPARE(s.query.recordCount(), 2);
    QCOMPARE(s.query.sql(), previous);
    QCOMPARE(s.query.textAt(1, 1), QStringLiteral("Dois"));
    QCOMPARE(changed.count(), 0);

    const auto throwing = [](int) -> bool { throw EDatabaseError(QStringLiteral("no report")); };
    QCOMPARE(failureOf([&] { s.query.openInSteps(many, {}, throwing); }),
             QStringLiteral("EDatabaseError: no report"));
    QCOMPARE(s.query.recordCount(), 2);
    QVERIFY(failureOf([&] {
                s.query.openInSteps({QStringLiteral("select * from nada")}, {}, {});
            }).contains(QStringLiteral("nada")));
    QCOMPARE(s.query.sql(), previous);
    QCOMPARE(changed.count(), 0);

    counts.clear();
    TADOQuery other(QStringLiteral("ADOQuery2"), &s.connection);
    other.setSql({QStringLiteral("select * from cds")});
    QVERIFY(s.query.openInSteps(many, {}, [&](int rows) {
        if (counts.empty())
            other.open();
        counts.push_back(rows);
        return true;
    }));
    QCOMPARE(other.recordCount(), 2);
    QVERIFY(counts.size() > 1);
    QVERIFY(std::is_sorted(counts.begin(), counts.end()));
    QCOMPARE(s.query.recordCount(), 50000);
    QCOMPARE(s.query.sql(), many);
    QCOMPARE(s.query.fieldCount(), 2);
    QCOMPARE(s.query.textAt(49999, 1), QStringLiteral("linha 50000"));
    QCOMPARE(s.query.recNo(), 0);
    QCOMPARE(changed.count(), 1);
}

// A gradual open reads a first slice; its reader sees the rest arrive slice by slice and
// knows when it has them all.
void TestQuery::gradualOpenGrowsForItsReader()
{
    TempCatalogue cat;
    addTwentyMedia(cat);
    Session s(cat.path());
    s.query.maxRowsPerSlice = 3;
    QSignalSpy changed(&s.query, &TADOQuery::dataSetChanged);
    s.query.openGradually();
    QVERIFY(s.query.active());
    QCOMPARE(changed.count(), 1);
    QCOMPARE(s.query.fieldText(1), QStringLiteral("cd 1"));
    QVERIFY(s.query.bof() && !s.query.eof());

    const auto result = s.query.growingResult();
    std::vector<int> counts{result->rows()->rowCount()};
    while (!result->complete()) {
        QVERIFY(s.query.readPending());
        result->readMore();
        counts.push_back(result->rows()->rowCount());
    }
    QCOMPARE(counts, (std::vector<int>{4, 7, 10, 13, 16, 19, 20}));
    QVERIFY(!s.query.readPending());
    QCOMPARE(result->rows()->text(19, 1), QStringLiteral("cd 20"));
    QCOMPARE(s.query.recordCount(), 20);
    QCOMPARE(changed.count(), 1);

    // A result read at once is complete from the start.
    s.query.close();
    s.query.open();
    QVERIFY(s.query.growingResult()->complete());
}

void TestQuery::otherUsesReadTheRestFirst_data()
{
    QTest::addColumn<int>("use");
    for (size_t i = 0; i < otherUses().size(); ++i)
        QTest::newRow(otherUses()[i].name) << int(i);
}

// Only the reader that asked for the growing result ever sees it partial.
void TestQuery::otherUsesReadTheRestFirst()
{
    QFETCH(int, use);
    const OtherUse &other = otherUses()[size_t(use)];
    TempCatalogue cat;
    addTwentyMedia(cat);
    Session s(cat.path());
    s.query.maxRowsPerSlice = 3;
    s.query.openGradually();
    const auto result = s.query.growingResult();
    QVERIFY(!result->complete());

    QCOMPARE(other.use(s), other.shown);
    QVERIFY(result->complete());
    QVERIFY(!s.query.readPending());
    QCOMPARE(result->rows()->rowCount(), 20);
    QCOMPARE(result->rows()->text(19, 1), QStringLiteral("cd 20"));
}

// A pending read never sees the connection's own later changes: the write waits for it.
void TestQuery::writeOnTheConnectionReadsTheRestFirst()
{
    TempCatalogue cat;
    addTwentyMedia(cat);
    Session s(cat.path());
    s.query.maxRowsPerSlice = 3;
    s.query.openGradually();
    const auto result = s.query.growingResult();

    TADOQuery other(QStringLiteral("ADOQuery2"), &s.connection);
    other.setSql({QStringLiteral("select * from cds where codigo >= 19")});
    other.open();
    QVERIFY(!result->complete());
    other.remove();
    QVERIFY(result->complete());
    QCOMPARE(result->rows()->rowCount(), 20);
    QCOMPARE(cat.scalar(QStringLiteral("select count(*) from cds")), QStringLiteral("19"));

    s.query.close();
    s.query.openGradually();
    const auto second = s.query.growingResult();
    other.edit();
    other.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("mudou"));
    other.post();
    QVERIFY(second->complete());
    QCOMPARE(second->rows()->text(18, 1), QStringLiteral("cd 20"));
}

void TestQuery::failedLaterRowsReachTheReader_data()
{
    QTest::addColumn<QString>("column");
    QTest::addColumn<int>("timeLimitMs");
    QTest::addColumn<QString>("message");
    // Every row costs the engine thousands of steps (its own count), so the time limit is looked
    // at in each.
    QTest::newRow("time limit of a slice")
        << QStringLiteral("(WITH RECURSIVE n(x) AS (SELECT codigo UNION ALL SELECT x + 1 FROM n "
                          "WHERE x < codigo + 3000) SELECT count(*) FROM n)")
        << 0 << QStringLiteral("demorou demais e foi interrompida");
    QTest::newRow("error in a later row")
        << QStringLiteral("CASE WHEN codigo > 7 THEN json('x') ELSE titulo END") << 20000
        << QStringLiteral("JSON");
}

// A read that fails after the first rows is never taken for a complete result: its reader
// gets the failure, every time it asks, and the query closes rather than show the rows.
void TestQuery::failedLaterRowsReachTheReader()
{
    QFETCH(QString, column);
    QFETCH(int, timeLimitMs);
    QFETCH(QString, message);
    TempCatalogue cat;
    addTwentyMedia(cat);
    Session s(cat.path(), {QStringLiteral("select codigo, %1 as t from cds").arg(column)});
    s.query.maxRowsPerSlice = 3;
    s.query.openGradually();
    const auto result = s.query.growingResult();
    QCOMPARE(result->rows()->rowCount(), 4);

    s.connection.statementTimeLimitMs = timeLimitMs;
    const QString failure = failureOf([&] {
        for (int i = 0; i < 10; ++i)
            result->readMore();
    });
    QVERIFY2(failure.contains(message, Qt::CaseInsensitive), qPrintable(failure));
    QVERIFY(!result->complete());
    QVERIFY(result->rows()->rowCount() < 20);
    QVERIFY(!s.query.active());
    QVERIFY(!s.query.readPending());
    QCOMPARE(failureOf([&] { result->readMore(); }), failure);

    // The same failure met by another use of the query.
    s.connection.statementTimeLimitMs = 20000;
    s.query.openGradually();
    s.connection.statementTimeLimitMs = timeLimitMs;
    QCOMPARE(failureOf([&] { s.query.recordCount(); }), failure);
    QVERIFY(!s.query.active());
}

// A reader that goes away early leaves no statement pending: the rest is read between
// events, and other programs can write to the file again.
void TestQuery::abandonedReadEndsInTheBackground()
{
    TempCatalogue cat;
    addTwentyMedia(cat);
    Session s(cat.path());
    s.query.maxRowsPerSlice = 3;
    s.query.openGradually();
    QVERIFY(s.query.readPending());
    QTRY_VERIFY(!s.query.readPending());
    QCOMPARE(s.query.resultSnapshot()->rowCount(), 20);
    cat.exec(QStringLiteral("INSERT INTO cds (titulo) VALUES ('outro programa')"));
    QCOMPARE(cat.scalar(QStringLiteral("select count(*) from cds")), QStringLiteral("21"));
}

// The report's join looks up a medium for every title in no useful order: a cache smaller than
// the media table reads the same pages from the file again and again.
void TestQuery::pageCacheHoldsTheMediaTable()
{
    const TempCatalogue cat;
    cat.exec(QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n "
                            "WHERE x < 20000) INSERT INTO cds (titulo, obs) "
                            "SELECT 'cd ' || x, printf('%.200c', 'o') FROM n"));
    cat.exec(QStringLiteral("WITH RECURSIVE n(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM n "
                            "WHERE x < 60000) INSERT INTO softs (nome, descricao, midia) "
                            "SELECT 'app ' || x, printf('%.250c', 'd'), x % 20000 + 1 FROM n"));
    const qint64 mediaKiB =
        cat.scalar(QStringLiteral("SELECT sum(pgsize) / 1024 FROM dbstat WHERE name = 'cds'"))
            .toLongLong();
    QVERIFY2(mediaKiB > 4000, qPrintable(QString::number(mediaKiB)));

    Session s(cat.path());
    s.query.setSql({QStringLiteral("PRAGMA cache_size")});
    s.query.open();
    const qint64 cacheKiB = -s.query.valueAt(0, 0).toLongLong();
    QVERIFY2(cacheKiB > mediaKiB, qPrintable(QString::number(cacheKiB)));
    // Not the whole catalogue's worth, three times the media's: the titles stream through.
    QVERIFY2(cacheKiB < 2 * mediaKiB + 4000, qPrintable(QString::number(cacheKiB)));
}

QTEST_GUILESS_MAIN(TestQuery)
#include "tst_query.moc"
