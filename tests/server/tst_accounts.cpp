// SPDX-License-Identifier: GPL-3.0-or-later
// Accounts on a server catalogue: the roles made with it, the tool's account verbs, and a
// read-only account refused by the server itself, on a server that asks for passwords.
#include "catalogue/server_catalogue.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/engine/backend.h"
#include "data/query.h"
#include "tests/support/failure.h"
#include "tests/support/test_server.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// A value in a libpq keyword string.
QString quoted(QString value)
{
    value.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
    return u'\'' + value + u'\'';
}

struct ToolRun
{
    int exitCode = -1;
    QString output;
    QString errors;
};

ToolRun tool(const QStringList &arguments, const QByteArray &input = {})
{
    QProcess p;
    p.start(QCoreApplication::applicationDirPath() +
                QStringLiteral("/../../tools/catalogue/quivel-catalogue"),
            arguments);
    p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(60000);
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

const QString consultPassword = QStringLiteral("c0nsulta 'só' \\ \"$1");
const QString editPassword = QStringLiteral("ed1ção --x");

} // namespace

class TestAccounts : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void catalogueComesWithTwoRoles();
    void toolManagesAccounts();
    void passwordsMismatchedChangeNothing();
    void olderCatalogueGetsItsRolesWithTheFirstAccount();
    void readOnlyAccountChangesNothing_data();
    void readOnlyAccountChangesNothing();
    void editingAccountWrites();
    void accountOfNoCatalogueReadsNothing();
    void signInAsksUpToThreeTimes_data();
    void signInAsksUpToThreeTimes();
    void signInGivenUpEndsQuietly();
    void passwordFromTheEnvironmentAsksNothing();
    void ownPasswordChanges();
    void tlsChecksTheServersName_data();
    void tlsChecksTheServersName();

private:
    QString as(const QString &account, const QString &password) const
    {
        return m_server->uri(m_db).replace(QStringLiteral("user=quivel"),
                                           QStringLiteral("user=") + account) +
               QStringLiteral(" password=") + quoted(password);
    }
    int mediaCount() const
    {
        return m_server->scalar(m_db, QStringLiteral("SELECT count(*) FROM quivel.cds")).toInt();
    }

    std::unique_ptr<TestServer> m_server;
    QString m_db = QStringLiteral("escritorio");
    QString m_admin;
    QTemporaryDir m_tls;
    int m_tlsPort = 0;
};

void TestAccounts::initTestCase()
{
    m_server = std::make_unique<TestServer>();
    QUIVEL_REQUIRE_SERVER(*m_server);
    m_server->requirePasswords();
    m_admin = m_server->createDatabase(m_db);
    ServerCatalogue::createSample(m_admin);
    const QByteArray twice = (consultPassword + u'\n' + consultPassword + u'\n').toUtf8();
    const ToolRun maria = tool({QStringLiteral("usuario"), QStringLiteral("criar"),
                                QStringLiteral("maria"), QStringLiteral("--consulta"), m_admin},
                               twice);
    QVERIFY2(maria.exitCode == 0, qPrintable(maria.errors));
    const ToolRun joao = tool({QStringLiteral("usuario"), QStringLiteral("criar"),
                               QStringLiteral("joão"), QStringLiteral("--edicao"), m_admin},
                              (editPassword + u'\n' + editPassword + u'\n').toUtf8());
    QVERIFY2(joao.exitCode == 0, qPrintable(joao.errors));
}

void TestAccounts::catalogueComesWithTwoRoles()
{
    const auto yes = [&](const QString &sql) { return m_server->scalar(m_db, sql) == u"t"; };
    QVERIFY(yes(QStringLiteral(
        "SELECT has_table_privilege('escritorio_consulta', 'quivel.cds', 'SELECT')")));
    QVERIFY(!yes(QStringLiteral(
        "SELECT has_table_privilege('escritorio_consulta', 'quivel.cds', 'INSERT')")));
    QVERIFY(!yes(QStringLiteral(
        "SELECT has_table_privilege('escritorio_consulta', 'quivel.softs', 'DELETE')")));
    QVERIFY(yes(QStringLiteral("SELECT has_table_privilege('escritorio_edicao', 'quivel.softs', "
                               "'INSERT,UPDATE,DELETE')")));
    QVERIFY(!yes(QStringLiteral(
        "SELECT has_table_privilege('escritorio_edicao', 'quivel.versao', 'UPDATE')")));
    QVERIFY(yes(QStringLiteral("SELECT has_sequence_privilege('escritorio_edicao', "
                               "pg_get_serial_sequence('quivel.cds', 'codigo'), 'USAGE')")));
    QVERIFY(!yes(
        QStringLiteral("SELECT rolcanlogin FROM pg_roles WHERE rolname = 'escritorio_edicao'")));
}

