// SPDX-License-Identifier: GPL-3.0-or-later
// Kinds of content on a server's catalogue: the upgrade from version 1 by the companion tool,
// the program's refusal of other versions, and the same answers as the file.
#include "catalogue/catalogue.h"
#include "catalogue/server_catalogue.h"
#include "core/exceptions.h"
#include "core/schema.h"
#include "data/connection.h"
#include "data/data_module.h"
#include "data/query.h"
#include "registration/kinds_window.h"
#include "reports/report_panel.h"
#include "tests/support/catalogue_tool.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/test_server.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int toolTimeLimitMs = 120000;

// Every row of the server's media and titles, as the first version had them.
const QString rowsSql =
    u"SELECT (SELECT string_agg(concat_ws('|', codigo, quote_nullable(titulo), "
    "quote_nullable(obs), quote_nullable(tipo), quote_nullable(local)), E'\\n' ORDER BY codigo) "
    "FROM quivel.cds) || E'\\n--\\n' || (SELECT string_agg(concat_ws('|', numero, "
    "quote_nullable(nome), quote_nullable(descricao), quote_nullable(midia)), E'\\n' ORDER BY "
    "numero) FROM quivel.softs)"_s;

// What the search window runs for a word, as it splices it.
QStringList searchSql(const QString &text)
{
    return {u"SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS DESCRIÇÃO, "
            "nome_categoria AS CATEGORIA, titulo AS MÍDIA, tipo AS TIPO_MÍDIA"_s,
            u"FROM softs LEFT JOIN categorias ON categorias.id_categoria = softs.categoria, cds"_s,
            u"where nome like '%"_s + text + u"%' and softs.midia = cds.codigo"_s};
}

// A result's rows, sorted: neither statement asks for an order.
QStringList rowsOf(const QString &connectionString, const QStringList &sql,
                   const QVariantHash &parameters = {})
{
    TADOConnection connection;
    connection.setConnectionString(connectionString);
    TADOQuery query(u"Q"_s, &connection);
    query.setSql(sql);
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        query.setParameter(it.key(), it.value());
    query.open();
    QStringList rows;
    for (int row = 0; row < query.recordCount(); ++row) {
        QStringList values;
        for (int field = 0; field < query.fieldCount(); ++field)
            values << query.textAt(row, field);
        rows << values.join(u'|');
    }
    rows.sort();
    return rows;
}

// Gives the sample's titles kinds other than software, the same way on either backend.
const QString varyKinds = u"UPDATE %1softs SET categoria = 1 + numero % 6"_s;

} // namespace

class TestKindsServer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void toolUpgradesAVersion1CatalogueKeepingEveryRow();
    void programOnAnotherVersionSaysWhatToDo_data();
    void programOnAnotherVersionSaysWhatToDo();
    void failedUpgradeChangesNothing();
    void killedUpgradeChangesNothing();
    void fileAndServerAnswerAlike_data();
    void fileAndServerAnswerAlike();
    void kindsWindowRulesHoldOnTheServer();

private:
    // The sample catalogue as the first version made it on a server: this version's, less
    // what the second added.
    QString version1Catalogue(const QString &name, int titles = 0);

    std::unique_ptr<TestServer> m_server;
};

void TestKindsServer::initTestCase()
{
    QApplication::setApplicationDisplayName(u"Quivel"_s);
    m_server = std::make_unique<TestServer>();
}

QString TestKindsServer::version1Catalogue(const QString &name, int titles)
{
    const QString uri = m_server->createDatabase(name);
    if (titles > 0)
        ServerCatalogue::createLarge(uri, 1000, titles);
    else
        ServerCatalogue::createSample(uri);
    m_server->exec(name, u"DROP INDEX quivel.softs_categoria; ALTER TABLE quivel.softs DROP "
                         "COLUMN categoria; DROP TABLE quivel.categorias; UPDATE quivel.versao "
                         "SET versao = 1"_s);
    return uri;
}

