// SPDX-License-Identifier: GPL-3.0-or-later
// The data layer on the catalogue file and on a PostgreSQL server, case by case the same.
#include "catalogue/catalogue.h"
#include "catalogue/server_catalogue.h"
#include "catalogue/server_transaction.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/data_module.h"
#include "data/engine/backend.h"
#include "data/engine/postgres/postgres_backend.h"
#include "data/query.h"
#include "tests/support/failure.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/test_server.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

namespace {

struct Session
{
    Session(const QString &connectionString, const QStringList &sql)
        : query(QStringLiteral("ADOQuery1"), &connection)
    {
        connection.setConnectionString(connectionString);
        query.setSql(sql);
    }
    TADOConnection connection;
    TADOQuery query;
};

const QStringList allMedia{QStringLiteral("select * from cds")};
const QStringList allTitles{QStringLiteral("select * from softs")};

// What the program's search runs, with the text bound as the search window binds it; worded
// by the connection when accents are ignored.
QStringList searchSql(const TADOConnection *accentFree = nullptr)
{
    const QString pattern = QStringLiteral(":texto");
    const QString condition = accentFree
                                  ? accentFree->accentFreeLike(QStringLiteral("nome"), pattern)
                                  : QStringLiteral("nome like ") + pattern;
    return {QStringLiteral("SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS "
                           "DESCRIÇÃO, titulo AS MÍDIA, tipo AS TIPO_MÍDIA"),
            QStringLiteral("FROM softs, cds"),
            QStringLiteral("where ") + condition + QStringLiteral(" and softs.midia = cds.codigo")};
}

struct SearchSession : Session
{
    SearchSession(const QString &connectionString, const QString &text)
        : Session(connectionString, searchSql())
    {
        query.setParameter(QStringLiteral("texto"), QString(u'%' + text + u'%'));
    }
};

QStringList column(TADOQuery &q, const QString &field)
{
    QStringList values;
    const int index = q.fieldByName(field)->index();
    for (int row = 0; row < q.recordCount(); ++row)
        values << q.textAt(row, index);
    return values;
}

QStringList utf8(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}

} // namespace

class TestBackends : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void acceptance_data();
    void acceptance();
    void searchFindsTheSameOnBoth_data();
    void searchFindsTheSameOnBoth();
    void twoProgramsLoseNoUpdate_data();
    void twoProgramsLoseNoUpdate();
    void copyBothWaysKeepsEveryRow();
    void copyKilledMidwayLeavesTheTargetEmpty();
    void failuresNameServerAndDatabaseOnly();
    void foreignObjectsStopEveryServerWrite_data();
    void foreignObjectsStopEveryServerWrite();
    void dataModuleOpensTheServerNamedInTheEnvironment();
    void serverStoppedDuringASave();
    void longServerStatementStops();
    void stoppedServerProcessIsGivenUp_data();
    void stoppedServerProcessIsGivenUp();
    void toolGivesUpOnASilentServer_data();
    void toolGivesUpOnASilentServer();
    void lockedRowGivesUpAsBusy();
    void silentServerGivesUpAtTheConnectTimeout_data();
    void silentServerGivesUpAtTheConnectTimeout();
    void failuresAreWordedByCodeNotText();
    void namesServerOnlyForServerAddresses_data();
    void serverRefusesTitlesOnDeletedMedia();
    void nulInTypedTextIsRefused_data();
    void copyNamesTextsHoldingNul();
    void firstActionAfterAServerRestartWorks();
    void theLoserOfTwoCopiesIsToldSo();
    void nulInTypedTextIsRefused();
    void upgradeAddsTheMediumKeyAfterCheckingOrphans();
    void namesServerOnlyForServerAddresses();

private:
    // A fresh sample catalogue on the backend; returns its connection string.
    QString sampleCatalogue(const QString &backend);

    std::unique_ptr<TestServer> m_server;
    std::vector<std::unique_ptr<TempCatalogue>> m_files;
    int m_databases = 0;
};

void TestBackends::initTestCase()
{
    m_server = std::make_unique<TestServer>();
}

QString TestBackends::sampleCatalogue(const QString &backend)
{
    if (backend == u"file") {
        m_files.push_back(std::make_unique<TempCatalogue>(TempCatalogue::Content::Sample));
        return QStringLiteral("Provider=x;Data Source=%1;").arg(m_files.back()->path());
    }
    const QString uri = m_server->createDatabase(QStringLiteral("c%1").arg(++m_databases));
    ServerCatalogue::createSample(uri);
    return uri;
}