void TestAccounts::toolManagesAccounts()
{
    const ToolRun list = tool({QStringLiteral("usuario"), QStringLiteral("listar"), m_admin});
    QCOMPARE(list.exitCode, 0);
    QCOMPARE(list.output, QStringLiteral("joão\tedição\nmaria\tconsulta\n"));

    // Stored as a SCRAM verifier, and neither the clear text nor the verifier's source is in the
    // server's log, which records every statement.
    QVERIFY(m_server
                ->scalar(m_db, QStringLiteral(
                                   "SELECT rolpassword FROM pg_authid WHERE rolname = 'maria'"))
                .startsWith(QStringLiteral("SCRAM-SHA-256$")));
    QFile log(m_server->logPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString logged = QString::fromUtf8(log.readAll());
    QVERIFY(logged.contains(QStringLiteral("ALTER ROLE")));
    QVERIFY(!logged.contains(QStringLiteral("c0nsulta")));
    QVERIFY(!logged.contains(QStringLiteral("ed1ção")));

    // A new password: the old one no longer opens the catalogue, the new one does.
    m_server->exec(m_db,
                   QStringLiteral("CREATE ROLE temporaria LOGIN IN ROLE escritorio_consulta"));
    const QString fresh = QStringLiteral("n0va-senha");
    QCOMPARE(tool({QStringLiteral("usuario"), QStringLiteral("senha"), QStringLiteral("temporaria"),
                   m_admin},
                  (fresh + u'\n' + fresh + u'\n').toUtf8())
                 .exitCode,
             0);
    TADOConnection c;
    c.setConnectionString(as(QStringLiteral("temporaria"), fresh));
    c.open();
    QVERIFY(c.connected());
    c.close();

    QCOMPARE(tool({QStringLiteral("usuario"), QStringLiteral("remover"),
                   QStringLiteral("temporaria"), m_admin})
                 .exitCode,
             0);
    QCOMPARE(
        m_server->scalar(
            m_db, QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname = 'temporaria'")),
        QStringLiteral("0"));
    // Only accounts of this catalogue are removed.
    const ToolRun admin = tool(
        {QStringLiteral("usuario"), QStringLiteral("remover"), QStringLiteral("quivel"), m_admin});
    QCOMPARE(admin.exitCode, 1);
    QVERIFY2(admin.errors.contains(QStringLiteral("não é uma conta do catálogo")),
             qPrintable(admin.errors));
    // The password is never an argument.
    QCOMPARE(tool({QStringLiteral("usuario"), QStringLiteral("criar"), QStringLiteral("ana"),
                   QStringLiteral("--consulta"), m_admin, QStringLiteral("segredo")})
                 .exitCode,
             2);
}

void TestAccounts::passwordsMismatchedChangeNothing()
{
    const ToolRun r = tool({QStringLiteral("usuario"), QStringLiteral("criar"),
                            QStringLiteral("pedro"), QStringLiteral("--edicao"), m_admin},
                           QByteArrayLiteral("um\ndois\n"));
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.errors.contains(QStringLiteral("as senhas não conferem")), qPrintable(r.errors));
    QVERIFY(!r.errors.contains(QStringLiteral("dois")));
    QCOMPARE(m_server->scalar(
                 m_db, QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname = 'pedro'")),
             QStringLiteral("0"));
}

void TestAccounts::olderCatalogueGetsItsRolesWithTheFirstAccount()
{
    const QString admin = m_server->createDatabase(QStringLiteral("antigo"));
    ServerCatalogue::create(admin);
    // As a catalogue made before the roles existed.
    m_server->exec(QStringLiteral("antigo"),
                   QStringLiteral("DROP OWNED BY antigo_consulta, antigo_edicao; "
                                  "DROP ROLE antigo_consulta, antigo_edicao"));
    const QByteArray twice = QByteArrayLiteral("velha-1\nvelha-1\n");
    const ToolRun r = tool({QStringLiteral("usuario"), QStringLiteral("criar"),
                            QStringLiteral("ze"), QStringLiteral("--edicao"), admin},
                           twice);
    QVERIFY2(r.exitCode == 0, qPrintable(r.errors));
    QCOMPARE(m_server->scalar(QStringLiteral("antigo"),
                              QStringLiteral("SELECT has_table_privilege('ze', 'quivel.softs', "
                                             "'INSERT') AND has_table_privilege("
                                             "'antigo_consulta', 'quivel.cds', 'SELECT')")),
             QStringLiteral("t"));
}

void TestAccounts::readOnlyAccountChangesNothing_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("text");
    const QStringList hostile{QStringLiteral("'); DELETE FROM quivel.cds; --"),
                              QStringLiteral("x\"; DROP TABLE softs; --"),
                              QStringLiteral("%_\\' OR 1=1 --"), QStringLiteral("Ação — 日本")};
    for (const QString &action : {QStringLiteral("insert"), QStringLiteral("edit")}) {
        for (qsizetype i = 0; i < hostile.size(); ++i)
            QTest::addRow("%s %lld", qPrintable(action), qlonglong(i)) << action << hostile[i];
    }
    QTest::newRow("delete") << QStringLiteral("delete") << QString();
}

void TestAccounts::readOnlyAccountChangesNothing()
{
    QFETCH(QString, action);
    QFETCH(QString, text);
    const QString before = m_server->scalar(
        m_db,
        QStringLiteral("SELECT string_agg(codigo || titulo, ',' ORDER BY codigo) FROM quivel.cds"));
    TADOConnection c;
    c.setConnectionString(as(QStringLiteral("maria"), consultPassword));
    TADOQuery q(QStringLiteral("ADOQuery1"), &c);
    q.setSql({QStringLiteral("select * from cds")});
    q.open();
    QCOMPARE(q.recordCount(), 40); // reading works
    QString failure;
    if (action == u"insert") {
        q.insert();
        q.fieldByName(QStringLiteral("titulo"))->setAsString(text);
        failure = failureOf([&] { q.post(); });
    } else if (action == u"edit") {
        q.edit();
        q.fieldByName(QStringLiteral("titulo"))->setAsString(text);
        failure = failureOf([&] { q.post(); });
    } else {
        failure = failureOf([&] { q.remove(); });
    }
    QCOMPARE(failure, QStringLiteral("Sua conta pode apenas consultar o catálogo"));
    // Windows can say so before anything is typed.
    QCOMPARE(failureOf([&] { c.checkMayWrite(); }),
             QStringLiteral("Sua conta pode apenas consultar o catálogo"));
    QCOMPARE(
        m_server->scalar(
            m_db, QStringLiteral(
                      "SELECT string_agg(codigo || titulo, ',' ORDER BY codigo) FROM quivel.cds")),
        before);
    QCOMPARE(mediaCount(), 40);
}

void TestAccounts::editingAccountWrites()
{
    TADOConnection c;
    c.setConnectionString(as(QStringLiteral("joão"), editPassword));
    TADOQuery q(QStringLiteral("ADOQuery1"), &c);
    q.setSql({QStringLiteral("select * from cds")});
    q.open();
    c.checkMayWrite();
    q.insert();
    q.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("Gravada por João"));
    q.post();
    QCOMPARE(mediaCount(), 41);
    q.last();
    q.remove();
    QCOMPARE(mediaCount(), 40);
}