void TestKindsServer::toolUpgradesAVersion1CatalogueKeepingEveryRow()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString uri = version1Catalogue(u"v1"_s);
    const QString before = m_server->scalar(u"v1"_s, rowsSql);
    QVERIFY(before.count(u'\n') > 300);

    const ToolRun run = runTool({u"upgrade"_s, uri}, toolTimeLimitMs);
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.output.contains(u"atualizado da versão 1 para a 2."_s), qPrintable(run.output));

    QCOMPARE(m_server->scalar(u"v1"_s, rowsSql), before);
    QCOMPARE(m_server->scalar(u"v1"_s, u"SELECT max(versao) FROM quivel.versao"_s), u"2"_s);
    QCOMPARE(m_server->scalar(u"v1"_s, u"SELECT count(*) FROM quivel.softs s JOIN "
                                       "quivel.categorias c ON c.id_categoria = s.categoria WHERE "
                                       "c.nome_categoria = 'Software'"_s),
             m_server->scalar(u"v1"_s, u"SELECT count(*) FROM quivel.softs"_s));
    QCOMPARE(m_server->scalar(u"v1"_s, u"SELECT string_agg(nome_categoria, '|' ORDER BY "
                                       "id_categoria) FROM quivel.categorias"_s),
             u"Software|Jogo|Filme|Música|Documento|Outros"_s);
    QCOMPARE(ServerCatalogue::check(uri), QStringList());
    // The server folds every letter for the names' uniqueness, as the program does.
    QVERIFY_THROWS_EXCEPTION(std::runtime_error,
                             m_server->exec(u"v1"_s, u"INSERT INTO quivel.categorias "
                                                     "(nome_categoria) VALUES ('MÚSICA')"_s));

    const ToolRun again = runTool({u"upgrade"_s, uri}, toolTimeLimitMs);
    QCOMPARE(again.exitCode, 0);
    QVERIFY2(again.output.contains(u"já está na versão 2; nada foi alterado"_s),
             qPrintable(again.output));
}

void TestKindsServer::programOnAnotherVersionSaysWhatToDo_data()
{
    QTest::addColumn<int>("version");
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("tool"); // the upgrade's answer
    QTest::newRow("older") << 1 << u"quivel-catalogue upgrade ENDEREÇO"_s
                           << u"atualizado da versão 1 para a 2"_s;
    QTest::newRow("newer") << 3 << u"foi criado por uma versão mais nova do Quivel"_s
                           << u"foi criado por uma versão mais nova do Quivel"_s;
}

void TestKindsServer::programOnAnotherVersionSaysWhatToDo()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    QFETCH(int, version);
    QFETCH(QString, program);
    QFETCH(QString, tool);
    const QString name = u"other%1"_s.arg(version);
    const QString uri = version1Catalogue(name);
    m_server->exec(name, u"UPDATE quivel.versao SET versao = %1"_s.arg(version));

    TADOConnection connection;
    connection.setConnectionString(uri);
    QString failure;
    try {
        connection.open();
    } catch (const Exception &e) {
        failure = e.message();
    }
    QVERIFY2(failure.contains(program), qPrintable(failure));
    QVERIFY(!connection.connected());

    const ToolRun run = runTool({u"upgrade"_s, uri}, toolTimeLimitMs);
    QCOMPARE(run.exitCode, version < Schema::version ? 0 : 1);
    QVERIFY2(run.output.contains(tool), qPrintable(run.output));
    QCOMPARE(m_server->scalar(name, u"SELECT max(versao) FROM quivel.versao"_s),
             QString::number(std::max(version, Schema::version)));
}

void TestKindsServer::failedUpgradeChangesNothing()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString uri = version1Catalogue(u"failing"_s);
    // A table of the user's own where the kinds would go: the step fails halfway.
    m_server->exec(u"failing"_s, u"CREATE TABLE quivel.categorias (x integer); INSERT INTO "
                                 "quivel.categorias VALUES (7)"_s);
    const QString before = m_server->scalar(u"failing"_s, rowsSql);

    const ToolRun run = runTool({u"upgrade"_s, uri}, toolTimeLimitMs);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.output.contains(u"não foi alterado"_s), qPrintable(run.output));
    QCOMPARE(m_server->scalar(u"failing"_s, rowsSql), before);
    QCOMPARE(m_server->scalar(u"failing"_s, u"SELECT max(versao) FROM quivel.versao"_s), u"1"_s);
    QCOMPARE(m_server->scalar(u"failing"_s, u"SELECT count(*) FROM information_schema.columns "
                                            "WHERE table_schema = 'quivel' AND table_name = "
                                            "'softs' AND column_name = 'categoria'"_s),
             u"0"_s);
    QCOMPARE(m_server->scalar(u"failing"_s, u"SELECT string_agg(x::text, ',') FROM "
                                            "quivel.categorias"_s),
             u"7"_s);
}