void TestBackends::acceptance_data()
{
    QTest::addColumn<QString>("backend");
    using Case = std::function<void(const QString &)>;
    QTest::addColumn<Case>("check");

    const QList<QPair<const char *, Case>> cases{
        {"open",
         [](const QString &cs) {
             Session s(cs, allMedia);
             s.query.open();
             QCOMPARE(s.query.recordCount(), 40);
             QCOMPARE(column(s.query, QStringLiteral("codigo")).first(), QStringLiteral("1"));
             QCOMPARE(s.query.fieldByName(QStringLiteral("codigo"))->dataType(),
                      TFieldType::AutoInc);
             QCOMPARE(s.query.fieldByName(QStringLiteral("titulo"))->size(), 32);
             QCOMPARE(s.query.fieldByName(QStringLiteral("local"))->size(), 50);
             QVERIFY(s.query.canModify());
             Session join(cs, {QStringLiteral("SELECT numero, nome, midia, descricao, codigo, "
                                              "titulo"),
                               QStringLiteral("from softs, cds"),
                               QStringLiteral("where midia=1 and codigo=midia")});
             join.query.open();
             QVERIFY(join.query.recordCount() > 0);
             QVERIFY(!join.query.canModify());
         }},
        {"titles",
         [](const QString &cs) {
             SearchSession s(cs, QStringLiteral("office"));
             s.query.open();
             QStringList names;
             for (int i = 0; i < s.query.fieldCount(); ++i)
                 names << s.query.field(i)->fieldName();
             QCOMPARE(names, QStringList({QStringLiteral("CÓDIGO"), QStringLiteral("APLICATIVO"),
                                          QStringLiteral("DESCRIÇÃO"), QStringLiteral("MÍDIA"),
                                          QStringLiteral("TIPO_MÍDIA")}));
             QCOMPARE(s.query.recordCount(), 10);
         }},
        {"move",
         [](const QString &cs) {
             Session s(cs, allMedia);
             s.query.open();
             QVERIFY(s.query.bof());
             s.query.next();
             QCOMPARE(s.query.recNo(), 1);
             s.query.last();
             QVERIFY(s.query.eof());
             QCOMPARE(s.query.fieldByName(QStringLiteral("codigo"))->asString(),
                      QStringLiteral("40"));
             s.query.prior();
             QCOMPARE(s.query.recNo(), 38);
             s.query.setRecNo(5);
             QCOMPARE(s.query.fieldByName(QStringLiteral("codigo"))->asString(),
                      QStringLiteral("6"));
         }},
        {"edit and post",
         [](const QString &cs) {
             Session s(cs, allMedia);
             s.query.open();
             s.query.setRecNo(2);
             s.query.edit();
             s.query.fieldByName(QStringLiteral("titulo"))
                 ->setAsString(QStringLiteral("Ação — Já"));
             s.query.fieldByName(QStringLiteral("obs"))->clear();
             s.query.post();
             Session other(cs, {QStringLiteral("select titulo, obs from cds where codigo = 3")});
             other.query.open();
             QCOMPARE(other.query.fieldText(0), QStringLiteral("Ação — Já"));
             QVERIFY(other.query.field(1)->isNull());
             // A changed row keeps its place in the list, as on the file.
             s.query.close();
             s.query.open();
             QStringList codes;
             for (int code = 1; code <= 40; ++code)
                 codes << QString::number(code);
             QCOMPARE(column(s.query, QStringLiteral("codigo")), codes);
         }},
        {"cancel",
         [](const QString &cs) {
             Session s(cs, allMedia);
             s.query.open();
             const QString before = s.query.fieldByName(QStringLiteral("titulo"))->asString();
             s.query.edit();
             s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("X"));
             s.query.cancel();
             QCOMPARE(s.query.state(), TDataSetState::Browse);
             s.query.refresh();
             QCOMPARE(s.query.fieldByName(QStringLiteral("titulo"))->asString(), before);
         }},
        {"insert and delete",
         [](const QString &cs) {
             Session s(cs, allMedia);
             s.query.open();
             s.query.last();
             s.query.remove();
             QCOMPARE(s.query.recordCount(), 39);
             s.query.insert();
             s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("Nova"));
             s.query.post();
             // Code 40 was deleted: it is never given again.
             QCOMPARE(s.query.fieldByName(QStringLiteral("codigo"))->asString(),
                      QStringLiteral("41"));
             Session other(cs, {QStringLiteral("select codigo from cds where titulo = 'Nova'")});
             other.query.open();
             QCOMPARE(column(other.query, QStringLiteral("codigo")),
                      QStringList{QStringLiteral("41")});
         }},
        {"locate",
         [](const QString &cs) {
             Session s(cs, allMedia);
             s.query.open();
             QVERIFY(s.query.locate(QStringLiteral("codigo"), 17));
             QCOMPARE(s.query.recNo(), 16);
             const QString title = s.query.fieldByName(QStringLiteral("titulo"))->asString();
             s.query.first();
             QVERIFY(s.query.locate(QStringLiteral("titulo"), title));
             QCOMPARE(s.query.recNo(), 16);
             QVERIFY(!s.query.locate(QStringLiteral("codigo"), 999));
         }},
        {"parameters",
         [](const QString &cs) {
             Session s(cs, {QStringLiteral("SELECT numero, nome, descricao, codigo, titulo"),
                            QStringLiteral("FROM softs, cds"),
                            QStringLiteral("where midia= :onumero and softs.midia = cds.codigo")});
             s.query.setParameter(QStringLiteral("onumero"), QStringLiteral("3"));
             s.query.open();
             QVERIFY(s.query.recordCount() > 0);
             const QStringList codes = column(s.query, QStringLiteral("codigo"));
             QCOMPARE(codes.count(QStringLiteral("3")), codes.size());
             s.query.close();
             // A quote in a parameter is data, never SQL.
             Session q(cs, {QStringLiteral("select * from softs where nome = :n")});
             q.query.setParameter(QStringLiteral("n"), QStringLiteral("x' or '1'='1"));
             q.query.open();
             QCOMPARE(q.query.recordCount(), 0);
         }},
        {"over-long text",
         [](const QString &cs) {
             Session s(cs, allMedia);
             s.query.open();
             s.query.edit();
             s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QString(33, u'ç'));
             QVERIFY(failureOf([&] { s.query.post(); }).contains(QStringLiteral("no máximo 32")));
             QCOMPARE(s.query.state(), TDataSetState::Edit);
             // The engine holds the size too, for writers other than the program.
             const auto insert = s.connection.backend().prepare(
                 QStringLiteral("INSERT INTO cds (titulo) VALUES (?)"));
             insert->bind(1, QString(33, u'ç'));
             QVERIFY(failureOf([&] { insert->execute(); }) != u"no failure");
             const auto fits = s.connection.backend().prepare(
                 QStringLiteral("INSERT INTO cds (titulo) VALUES (?)"));
             fits->bind(1, QString(32, u'ç'));
             QCOMPARE(fits->execute(), 1);
         }},
        {"changed elsewhere",
         [](const QString &cs) {
             Session s(cs, allMedia);
             s.query.open();
             Session other(cs, allMedia);
             other.query.open();
             other.query.edit();
             other.query.fieldByName(QStringLiteral("obs"))->setAsString(QStringLiteral("outro"));
             other.query.post();
             s.query.edit();
             s.query.fieldByName(QStringLiteral("obs"))->setAsString(QStringLiteral("meu"));
             QVERIFY(failureOf([&] {
                         s.query.post();
                     }).startsWith(QStringLiteral("O registro não foi salvo: ele foi alterado")));
             QCOMPARE(s.query.state(), TDataSetState::Edit);
             QCOMPARE(s.query.fieldByName(QStringLiteral("obs"))->asString(),
                      QStringLiteral("meu"));
             other.query.refresh();
             QCOMPARE(other.query.fieldByName(QStringLiteral("obs"))->asString(),
                      QStringLiteral("outro"));
             // A row deleted elsewhere is not deleted again unseen either.
             s.query.cancel();
             s.query.last();
             other.query.last();
             other.query.remove();
             const QString refused = failureOf([&] { s.query.remove(); });
             QVERIFY2(refused.startsWith(QStringLiteral("O registro não foi apagado")),
                      qPrintable(refused));
         }},
    };
    for (const char *backend : {"file", "server"}) {
        for (const auto &[name, check] : cases)
            QTest::addRow("%s: %s", backend, name) << QString::fromLatin1(backend) << check;
    }
}

void TestBackends::acceptance()
{
    QFETCH(QString, backend);
    using Case = std::function<void(const QString &)>;
    QFETCH(Case, check);
    if (backend == u"server")
        QUIVEL_REQUIRE_SERVER(*m_server);
    check(sampleCatalogue(backend));
}