void TestAccounts::accountOfNoCatalogueReadsNothing()
{
    m_server->exec(m_db, QStringLiteral("CREATE ROLE visitante LOGIN PASSWORD 'visita'"));
    TADOConnection c;
    c.setConnectionString(as(QStringLiteral("visitante"), QStringLiteral("visita")));
    QCOMPARE(failureOf([&] { c.open(); }),
             QStringLiteral("Sem permissão para ler o catálogo '%1/escritorio' no servidor; peça "
                            "ao administrador do servidor acesso às tabelas do Quivel")
                 .arg(m_server->uri(m_db).section(QStringLiteral("host="), 1).section(u' ', 0, 0)));
}

void TestAccounts::signInAsksUpToThreeTimes_data()
{
    QTest::addColumn<QStringList>("typed");
    QTest::addColumn<bool>("opens");
    const QString wrong = QStringLiteral("errada-123");
    QTest::newRow("right at once") << QStringList{consultPassword} << true;
    QTest::newRow("right at the third") << QStringList{wrong, wrong, consultPassword} << true;
    QTest::newRow("wrong three times") << QStringList{wrong, wrong + u'4', wrong + u'5'} << false;
}

void TestAccounts::signInAsksUpToThreeTimes()
{
    QFETCH(QStringList, typed);
    QFETCH(bool, opens);
    QStringList reasons;
    QStringList servers;
    TADOConnection::setSignIn(
        [&](const QString &server, const QString &reason, QString &user, QByteArray &password) {
            servers << server;
            reasons << reason;
            user = QStringLiteral("maria");
            password = typed.value(reasons.size() - 1).toUtf8();
            return true;
        });
    TADOConnection c;
    // No password anywhere libpq looks: the server asks, and the program asks the user.
    c.setConnectionString(
        m_server->uri(m_db).replace(QStringLiteral("user=quivel"), QStringLiteral("user=maria")));
    const QString failure = failureOf([&] { c.open(); });
    TADOConnection::setSignIn({});
    const QString name =
        m_server->uri(m_db).section(QStringLiteral("host="), 1).section(u' ', 0, 0) +
        QStringLiteral("/escritorio");
    QCOMPARE(servers, QStringList(typed.size(), name));
    QCOMPARE(reasons.value(0), QStringLiteral("O servidor pede a senha da conta"));
    for (qsizetype i = 1; i < reasons.size(); ++i)
        QCOMPARE(reasons[i],
                 QStringLiteral("O servidor não aceitou a conta ou a senha; tente de novo"));
    QCOMPARE(c.connected(), opens);
    if (opens) {
        QCOMPARE(failure, QStringLiteral("no failure"));
        QCOMPARE(c.account(), QStringLiteral("maria"));
    } else {
        QCOMPARE(failure, QStringLiteral("O servidor recusou o acesso ao catálogo '%1': usuário "
                                         "ou senha não aceitos")
                              .arg(name));
    }
    // Typed passwords are nowhere the process shows: not in messages, its environment or its
    // command line.
    QStringList shown{failure};
    for (const char *file : {"/proc/self/environ", "/proc/self/cmdline"}) {
        QFile f(QString::fromLatin1(file));
        QVERIFY(f.open(QIODevice::ReadOnly));
        shown << QString::fromUtf8(f.readAll());
    }
    for (const QString &password : typed) {
        for (const QString &text : shown)
            QVERIFY(!text.contains(password));
    }
}