void TestKindsServer::killedUpgradeChangesNothing()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString uri = version1Catalogue(u"killed"_s, 300000);
    const QString before = m_server->scalar(u"killed"_s, rowsSql);
    QProcess tool;
    tool.start(QStringLiteral(QUIVEL_CATALOGUE_TOOL), {u"upgrade"_s, uri});
    QVERIFY(tool.waitForStarted());
    // Killed while the server works through the step.
    bool upgrading = false;
    for (int i = 0; i < 2000 && !upgrading && tool.state() == QProcess::Running; ++i) {
        upgrading = m_server->scalar(u"postgres"_s,
                                     u"SELECT count(*) FROM pg_stat_activity WHERE datname = "
                                     "'killed' AND query LIKE '%quivel.categorias%' AND state = "
                                     "'active' AND pid <> pg_backend_pid()"_s) != u"0"_s;
        if (!upgrading)
            QTest::qSleep(1);
    }
    if (!upgrading)
        QSKIP("the upgrade ended before it could be seen at work");
    ::kill(pid_t(tool.processId()), SIGKILL);
    QVERIFY(tool.waitForFinished(10000));
    // The server rolls the transaction back once it sees the connection gone.
    QTRY_COMPARE_WITH_TIMEOUT(
        m_server->scalar(u"postgres"_s, u"SELECT count(*) FROM pg_stat_activity WHERE datname = "
                                        "'killed' AND pid <> pg_backend_pid()"_s),
        u"0"_s, 20000);
    QCOMPARE(m_server->scalar(u"killed"_s, u"SELECT max(versao) FROM quivel.versao"_s), u"1"_s);
    QCOMPARE(m_server->scalar(u"killed"_s, u"SELECT to_regclass('quivel.categorias') IS NULL"_s),
             u"t"_s);
    QCOMPARE(m_server->scalar(u"killed"_s, rowsSql), before);
    // And the next run does the whole job.
    QCOMPARE(runTool({u"upgrade"_s, uri}, toolTimeLimitMs).exitCode, 0);
    QCOMPARE(ServerCatalogue::check(uri), QStringList());
}

void TestKindsServer::fileAndServerAnswerAlike_data()
{
    QTest::addColumn<QStringList>("sql");
    QTest::addColumn<QVariantHash>("parameters");
    QTest::newRow("search, every kind") << searchSql(u"a"_s) << QVariantHash();
    QTest::newRow("search, accented") << searchSql(u"AÇÃO"_s) << QVariantHash();
    QTest::newRow("report, all titles") << ReportPanel::softwareReportSql(false) << QVariantHash();
    QTest::newRow("report, one kind")
        << ReportPanel::softwareReportSql(false, true) << QVariantHash{{u"ocategoria"_s, 2}};
    QTest::newRow("report, one medium and one kind")
        << ReportPanel::softwareReportSql(true, true)
        << QVariantHash{{u"onumero"_s, u"3"_s}, {u"ocategoria"_s, 4}};
    QTest::newRow("kinds") << QStringList{u"select * from categorias order by id_categoria"_s}
                           << QVariantHash();
}

void TestKindsServer::fileAndServerAnswerAlike()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    QFETCH(QStringList, sql);
    QFETCH(QVariantHash, parameters);
    static int databases = 0;
    const QString name = u"alike%1"_s.arg(++databases);
    TempCatalogue file(TempCatalogue::Content::Sample);
    file.exec(varyKinds.arg(QString()));
    const QString uri = m_server->createDatabase(name);
    ServerCatalogue::copyFromFile(file.path(), uri);

    const QStringList onFile =
        rowsOf(Catalogue::connectionString(file.directory()), sql, parameters);
    QVERIFY(!onFile.isEmpty());
    QCOMPARE(rowsOf(uri, sql, parameters), onFile);
}

void TestKindsServer::kindsWindowRulesHoldOnTheServer()
{
    QUIVEL_REQUIRE_SERVER(*m_server);
    const QString uri = m_server->createDatabase(u"window"_s);
    ServerCatalogue::createSample(uri);
    m_server->exec(u"window"_s, varyKinds.arg(u"quivel."_s));
    qputenv("QUIVEL_DATABASE", uri.toUtf8());
    FakeDialogs dialogs;
    QStringList startup;
    TDm1 dm{[&](const QString &line) { startup << line; }};
    qunsetenv("QUIVEL_DATABASE");
    QCOMPARE(startup, QStringList());
    KindsWindow window(dm);
    auto *name = window.findChild<QLineEdit *>(u"EditNome"_s);
    auto *list = window.findChild<QListWidget *>(u"ListaCategorias"_s);

    name->setText(u"música"_s);
    window.ButtonAddClick();
    name->setText(u"Revista"_s);
    window.ButtonAddClick();
    list->setCurrentRow(1); // "Jogo", which titles use
    dialogs.answers << Dialogs::Yes;
    window.ButtonRemoveClick();

    QCOMPARE(dialogs.boxes.size(), 2);
    QVERIFY(dialogs.boxes[0].text.startsWith(u"Já existe a categoria \"Música\""_s));
    const QString inUse =
        m_server->scalar(u"window"_s, u"SELECT count(*) FROM quivel.softs WHERE categoria = 2"_s);
    QVERIFY2(dialogs.boxes[1].text.contains(u": %1 títulos a usam"_s.arg(inUse)),
             qPrintable(dialogs.boxes[1].text));
    QCOMPARE(m_server->scalar(u"window"_s, u"SELECT string_agg(nome_categoria, '|' ORDER BY "
                                           "id_categoria) FROM quivel.categorias"_s),
             u"Software|Jogo|Filme|Música|Documento|Outros|Revista"_s);
}

QTEST_MAIN(TestKindsServer)
#include "tst_kinds_server.moc"