void TestBackends::searchFindsTheSameOnBoth_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<bool>("ignoreAccents");
    QTest::newRow("accents, any case")
        << QStringLiteral("ação") << utf8({"AÇÃO Já", "ação já", "Ação"}) << false;
    QTest::newRow("upper finds lower")
        << QStringLiteral("AÇÃO J") << utf8({"AÇÃO Já", "ação já"}) << false;
    QTest::newRow("quote") << QStringLiteral("d'água") << utf8({"D'Água"}) << false;
    QTest::newRow("percent is a wildcard")
        << QStringLiteral("50%off") << utf8({"50% off", "50 off"}) << false;
    QTest::newRow("underscore is a wildcard")
        << QStringLiteral("a_b") << utf8({"a_b", "axb"}) << false;
    QTest::newRow("backslash is ordinary")
        << QStringLiteral("C:\\t") << utf8({"C:\\temp"}) << false;
    QTest::newRow("lone backslash") << QStringLiteral("\\") << utf8({"C:\\temp"}) << false;
    QTest::newRow("cyrillic") << QStringLiteral("привет") << utf8({"ПРИВЕТ мир", "привет"})
                              << false;
    QTest::newRow("greek sigma") << QStringLiteral("ΟΔΟΣ") << utf8({"ΟΔΟΣ", "οδος"}) << false;
    QTest::newRow("cjk") << QStringLiteral("京タ") << utf8({"東京タワー"}) << false;
    QTest::newRow("nothing") << QStringLiteral("zzz") << QStringList{} << false;

    // "Ignorar acentos" ticked: letters match whatever their accents, both ways.
    QTest::newRow("acao, accents kept") << QStringLiteral("acao") << QStringList{} << false;
    QTest::newRow("acao, accents ignored")
        << QStringLiteral("acao") << utf8({"AÇÃO Já", "ação já", "Ação"}) << true;
    QTest::newRow("café finds plain and decomposed")
        << QStringLiteral("café") << utf8({"CAFE", "Café", "cafe\u0301 puro"}) << true;
    QTest::newRow("cafe finds accented")
        << QStringLiteral("CAFE") << utf8({"CAFE", "Café", "cafe\u0301 puro"}) << true;
    QTest::newRow("decomposed pattern")
        << QStringLiteral("cafe\u0301") << utf8({"CAFE", "Café", "cafe\u0301 puro"}) << true;
    QTest::newRow("tilde on n") << QStringLiteral("espanol") << utf8({"Español"}) << true;
    QTest::newRow("two marks on one letter")
        << QStringLiteral("viet") << utf8({"Việt Nam"}) << true;
    QTest::newRow("greek tonos") << QStringLiteral("οδος") << utf8({"ΟΔΟΣ", "οδος", "Οδός"})
                                 << true;
    QTest::newRow("a letter of its own stays") << QStringLiteral("orsted") << QStringList{} << true;
    QTest::newRow("quote, accents ignored") << QStringLiteral("d'agua") << utf8({"D'Água"}) << true;
    QTest::newRow("underscore still a wildcard")
        << QStringLiteral("caf_") << utf8({"CAFE", "Café", "cafe\u0301 puro"}) << true;
    QTest::newRow("cjk, accents ignored") << QStringLiteral("京タ") << utf8({"東京タワー"}) << true;
}

void TestBackends::searchFindsTheSameOnBoth()
{
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    QFETCH(bool, ignoreAccents);
    QUIVEL_REQUIRE_SERVER(*m_server);
    static const QStringList stored =
        utf8({"AÇÃO Já",    "ação já",  "Ação",     "D'Água", "50% off",    "50 off",
              "a_b",        "axb",      "C:\\temp", "C:temp", "ПРИВЕТ мир", "привет",
              "東京タワー", "ΟΔΟΣ",     "οδος",     "CAFE",   "Café",       "cafe\u0301 puro",
              "Español",    "Việt Nam", "Οδός",     "Ørsted"});
    for (const QString &backend : {QStringLiteral("file"), QStringLiteral("server")}) {
        const QString cs = sampleCatalogue(backend);
        {
            Session titles(cs, allTitles);
            titles.query.open();
            for (const QString &name : stored) {
                titles.query.insert();
                titles.query.fieldByName(QStringLiteral("nome"))->setAsString(name);
                titles.query.fieldByName(QStringLiteral("midia"))->setValue(1);
                titles.query.post();
            }
        }
        Session search(cs, {});
        search.connection.open();
        search.query.setSql(searchSql(ignoreAccents ? &search.connection : nullptr));
        search.query.setParameter(QStringLiteral("texto"), QString(u'%' + text + u'%'));
        try {
            search.query.open();
        } catch (const Exception &e) {
            QFAIL(qPrintable(backend + QStringLiteral(": ") + e.message()));
        }
        QStringList names = column(search.query, QStringLiteral("APLICATIVO"));
        // The sample's own titles are not part of the table.
        names.removeIf([](const QString &n) { return !stored.contains(n); });
        names.sort();
        QStringList expected = found;
        expected.sort();
        QVERIFY2(names == expected, qPrintable(backend + QStringLiteral(": ") + names.join(u'|')));
    }
}

void TestBackends::twoProgramsLoseNoUpdate_data()
{
    QTest::addColumn<QString>("backend");
    QTest::newRow("file") << QStringLiteral("file");
    QTest::newRow("server") << QStringLiteral("server");
}

// Each program adds one to a counter kept in a medium's "obs", again and again, reading it
// afresh whenever its save is refused; with no update lost the counter ends at the total.
void TestBackends::twoProgramsLoseNoUpdate()
{
    QFETCH(QString, backend);
    if (backend == u"server")
        QUIVEL_REQUIRE_SERVER(*m_server);
    const QString cs = sampleCatalogue(backend);
    {
        Session s(cs, allMedia);
        s.query.open();
        s.query.edit();
        s.query.fieldByName(QStringLiteral("obs"))->setAsString(QStringLiteral("0"));
        s.query.post();
    }
    const QString editor = QCoreApplication::applicationDirPath() + QStringLiteral("/pg_editor");
    constexpr int rounds = 40;
    QProcess first;
    QProcess second;
    first.start(editor, {cs, QString::number(rounds)});
    second.start(editor, {cs, QString::number(rounds)});
    QVERIFY(first.waitForFinished(120000));
    QVERIFY(second.waitForFinished(120000));
    QVERIFY2(first.exitCode() == 0, first.readAllStandardError().constData());
    QVERIFY2(second.exitCode() == 0, second.readAllStandardError().constData());
    Session s(cs, {QStringLiteral("select obs from cds where codigo = 1")});
    s.query.open();
    QCOMPARE(s.query.fieldText(0), QString::number(2 * rounds));
}