void TestAccounts::signInGivenUpEndsQuietly()
{
    TADOConnection::setSignIn([](const QString &, const QString &, QString &,
                                 QByteArray &) -> bool { throw SignInCancelled(); });
    TADOConnection c;
    c.setConnectionString(
        m_server->uri(m_db).replace(QStringLiteral("user=quivel"), QStringLiteral("user=maria")));
    bool cancelled = false;
    try {
        c.open();
    } catch (const SignInCancelled &) {
        cancelled = true;
    }
    TADOConnection::setSignIn({});
    QVERIFY(cancelled);
    QVERIFY(!c.connected());
}

void TestAccounts::passwordFromTheEnvironmentAsksNothing()
{
    int asked = 0;
    TADOConnection::setSignIn([&](const QString &, const QString &, QString &, QByteArray &) {
        ++asked;
        return false;
    });
    qputenv("PGPASSWORD", editPassword.toUtf8());
    TADOConnection c;
    c.setConnectionString(
        m_server->uri(m_db).replace(QStringLiteral("user=quivel"), QStringLiteral("user=joão")));
    c.open();
    qunsetenv("PGPASSWORD");
    TADOConnection::setSignIn({});
    QCOMPARE(asked, 0);
    QCOMPARE(c.account(), QStringLiteral("joão"));
}