void TestBackends::copyBothWaysKeepsEveryRow()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    TempCatalogue source(TempCatalogue::Content::Sample);
    // Values COPY must escape, NULLs, and a deleted highest code the counter remembers.
    source.exec(QStringLiteral(
        "INSERT INTO cds (titulo, obs, tipo, local) VALUES ('tab\there', 'line\nbreak\\N', NULL, "
        "'back\\slash');"
        "INSERT INTO softs (nome, descricao, midia) VALUES ('Última', NULL, NULL);"
        "INSERT INTO softs (nome) VALUES ('apagado');"
        "DELETE FROM softs WHERE nome = 'apagado'"));
    const auto dump = [](const TempCatalogue &cat) {
        QStringList rows;
        for (const char *sql : {"SELECT group_concat(quote(codigo) || quote(titulo) || quote(obs) "
                                "|| quote(tipo) || quote(local), '|') FROM (SELECT * FROM cds "
                                "ORDER BY codigo)",
                                "SELECT group_concat(quote(numero) || quote(nome) || "
                                "quote(descricao) || quote(midia), '|') FROM (SELECT * FROM softs "
                                "ORDER BY numero)",
                                "SELECT group_concat(name || seq) FROM (SELECT * FROM "
                                "sqlite_sequence ORDER BY name)"})
            rows << cat.scalar(QString::fromLatin1(sql));
        return rows;
    };
    const QString uri = m_server->createDatabase(QStringLiteral("copied"));
    ServerCatalogue::copyFromFile(source.path(), uri);
    QCOMPARE(ServerCatalogue::check(uri), QStringList());
    TempCatalogue back(TempCatalogue::Content::None);
    ServerCatalogue::copyToFile(uri, back.path());
    QCOMPARE(dump(back), dump(source));

    // The server goes on from the file's counter, not from its highest remaining code.
    const QString highest =
        source.scalar(QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = 'softs'"));
    Session s(uri, allTitles);
    s.query.open();
    s.query.insert();
    s.query.fieldByName(QStringLiteral("nome"))->setAsString(QStringLiteral("nova"));
    s.query.post();
    QCOMPARE(s.query.fieldByName(QStringLiteral("numero"))->asString(),
             QString::number(highest.toInt() + 1));

    // A second copy into a catalogue that exists changes nothing.
    QVERIFY(failureOf([&] {
                ServerCatalogue::copyFromFile(source.path(), uri);
            }).contains(QStringLiteral("já tem um catálogo")));
    QVERIFY(failureOf([&] {
                ServerCatalogue::copyToFile(uri, back.path());
            }).contains(QStringLiteral("já existe")));
}

// The tool killed while the rows are on their way: the target has no catalogue at all.
void TestBackends::copyKilledMidwayLeavesTheTargetEmpty()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString tool = QCoreApplication::applicationDirPath() +
                         QStringLiteral("/../../tools/catalogue/quivel-catalogue");
    TempCatalogue source(TempCatalogue::Content::None);
    Catalogue::createLarge(source.path(), 1000, 300000);
    const QString uri = m_server->createDatabase(QStringLiteral("killed"));

    QProcess copy;
    copy.start(tool, {QStringLiteral("copy"), source.path(), uri});
    QVERIFY(copy.waitForStarted());
    // Killed once the server is taking the rows in.
    bool copying = false;
    for (int i = 0; i < 2000 && !copying && copy.state() == QProcess::Running; ++i) {
        copying =
            m_server->scalar(QStringLiteral("postgres"),
                             QStringLiteral("SELECT count(*) FROM pg_stat_activity WHERE "
                                            "datname = 'killed' AND query LIKE 'COPY%'")) != u"0";
        if (!copying)
            QTest::qWait(5);
    }
    QVERIFY2(copying, "the copy ended before it could be killed");
    copy.kill();
    QVERIFY(copy.waitForFinished());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->scalar(QStringLiteral("postgres"),
                                               QStringLiteral("SELECT count(*) FROM "
                                                              "pg_stat_activity WHERE datname = "
                                                              "'killed'")),
                              QStringLiteral("0"), 10000);
    QCOMPARE(m_server->scalar(QStringLiteral("killed"),
                              QStringLiteral("SELECT count(*) FROM pg_namespace WHERE nspname = "
                                             "'quivel'")),
             QStringLiteral("0"));

    // The other way: the file is made under another name and only linked into place whole.
    ServerCatalogue::copyFromFile(source.path(), uri);
    TempCatalogue target(TempCatalogue::Content::None);
    QProcess back;
    back.start(tool, {QStringLiteral("copy"), uri, target.path()});
    QVERIFY(back.waitForStarted());
    bool writing = false;
    for (int i = 0; i < 2000 && !writing && back.state() == QProcess::Running; ++i) {
        const QStringList partial =
            QDir(target.directory()).entryList({Catalogue::fileName() + QStringLiteral(".tmp-*")});
        writing = !partial.isEmpty() &&
                  QFileInfo(target.directory() + u'/' + partial.first()).size() > 100000;
        if (!writing)
            QTest::qWait(5);
    }
    QVERIFY2(writing, "the copy ended before it could be killed");
    back.kill();
    QVERIFY(back.waitForFinished());
    QVERIFY(!QFileInfo::exists(target.path()));
}

void TestBackends::foreignObjectsStopEveryServerWrite_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("object");
    QTest::newRow("trigger")
        << QStringLiteral("CREATE FUNCTION quivel.apaga() RETURNS trigger LANGUAGE plpgsql AS $$ "
                          "BEGIN DELETE FROM quivel.softs WHERE numero <> NEW.numero; RETURN NEW; "
                          "END $$; CREATE TRIGGER apaga AFTER UPDATE ON quivel.cds FOR EACH ROW "
                          "EXECUTE FUNCTION quivel.apaga()")
        << QStringLiteral("apaga");
    QTest::newRow("rule") << QStringLiteral(
                                 "CREATE RULE troca AS ON UPDATE TO quivel.cds DO ALSO DELETE FROM "
                                 "quivel.softs")
                          << QStringLiteral("troca");
    QTest::newRow("view") << QStringLiteral("CREATE VIEW quivel.juntos AS SELECT * FROM quivel.cds")
                          << QStringLiteral("juntos");
    QTest::newRow("expression index")
        << QStringLiteral("CREATE INDEX calculado ON quivel.cds ((pg_catalog.length(titulo)))")
        << QStringLiteral("calculado");
    QTest::newRow("composite key")
        << QStringLiteral("ALTER TABLE quivel.cds DROP CONSTRAINT cds_pkey CASCADE; ALTER TABLE "
                          "quivel.cds ADD PRIMARY KEY (codigo, titulo)")
        << QStringLiteral("chave composta (codigo, titulo)");
}

void TestBackends::foreignObjectsStopEveryServerWrite()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    QFETCH(QString, setup);
    QFETCH(QString, object);
    const QString uri = sampleCatalogue(QStringLiteral("server"));
    const QString database = uri.section(QStringLiteral("dbname="), 1);
    m_server->exec(database, setup);
    const QString before = m_server->scalar(
        database,
        QStringLiteral("SELECT (SELECT count(*) FROM quivel.softs) || '/' || "
                       "(SELECT string_agg(titulo, ',' ORDER BY codigo) FROM quivel.cds)"));
    Session s(uri, allMedia);
    s.query.open();
    s.query.edit();
    s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("Renomeada"));
    const QString refusal = failureOf([&] { s.query.post(); });
    QVERIFY2(refusal.contains(object) && refusal.contains(QStringLiteral("nada foi salvo")),
             qPrintable(refusal));
    QCOMPARE(s.query.state(), TDataSetState::Edit);
    s.query.cancel();
    const QString deleteRefusal = failureOf([&] { s.query.remove(); });
    QVERIFY2(deleteRefusal.contains(object), qPrintable(deleteRefusal));
    QCOMPARE(m_server->scalar(database,
                              QStringLiteral("SELECT (SELECT count(*) FROM quivel.softs) || '/' || "
                                             "(SELECT string_agg(titulo, ',' ORDER BY codigo) FROM "
                                             "quivel.cds)")),
             before);
    const QString report = ServerCatalogue::check(uri).join(u'\n');
    QVERIFY2(report.contains(object), qPrintable(report));
}

void TestBackends::failuresNameServerAndDatabaseOnly()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString base = m_server->uri(QStringLiteral("postgres"));
    const QString host = base.section(QStringLiteral("host="), 1).section(u' ', 0, 0);
    const auto openFailure = [](const QString &cs) {
        TADOConnection c;
        c.setConnectionString(cs);
        return failureOf([&] { c.open(); });
    };
    const QString missing =
        m_server->uri(QStringLiteral("nenhum")) + QStringLiteral(" password=segredo123");
    const QString notThere = openFailure(missing);
    QCOMPARE(notThere, QStringLiteral("O catálogo '%1/nenhum' não existe no servidor").arg(host));

    m_server->createDatabase(QStringLiteral("vazio"));
    QCOMPARE(openFailure(m_server->uri(QStringLiteral("vazio"))),
             QStringLiteral("O catálogo '%1/vazio' no servidor não tem as tabelas do Quivel; "
                            "crie-as com o comando quivel-catalogue create")
                 .arg(host));

    const QString newer = sampleCatalogue(QStringLiteral("server"));
    const QString newerDb = newer.section(QStringLiteral("dbname="), 1);
    m_server->exec(newerDb, QStringLiteral("UPDATE quivel.versao SET versao = versao + 1"));
    QCOMPARE(openFailure(newer), QStringLiteral("O catálogo '%1/%2' foi criado por uma versão "
                                                "mais nova do Quivel e não pode ser aberto por "
                                                "esta")
                                     .arg(host, newerDb));

    m_server->exec(QStringLiteral("postgres"),
                   QStringLiteral("CREATE ROLE guarded LOGIN PASSWORD 'certa'"));
    const QString wrong =
        QStringLiteral("postgresql://guarded:segredo123@/postgres?host=%1").arg(host);
    // The test cluster trusts every local user; the refusal needs a password check.
    QFile hba(host + QStringLiteral("/data/pg_hba.conf"));
    QVERIFY(hba.open(QIODevice::WriteOnly | QIODevice::Truncate));
    hba.write("local all guarded scram-sha-256\nlocal all all trust\n");
    hba.close();
    m_server->exec(QStringLiteral("postgres"), QStringLiteral("SELECT pg_reload_conf()"));
    const QString refused = openFailure(wrong);
    QCOMPARE(refused, QStringLiteral("O servidor recusou o acesso ao catálogo '%1/postgres': "
                                     "usuário ou senha não aceitos")
                          .arg(host));

    TADOConnection unreachable;
    unreachable.setConnectionString(
        QStringLiteral("postgresql://quivel:segredo123@/postgres?host=/nonexistent-quivel"));
    const QString down = failureOf([&] { unreachable.open(); });
    QCOMPARE(down, QStringLiteral("Não foi possível conectar ao servidor do catálogo "
                                  "'/nonexistent-quivel/postgres'; verifique se o servidor está "
                                  "ligado e acessível"));
    for (const QString &message : {notThere, refused, down})
        QVERIFY(!message.contains(QStringLiteral("segredo123")));
}

void TestBackends::dataModuleOpensTheServerNamedInTheEnvironment()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString uri = sampleCatalogue(QStringLiteral("server"));
    TempCatalogue elsewhere(TempCatalogue::Content::None);
    CurrentDirectory cd(elsewhere.directory());
    qputenv("QUIVEL_DATABASE", uri.toUtf8());
    QStringList messages;
    TDm1 dm([&](const QString &m) { messages << m; });
    qunsetenv("QUIVEL_DATABASE");
    QCOMPARE(messages, QStringList());
    QCOMPARE(dm.ADOConnection1.connectionString(), uri);
    QCOMPARE(dm.ADOQuery1.recordCount(), 40);
    QCOMPARE(dm.ADOQuery2.recordCount(), 320);
    QVERIFY(dm.ADOQuery4.recordCount() > 0);

    // The all-titles report's gradual open reads on the server as on the file: the rest of
    // the rows stay pending, another statement on the connection still gets its answer, and
    // the read then ends with every title.
    dm.ADOQuery4.close();
    dm.ADOQuery4.setSql({QStringLiteral("SELECT numero, nome, descricao, codigo, titulo"),
                         QStringLiteral("FROM softs, cds"),
                         QStringLiteral("where softs.midia = cds.codigo")});
    dm.ADOQuery4.open();
    const int titles = dm.ADOQuery4.recordCount();
    dm.ADOQuery4.close();
    dm.ADOQuery4.maxRowsPerSlice = 1;
    dm.ADOQuery4.openGradually();
    QVERIFY(dm.ADOQuery4.readPending());
    const auto growing = dm.ADOQuery4.growingResult();
    QVERIFY(growing->rows()->rowCount() < titles);
    dm.ADOQuery1.close();
    dm.ADOQuery1.open();
    QCOMPARE(dm.ADOQuery1.recordCount(), 40);
    while (!growing->complete())
        growing->readMore();
    QCOMPARE(growing->rows()->rowCount(), titles);
}

// The server goes away while a save is on its way: the save is refused with a clear message,
// the edit stays pending, and once the server is back the same save goes through.
void TestBackends::serverStoppedDuringASave()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString cs = sampleCatalogue(QStringLiteral("server"));
    Session s(cs, allMedia);
    s.query.open();
    s.query.edit();
    s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("Salvo depois"));
    m_server->stop();
    const QString failure = failureOf([&] { s.query.post(); });
    QVERIFY2(failure.startsWith(QStringLiteral("A conexão com o servidor do catálogo")) ||
                 failure.startsWith(QStringLiteral("Não foi possível conectar")),
             qPrintable(failure));
    QCOMPARE(s.query.state(), TDataSetState::Edit);
    QVERIFY(m_server->start());
    s.query.post();
    QCOMPARE(s.query.state(), TDataSetState::Browse);
    Session other(cs, {QStringLiteral("select titulo from cds where codigo = 1")});
    other.query.open();
    QCOMPARE(other.query.fieldText(0), QStringLiteral("Salvo depois"));
}

// A statement the server works on for long is given up at the time limit, and stopped at once
// when its reader asks; either way the connection serves the next statement.
void TestBackends::longServerStatementStops()
{
    const QString uri = sampleCatalogue(QStringLiteral("server"));
    const QStringList slow{QStringLiteral("select pg_sleep(30), codigo from cds")};
    Session s(uri, slow);
    s.connection.statementTimeLimitMs = 300;
    s.connection.open();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(failureOf([&] { s.query.open(); }),
             QStringLiteral("O servidor do catálogo '%1' demorou demais para responder, e o "
                            "comando foi interrompido")
                 .arg(s.connection.path()));
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));

    s.connection.statementTimeLimitMs = 20000;
    int reports = 0;
    clock.restart();
    QVERIFY(!s.query.openInSteps(slow, {}, [&](int) { return ++reports < 3; }));
    QCOMPARE(reports, 3);
    QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));

    s.query.setSql(allMedia);
    s.query.open();
    QCOMPARE(s.query.recordCount(), 40);
}