void TestAccounts::ownPasswordChanges()
{
    m_server->exec(m_db, QStringLiteral("CREATE ROLE rita LOGIN PASSWORD 'antiga' IN ROLE "
                                        "escritorio_consulta"));
    TADOConnection c;
    c.setConnectionString(as(QStringLiteral("rita"), QStringLiteral("antiga")));
    c.open();
    c.changeOwnPassword(QByteArrayLiteral("nova senha 'ok'"));
    QVERIFY(m_server
                ->scalar(m_db, QStringLiteral("SELECT rolpassword FROM pg_authid WHERE "
                                              "rolname = 'rita'"))
                .startsWith(QStringLiteral("SCRAM-SHA-256$")));
    TADOConnection again;
    again.setConnectionString(as(QStringLiteral("rita"), QStringLiteral("nova senha 'ok'")));
    again.open();
    QVERIFY(again.connected());
    TADOConnection old;
    old.setConnectionString(as(QStringLiteral("rita"), QStringLiteral("antiga")));
    QVERIFY(failureOf([&] { old.open(); }).contains(QStringLiteral("não aceitos")));
}

void TestAccounts::tlsChecksTheServersName_data()
{
    QTest::addColumn<QString>("hostName");
    QTest::addColumn<bool>("opens");
    QTest::newRow("the certificate's name") << QStringLiteral("catalogo.escritorio.test") << true;
    QTest::newRow("another name") << QStringLiteral("outro.escritorio.test") << false;
}

// The server's certificate, made here, is its own authority; verify-full also checks that the
// name the program asked for is the certificate's.
void TestAccounts::tlsChecksTheServersName()
{
    QFETCH(QString, hostName);
    QFETCH(bool, opens);
    if (m_tlsPort == 0) {
        const QString cert = m_tls.filePath(QStringLiteral("cert.pem"));
        const QString key = m_tls.filePath(QStringLiteral("key.pem"));
        QCOMPARE(QProcess::execute(QStringLiteral("openssl"),
                                   {QStringLiteral("req"), QStringLiteral("-x509"),
                                    QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                                    QStringLiteral("-nodes"), QStringLiteral("-days"),
                                    QStringLiteral("1"), QStringLiteral("-subj"),
                                    QStringLiteral("/CN=catalogo.escritorio.test"),
                                    QStringLiteral("-keyout"), key, QStringLiteral("-out"), cert}),
                 0);
        m_tlsPort = m_server->listenOnTcp();
        QVERIFY(m_tlsPort > 0);
        QVERIFY(m_server->useTls(cert, key));
    }
    TADOConnection c;
    c.setConnectionString(
        QStringLiteral("host=%1 hostaddr=127.0.0.1 port=%2 dbname=escritorio user=maria "
                       "sslmode=verify-full sslrootcert=%3 password=%4")
            .arg(hostName)
            .arg(m_tlsPort)
            .arg(m_tls.filePath(QStringLiteral("cert.pem")), quoted(consultPassword)));
    const QString failure = failureOf([&] { c.open(); });
    QCOMPARE(c.connected(), opens);
    if (opens) {
        TADOQuery q(QStringLiteral("ADOQuery1"), &c);
        q.setSql({QStringLiteral("select case when ssl then 'sim' else 'não' end as cifrada "
                                 "from pg_stat_ssl where pid = pg_backend_pid()")});
        q.open();
        QCOMPARE(q.fieldText(0), QStringLiteral("sim"));
    } else {
        // A refused certificate is said as such, not as a server that is away.
        QCOMPARE(failure, QStringLiteral("Não foi possível estabelecer uma conexão segura com o "
                                         "servidor do catálogo '%1/escritorio': o servidor não a "
                                         "oferece, ou o certificado não foi aceito ou não foi "
                                         "encontrado")
                              .arg(hostName));
    }
}

QTEST_GUILESS_MAIN(TestAccounts)
#include "tst_accounts.moc"