void TestBackends::stoppedServerProcessIsGivenUp_data()
{
    QTest::addColumn<bool>("save");
    // The whole server stopped leaves no one to take a cancel request either.
    QTest::addColumn<bool>("wholeServer");
    QTest::newRow("a read") << false << false;
    QTest::newRow("a save") << true << false;
    QTest::newRow("a read, the whole server stopped") << false << true;
}

// The server process serving the program stopped (as by SIGSTOP) and never answering: a read
// or a save gives up at the time limit with the program's message instead of waiting for as
// long as it stays stopped; nothing is saved, the edit stays, and the next statement is
// served by a new session.
void TestBackends::stoppedServerProcessIsGivenUp()
{
    QFETCH(bool, save);
    QFETCH(bool, wholeServer);
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString cs = sampleCatalogue(QStringLiteral("server"));
    Session s(cs, {QStringLiteral("select pg_catalog.pg_backend_pid()")});
    s.query.open();
    const pid_t serving = pid_t(s.query.fieldByName(QStringLiteral("pg_backend_pid"))->asInteger());
    s.query.close();
    s.query.setSql(allMedia);
    s.query.open();
    const int media = s.query.recordCount();
    if (save) {
        s.query.edit();
        s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("Parado"));
    }
    std::vector<pid_t> stopped{serving};
    if (wholeServer) {
        // The serving process's parent is the server's first process, which takes requests.
        QFile stat(QStringLiteral("/proc/%1/stat").arg(serving));
        QVERIFY(stat.open(QIODevice::ReadOnly));
        const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
        stopped.push_back(pid_t(fields.value(2).toInt()));
        QVERIFY(stopped.back() > 1);
    }
    s.connection.statementTimeLimitMs = 500;
    struct Resume
    {
        std::vector<pid_t> pids;
        ~Resume()
        {
            for (pid_t pid : pids)
                ::kill(pid, SIGCONT);
        }
    } resume;
    for (pid_t pid : stopped) {
        if (::kill(pid, SIGSTOP) != 0)
            QSKIP("the server's processes cannot be signalled from here");
        resume.pids.push_back(pid);
    }

    QElapsedTimer clock;
    clock.start();
    const QString failure = failureOf([&] {
        if (save) {
            s.query.post();
        } else {
            s.query.close();
            s.query.open();
        }
    });
    QVERIFY2(clock.elapsed() < 10000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(failure, QStringLiteral("O servidor do catálogo '%1' demorou demais para responder, "
                                     "e o comando foi interrompido")
                          .arg(s.connection.path()));
    QCOMPARE(s.query.state(), save ? TDataSetState::Edit : TDataSetState::Inactive);

    for (pid_t pid : stopped)
        ::kill(pid, SIGCONT);
    s.connection.statementTimeLimitMs = 20000;
    Session other(cs, {QStringLiteral("select count(*) from cds where titulo = 'Parado'")});
    other.query.open();
    QCOMPARE(other.query.fieldText(0), QStringLiteral("0"));
    if (save) {
        s.query.post();
        QCOMPARE(s.query.state(), TDataSetState::Browse);
    } else {
        s.query.open();
    }
    QCOMPARE(s.query.recordCount(), media);
}

void TestBackends::toolGivesUpOnASilentServer_data()
{
    QTest::addColumn<bool>("limitLifted");
    QTest::newRow("a command") << false;
    // A copy moves a whole table in one statement, with the server's own limit lifted.
    QTest::newRow("a command while the limit is lifted") << true;
}

// The companion tool's commands, which nobody stops: a server process that stops answering is
// given up once it has been silent longer than allowed, unless the command may take as long
// as it needs.
void TestBackends::toolGivesUpOnASilentServer()
{
    QFETCH(bool, limitLifted);
    QUIVEL_REQUIRE_SERVER(*m_server);
    struct ShortSilence : EngineWatch
    {
        bool goesOn() override { return true; }
        bool waitForWriter(int) override { return false; }
        int silenceLimitMs() const override { return 500; }
    } watch;
    PostgresBackend server(sampleCatalogue(QStringLiteral("server")), watch);
    const auto scalar = [&server](const QString &sql) {
        const auto statement = server.prepare(sql);
        return statement->step() ? statement->value(0).toString() : QString();
    };
    const pid_t serving =
        pid_t(scalar(QStringLiteral("SELECT pg_catalog.pg_backend_pid()")).toInt());
    std::optional<ServerTransaction> lifted;
    if (limitLifted)
        lifted.emplace(server, ServerTransaction::StatementLimit::None);
    if (::kill(serving, SIGSTOP) != 0)
        QSKIP("the server's processes cannot be signalled from here");
    // Longer than the silence allowed and the patience a cancel request is given after it.
    static constexpr int stoppedMs = 5000;
    std::thread resume([serving] {
        std::this_thread::sleep_for(std::chrono::milliseconds(stoppedMs));
        ::kill(serving, SIGCONT);
    });

    QElapsedTimer clock;
    clock.start();
    QString answer;
    const QString failure =
        failureOf([&] { answer = scalar(QStringLiteral("SELECT 'respondeu'")); });
    const qint64 waited = clock.elapsed();
    resume.join();
    if (limitLifted) {
        QCOMPARE(failure, QStringLiteral("no failure"));
        QCOMPARE(answer, QStringLiteral("respondeu"));
        QVERIFY2(waited >= stoppedMs - 100, qPrintable(QString::number(waited)));
        lifted->commit();
    } else {
        QCOMPARE(failure, QStringLiteral("O servidor do catálogo '%1' demorou demais para "
                                         "responder, e o comando foi interrompido")
                              .arg(server.displayName()));
        QVERIFY2(waited < stoppedMs - 1000, qPrintable(QString::number(waited)));
    }
}

// A row another program holds in an open transaction: the save gives up after the session's
// lock wait, as the file does, and the edit stays pending.
void TestBackends::lockedRowGivesUpAsBusy()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString cs = sampleCatalogue(QStringLiteral("server"));
    const auto holder = PostgresBackend::connectOnly(cs);
    holder->run(QStringLiteral("BEGIN; SELECT * FROM quivel.cds WHERE codigo = 1 FOR UPDATE"));
    Session s(cs, allMedia);
    s.query.open();
    s.query.edit();
    s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("Bloqueado"));
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(failureOf([&] { s.query.post(); }),
             QStringLiteral("O catálogo '%1' está ocupado por outro programa. Tente de novo em "
                            "alguns instantes")
                 .arg(s.connection.path()));
    QVERIFY2(clock.elapsed() >= 4000 && clock.elapsed() < 15000,
             qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(s.query.state(), TDataSetState::Edit);
    holder->run(QStringLiteral("ROLLBACK"));
    s.query.post();
    QCOMPARE(s.query.state(), TDataSetState::Browse);
}

void TestBackends::silentServerGivesUpAtTheConnectTimeout_data()
{
    QTest::addColumn<QString>("option");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<QString>("unit");
    QTest::newRow("the address's own")
        << QStringLiteral(" connect_timeout=1") << 1 << QStringLiteral("segundo");
    QTest::newRow("none in the address") << QString() << 10 << QStringLiteral("segundos");
}

// A server that takes the connection and never answers it: the program gives up at the
// address's connect_timeout, or at its own 10 s, instead of waiting for ever.
void TestBackends::silentServerGivesUpAtTheConnectTimeout()
{
    QFETCH(QString, option);
    QFETCH(int, seconds);
    QFETCH(QString, unit);
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    QCOMPARE(::bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    QCOMPARE(::listen(listener, 4), 0);
    socklen_t length = sizeof address;
    QCOMPARE(::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length), 0);
    const int port = ntohs(address.sin_port);

    TADOConnection c;
    c.setConnectionString(QStringLiteral("host=127.0.0.1 port=%1 dbname=quivel").arg(port) +
                          option);
    QElapsedTimer clock;
    clock.start();
    const QString failure = failureOf([&] { c.open(); });
    const qint64 waited = clock.elapsed();
    ::close(listener);
    QCOMPARE(failure, QStringLiteral("O servidor do catálogo '127.0.0.1/quivel' não respondeu em "
                                     "%1 %2; verifique se o servidor está ligado e acessível")
                          .arg(seconds)
                          .arg(unit));
    QVERIFY2(waited >= seconds * 1000 - 100 && waited < seconds * 1000 + 4000,
             qPrintable(QString::number(waited)));
}

// Each failure has its own Portuguese text, chosen by the server's code and libpq's state.
void TestBackends::failuresAreWordedByCodeNotText()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const auto openFailure = [](const QString &cs) {
        TADOConnection c;
        c.setConnectionString(cs);
        return failureOf([&] { c.open(); });
    };
    const QString cs = sampleCatalogue(QStringLiteral("server"));
    const QString db = cs.section(QStringLiteral("dbname="), 1);
    const QString name = PostgresBackend::describe(cs);

    QCOMPARE(openFailure(cs + QStringLiteral(" sslmode=talvez")),
             QStringLiteral("O endereço do servidor do catálogo '%1' pede uma segurança (sslmode) "
                            "desconhecida: 'talvez'. Use disable, prefer, require, verify-ca ou "
                            "verify-full")
                 .arg(name));

    // A user who may connect but not read the tables is told so, not that a save failed.
    m_server->exec(db, QStringLiteral("CREATE ROLE outsider LOGIN"));
    m_server->exec(db, QStringLiteral("GRANT USAGE ON SCHEMA quivel TO outsider"));
    const QString outsider = cs + QStringLiteral(" user=outsider");
    QCOMPARE(openFailure(outsider),
             QStringLiteral("Sem permissão para ler o catálogo '%1' no servidor; peça ao "
                            "administrador do servidor acesso às tabelas do Quivel")
                 .arg(name));

    // The test server offers no TLS: a connection that requires it fails as a secure one.
    const int port = m_server->listenOnTcp();
    QVERIFY(port > 0);
    const QString tcp = QStringLiteral("host=127.0.0.1 port=%1 user=quivel dbname=%2").arg(port);
    QCOMPARE(openFailure(tcp.arg(db) + QStringLiteral(" sslmode=require")),
             QStringLiteral("Não foi possível estabelecer uma conexão segura com o servidor do "
                            "catálogo '127.0.0.1/%1': o servidor não a oferece, ou o certificado "
                            "não foi aceito ou não foi encontrado")
                 .arg(db));
}

void TestBackends::namesServerOnlyForServerAddresses_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("server");
    QTest::newRow("keywords") << QStringLiteral("host=db.escritorio dbname=quivel") << true;
    QTest::newRow("uri") << QStringLiteral("postgresql://ana@db/quivel") << true;
    QTest::newRow("file with =") << QStringLiteral("cat=2024.mdb") << false;
    QTest::newRow("path with =") << QStringLiteral("/home/ana/cat=2024.mdb") << false;
    QTest::newRow("keyword-like file") << QStringLiteral("host=2024.mdb") << false;
    QTest::newRow("file connection string")
        << QStringLiteral("Provider=x;Data Source=cat=2024.mdb;") << false;
    QTest::newRow("plain file") << QStringLiteral("catalogo.mdb") << false;
    QTest::newRow("unknown keyword") << QStringLiteral("servidor=db dbname=quivel") << false;
}

void TestBackends::namesServerOnlyForServerAddresses()
{
    QFETCH(QString, text);
    QFETCH(bool, server);
    QCOMPARE(Backend::namesServer(text), server);
}

// Another user deletes a medium while a title is being typed on it: the server refuses the
// title, and the program says why.
void TestBackends::serverRefusesTitlesOnDeletedMedia()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString cs = sampleCatalogue(QStringLiteral("server"));
    const QString db = cs.section(QStringLiteral("dbname="), 1);
    Session titles(cs, allTitles);
    titles.query.open();
    const int before = titles.query.recordCount();
    titles.query.insert();
    titles.query.fieldByName(QStringLiteral("nome"))->setAsString(QStringLiteral("Órfão"));
    titles.query.fieldByName(QStringLiteral("midia"))->setValue(2);
    m_server->exec(db, QStringLiteral("DELETE FROM quivel.softs WHERE midia = 2; "
                                      "DELETE FROM quivel.cds WHERE codigo = 2"));
    QCOMPARE(failureOf([&] { titles.query.post(); }),
             QStringLiteral("A mídia escolhida para este software não existe mais: ela foi "
                            "apagada por outro programa. Escolha outra mídia e salve de novo; "
                            "nada foi salvo"));
    QCOMPARE(titles.query.state(), TDataSetState::Insert);
    QCOMPARE(m_server->scalar(db, QStringLiteral("SELECT count(*) FROM quivel.softs WHERE "
                                                 "midia NOT IN (SELECT codigo FROM quivel.cds)")),
             QStringLiteral("0"));
    titles.query.fieldByName(QStringLiteral("midia"))->setValue(3);
    titles.query.post();
    QCOMPARE(m_server->scalar(db, QStringLiteral("SELECT count(*) FROM quivel.softs WHERE nome "
                                                 "= 'Órfão' AND midia = 3")),
             QStringLiteral("1"));
    QVERIFY(before > 0);
}

// A catalogue made before the key: check names the titles without a medium and the missing
// key; upgrade refuses while such titles are there, and adds the key once they are fixed.
void TestBackends::upgradeAddsTheMediumKeyAfterCheckingOrphans()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString cs = sampleCatalogue(QStringLiteral("server"));
    const QString db = cs.section(QStringLiteral("dbname="), 1);
    QCOMPARE(ServerCatalogue::check(cs), QStringList());
    QVERIFY(!ServerCatalogue::upgrade(cs).mediumKeyAdded);
    m_server->exec(db, QStringLiteral("ALTER TABLE quivel.softs DROP CONSTRAINT softs_midia_cds; "
                                      "UPDATE quivel.softs SET midia = 999 WHERE numero = 1"));
    const QString name = m_server->scalar(db, QStringLiteral("SELECT nome FROM quivel.softs "
                                                             "WHERE numero = 1"));
    const QString orphan =
        QStringLiteral("O título 1 ('%1') está na mídia 999, que não existe; não aparece nas "
                       "buscas nem no relatório")
            .arg(name);
    QCOMPARE(ServerCatalogue::check(cs),
             QStringList({orphan, QStringLiteral("O servidor não recusa títulos em mídias que "
                                                 "não existem; acrescente essa regra com "
                                                 "quivel-catalogue upgrade")}));
    const QString refused = failureOf([&] { ServerCatalogue::upgrade(cs); });
    QVERIFY2(refused.startsWith(orphan), qPrintable(refused));
    QCOMPARE(m_server->scalar(db, QStringLiteral("SELECT count(*) FROM pg_catalog.pg_constraint "
                                                 "WHERE conname = 'softs_midia_cds'")),
             QStringLiteral("0"));
    m_server->exec(db, QStringLiteral("UPDATE quivel.softs SET midia = 1 WHERE numero = 1"));
    QVERIFY(ServerCatalogue::upgrade(cs).mediumKeyAdded);
    QCOMPARE(ServerCatalogue::check(cs), QStringList());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             m_server->exec(db, QStringLiteral("UPDATE quivel.softs SET midia = "
                                                               "999 WHERE numero = 1")));
}

void TestBackends::nulInTypedTextIsRefused_data()
{
    QTest::addColumn<QString>("backend");
    QTest::addColumn<bool>("inserting");
    for (const char *backend : {"file", "server"}) {
        QTest::addRow("%s insert", backend) << QString::fromLatin1(backend) << true;
        QTest::addRow("%s update", backend) << QString::fromLatin1(backend) << false;
    }
}

void TestBackends::nulInTypedTextIsRefused()
{
    QFETCH(QString, backend);
    QFETCH(bool, inserting);
    if (backend == u"server")
        QUIVEL_REQUIRE_SERVER(*m_server);
    const QString cs = sampleCatalogue(backend);
    Session s(cs, allTitles);
    s.query.open();
    const int before = s.query.recordCount();
    const QString name = s.query.fieldByName(QStringLiteral("nome"))->asString();
    if (inserting) {
        s.query.insert();
        s.query.fieldByName(QStringLiteral("midia"))->setValue(1);
    } else {
        s.query.edit();
    }
    const QString typed = QStringLiteral("a") + QChar(u'\0') + QStringLiteral("b");
    s.query.fieldByName(QStringLiteral("nome"))->setAsString(typed);
    QCOMPARE(failureOf([&] { s.query.post(); }),
             QStringLiteral("O campo 'nome' contém um caractere nulo, que o catálogo não aceita; "
                            "apague-o e salve de novo. Nada foi salvo"));
    QCOMPARE(s.query.state(), inserting ? TDataSetState::Insert : TDataSetState::Edit);
    QCOMPARE(s.query.fieldByName(QStringLiteral("nome"))->asString(), typed);
    s.query.cancel();
    Session again(cs, allTitles);
    again.query.open();
    QCOMPARE(again.query.recordCount(), before);
    QCOMPARE(again.query.fieldByName(QStringLiteral("nome"))->asString(), name);
}

// A file that holds a NUL (written by another program) is still copied whole; each such
// value is named, and arrives without the NUL.
void TestBackends::copyNamesTextsHoldingNul()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    TempCatalogue source(TempCatalogue::Content::Sample);
    source.exec(QStringLiteral("UPDATE softs SET nome = CAST(X'61006200' AS TEXT) || 'c' "
                               "WHERE numero = 7; UPDATE cds SET obs = CAST(X'00' AS TEXT) WHERE "
                               "codigo = 3"));
    const QString uri = m_server->createDatabase(QStringLiteral("withnul"));
    const QStringList notes = ServerCatalogue::copyFromFile(source.path(), uri);
    QCOMPARE(notes, QStringList({QStringLiteral("Tabela 'cds', código 3, coluna 'obs': o texto "
                                                "tinha um caractere nulo, que o servidor não "
                                                "aceita; foi copiado sem ele"),
                                 QStringLiteral("Tabela 'softs', código 7, coluna 'nome': o texto "
                                                "tinha um caractere nulo, que o servidor não "
                                                "aceita; foi copiado sem ele")}));
    QCOMPARE(m_server->scalar(QStringLiteral("withnul"),
                              QStringLiteral("SELECT nome FROM quivel.softs WHERE numero = 7")),
             QStringLiteral("abc"));
    QCOMPARE(m_server->scalar(QStringLiteral("withnul"),
                              QStringLiteral("SELECT count(*) FROM quivel.softs")),
             source.scalar(QStringLiteral("SELECT count(*) FROM softs")));
}

// The server restarts while the program sits idle: the next read and the next save find the
// connection broken before anything is sent, reconnect once, and go through.
void TestBackends::firstActionAfterAServerRestartWorks()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString cs = sampleCatalogue(QStringLiteral("server"));
    Session s(cs, allMedia);
    s.query.open();
    m_server->stop();
    QVERIFY(m_server->start());
    s.query.close();
    s.query.open();
    QCOMPARE(s.query.recordCount(), 40);

    m_server->stop();
    QVERIFY(m_server->start());
    s.query.setRecNo(3);
    s.query.edit();
    s.query.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("Depois"));
    s.query.post();
    QCOMPARE(s.query.state(), TDataSetState::Browse);
    QCOMPARE(m_server->scalar(cs.section(QStringLiteral("dbname="), 1),
                              QStringLiteral("SELECT count(*) FROM quivel.cds WHERE titulo = "
                                             "'Depois'")),
             QStringLiteral("1"));
}

// Two runs make the catalogue in one database at once: the one that comes second is told,
// whether the first still holds the database past the lock wait or has just finished.
void TestBackends::theLoserOfTwoCopiesIsToldSo()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString uri = m_server->createDatabase(QStringLiteral("race"));
    const QString told = QStringLiteral("Outro programa criou ou está criando um catálogo do "
                                        "Quivel no banco '%1' ao mesmo tempo; nada foi alterado")
                             .arg(PostgresBackend::describe(uri));
    const auto first = PostgresBackend::connectOnly(uri);
    first->run(QStringLiteral("BEGIN; CREATE SCHEMA quivel"));
    QCOMPARE(failureOf([&] { ServerCatalogue::create(uri); }), told);

    std::thread finishing([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        first->run(QStringLiteral("COMMIT"));
    });
    const QString second = failureOf([&] { ServerCatalogue::create(uri); });
    finishing.join();
    QCOMPARE(second, told);
}

QTEST_GUILESS_MAIN(TestBackends)
#include "tst_backends.moc"
