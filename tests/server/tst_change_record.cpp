// SPDX-License-Identifier: GPL-3.0-or-later
// Who changed what on a server catalogue: the server records the account and time of each
// medium's and title's last change, no account can write that record itself, and a save
// refused because someone else got there first names them.
#include "catalogue/server_accounts.h"
#include "catalogue/server_catalogue.h"
#include "controls/glyph_button.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "data/data_module.h"
#include "data/query.h"
#include "registration/media_window.h"
#include "tests/support/failure.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/test_server.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <memory>

namespace {

const QByteArray joaoPassword = QByteArrayLiteral("j0ão edita");
const QByteArray anaPassword = QByteArrayLiteral("ana 'edita' também");
const QByteArray readerPassword = QByteArrayLiteral("só lê");

} // namespace

class TestChangeRecord : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void serverRecordsWhoAndWhen();
    void noAccountWritesTheRecord_data();
    void noAccountWritesTheRecord();
    void refusedDeleteNamesTheOtherAccount();
    void conflictQuestionNamesTheOtherAccount();
    void upgradeAddsTheRecordToAnOlderCatalogue();

private:
    QString as(const QString &account, const QByteArray &password) const
    {
        QString value = QString::fromUtf8(password);
        value.replace(u'\\', QStringLiteral("\\\\")).replace(u'\'', QStringLiteral("\\'"));
        return m_server->uri(m_db).replace(QStringLiteral("user=quivel"),
                                           QStringLiteral("user=") + account) +
               QStringLiteral(" password='") + value + u'\'';
    }
    // The record of one row as "account", or "-" when there is none.
    QString recordOf(const QString &table, qlonglong code) const
    {
        return m_server->scalar(m_db, QStringLiteral("SELECT COALESCE((SELECT alterado_por FROM "
                                                     "quivel.alteracoes WHERE tabela = '%1' AND "
                                                     "codigo = %2), '-')")
                                          .arg(table)
                                          .arg(code));
    }
    // "por ana às 14:32" as the program words the recorded time where the test runs.
    QString expectedChange(const QString &account, const QString &table, qlonglong code) const
    {
        const double seconds =
            m_server
                ->scalar(m_db, QStringLiteral("SELECT date_part('epoch', alterado_em) FROM "
                                              "quivel.alteracoes WHERE tabela = '%1' AND "
                                              "codigo = %2")
                                   .arg(table)
                                   .arg(code))
                .toDouble();
        const QDateTime when = QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0));
        return QStringLiteral("por %1 às %2").arg(account, when.toString(QStringLiteral("HH:mm")));
    }

    std::unique_ptr<TestServer> m_server;
    QString m_db = QStringLiteral("oficina");
    QString m_admin;
};

void TestChangeRecord::initTestCase()
{
    m_server = std::make_unique<TestServer>();
    QUIVEL_REQUIRE_SERVER(*m_server);
    m_server->requirePasswords();
    m_admin = m_server->createDatabase(m_db);
    ServerCatalogue::createSample(m_admin);
    ServerAccounts::create(m_admin, QStringLiteral("joão"), ServerAccounts::Right::Edit,
                           joaoPassword);
    ServerAccounts::create(m_admin, QStringLiteral("ana"), ServerAccounts::Right::Edit,
                           anaPassword);
    ServerAccounts::create(m_admin, QStringLiteral("leitor"), ServerAccounts::Right::Consult,
                           readerPassword);
}

void TestChangeRecord::serverRecordsWhoAndWhen()
{
    // The sample's rows were copied in, not changed by anyone here.
    QCOMPARE(m_server->scalar(m_db, QStringLiteral("SELECT count(*) FROM quivel.alteracoes")),
             QStringLiteral("0"));
    TADOConnection joao;
    joao.setConnectionString(as(QStringLiteral("joão"), joaoPassword));
    TADOConnection ana;
    ana.setConnectionString(as(QStringLiteral("ana"), anaPassword));

    struct Step
    {
        TADOConnection *by;
        const char *sql;
        const char *action; // "edit", "insert" or "delete"
        const char *table;
        const char *expected; // the record of the row after the step
    };
    qlonglong newCode = 0;
    const Step steps[] = {
        {&joao, "select * from cds where codigo = 1", "edit", "cds", "joão"},
        {&ana, "select * from softs where numero = 1", "edit", "softs", "ana"},
        {&joao, "select * from cds", "insert", "cds", "joão"},
        // The last change wins, whoever made the one before.
        {&ana, "select * from cds where codigo = 1", "edit", "cds", "ana"},
        {&joao, "select * from softs where numero = 1", "edit", "softs", "joão"},
        // A row deleted takes its record along.
        {&ana, "select * from cds where codigo = :novo", "delete", "cds", "-"},
    };
    for (const Step &step : steps) {
        const QString action = QString::fromLatin1(step.action);
        const QDateTime before = QDateTime::currentDateTime().addSecs(-1);
        TADOQuery q(QStringLiteral("q"), step.by);
        q.setSql({QString::fromLatin1(step.sql)});
        if (q.parameterNames().contains(QStringLiteral("novo")))
            q.setParameter(QStringLiteral("novo"), newCode);
        q.open();
        QVERIFY(!q.isEmpty() || action == u"insert");
        const QString textColumn = QString::fromLatin1(step.table) == u"cds"
                                       ? QStringLiteral("titulo")
                                       : QStringLiteral("nome");
        if (action == u"edit") {
            q.edit();
            q.fieldByName(textColumn)
                ->setAsString(QStringLiteral("Mudado por ") + step.by->account());
            q.post();
        } else if (action == u"insert") {
            q.insert();
            q.fieldByName(textColumn)->setAsString(QStringLiteral("Nova"));
            q.post();
            newCode = q.fieldByName(QStringLiteral("codigo"))->value().toLongLong();
        } else {
            q.remove();
        }
        const qlonglong code = action == u"edit" ? 1 : newCode;
        QCOMPARE(recordOf(QString::fromLatin1(step.table), code), QString::fromUtf8(step.expected));
        if (action != u"delete") {
            // The server's own clock, within the step.
            const double seconds =
                m_server
                    ->scalar(m_db, QStringLiteral("SELECT date_part('epoch', alterado_em) FROM "
                                                  "quivel.alteracoes WHERE tabela = '%1' AND "
                                                  "codigo = %2")
                                       .arg(QString::fromLatin1(step.table))
                                       .arg(code))
                    .toDouble();
            const QDateTime when = QDateTime::fromMSecsSinceEpoch(qint64(seconds * 1000.0));
            QVERIFY2(when >= before && when <= QDateTime::currentDateTime().addSecs(1),
                     qPrintable(when.toString(Qt::ISODate)));
        }
    }
}

void TestChangeRecord::noAccountWritesTheRecord_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<QString>("sql");
    const QStringList writes{
        QStringLiteral("INSERT INTO quivel.alteracoes VALUES ('cds', 2, 'outro', now())"),
        QStringLiteral("UPDATE quivel.alteracoes SET alterado_por = 'outro'"),
        QStringLiteral("DELETE FROM quivel.alteracoes"),
        QStringLiteral("TRUNCATE quivel.alteracoes"),
    };
    for (const QString &sql : writes) {
        QTest::addRow("editing: %s", qPrintable(sql.section(u' ', 0, 0)))
            << QStringLiteral("joão") << joaoPassword << sql;
        QTest::addRow("consulting: %s", qPrintable(sql.section(u' ', 0, 0)))
            << QStringLiteral("leitor") << readerPassword << sql;
    }
}

void TestChangeRecord::noAccountWritesTheRecord()
{
    QFETCH(QString, account);
    QFETCH(QByteArray, password);
    QFETCH(QString, sql);
    m_server->exec(m_db, QStringLiteral("UPDATE quivel.cds SET obs = 'marca' WHERE codigo = 3"));
    const QString before = m_server->scalar(
        m_db, QStringLiteral("SELECT string_agg(tabela || codigo || alterado_por || alterado_em, "
                             "',' ORDER BY tabela, codigo) FROM quivel.alteracoes"));
    TADOConnection c;
    c.setConnectionString(as(account, password));
    c.open();
    QVERIFY(failureOf([&] { c.backend().run(sql); }) != u"no failure");
    QCOMPARE(m_server->scalar(m_db, QStringLiteral("SELECT string_agg(tabela || codigo || "
                                                   "alterado_por || alterado_em, ',' ORDER BY "
                                                   "tabela, codigo) FROM quivel.alteracoes")),
             before);
    // Reading it is allowed to every account.
    TADOQuery q(QStringLiteral("q"), &c);
    q.setSql({QStringLiteral("select alterado_por from alteracoes where codigo = 3")});
    q.open();
    QCOMPARE(q.fieldText(0), QStringLiteral("quivel"));
}

void TestChangeRecord::refusedDeleteNamesTheOtherAccount()
{
    TADOConnection joao;
    joao.setConnectionString(as(QStringLiteral("joão"), joaoPassword));
    TADOQuery mine(QStringLiteral("q"), &joao);
    mine.setSql({QStringLiteral("select * from cds where codigo = 5")});
    mine.open();

    TADOConnection ana;
    ana.setConnectionString(as(QStringLiteral("ana"), anaPassword));
    TADOQuery hers(QStringLiteral("q"), &ana);
    hers.setSql({QStringLiteral("select * from cds where codigo = 5")});
    hers.open();
    hers.edit();
    hers.fieldByName(QStringLiteral("obs"))->setAsString(QStringLiteral("Da Ana"));
    hers.post();

    QCOMPARE(failureOf([&] { mine.remove(); }),
             QStringLiteral("O registro não foi apagado: ele foi alterado %1 depois de lido. "
                            "Atualize a lista para ver os dados atuais")
                 .arg(expectedChange(QStringLiteral("ana"), QStringLiteral("cds"), 5)));
    QCOMPARE(m_server->scalar(m_db, QStringLiteral("SELECT obs FROM quivel.cds WHERE codigo = 5")),
             QStringLiteral("Da Ana"));
}

// The media window of one account, the other account saving the same medium meanwhile.
void TestChangeRecord::conflictQuestionNamesTheOtherAccount()
{
    TADOConnection::setSignIn(
        [](const QString &, const QString &, QString &user, QByteArray &password) {
            user = QStringLiteral("joão");
            password = joaoPassword;
            return true;
        });
    TempCatalogue elsewhere(TempCatalogue::Content::None);
    CurrentDirectory cd(elsewhere.directory());
    qputenv("QUIVEL_DATABASE",
            m_server->uri(m_db)
                .replace(QStringLiteral("user=quivel"), QStringLiteral("user=joão"))
                .toUtf8());
    QStringList startup;
    TDm1 dm([&](const QString &line) { startup << line; });
    qunsetenv("QUIVEL_DATABASE");
    TADOConnection::setSignIn({});
    QCOMPARE(startup, QStringList());

    FakeDialogs dialogs;
    TForm2 form(dm);
    form.show();
    dm.ADOQuery1.first();
    const qlonglong code = dm.ADOQuery1codigo.value().toLongLong();
    dm.ADOQuery1.edit();
    dm.ADOQuery1titulo.setAsString(QStringLiteral("Do João"));

    TADOConnection ana;
    ana.setConnectionString(as(QStringLiteral("ana"), anaPassword));
    TADOQuery hers(QStringLiteral("q"), &ana);
    hers.setSql({QStringLiteral("select * from cds where codigo = %1").arg(code)});
    hers.open();
    hers.edit();
    hers.fieldByName(QStringLiteral("titulo"))->setAsString(QStringLiteral("Da Ana"));
    hers.post();

    dialogs.answers = {Dialogs::No};
    form.findChild<TBitBtn *>(QStringLiteral("BitBtn3"))->click();
    QCOMPARE(dialogs.boxes.size(), 1);
    const QString by = expectedChange(QStringLiteral("ana"), QStringLiteral("cds"), code);
    QCOMPARE(dialogs.boxes[0].caption, QStringLiteral("Registro alterado ") + by);
    // The rest of the question is today's.
    QVERIFY2(dialogs.boxes[0].text.startsWith(
                 QStringLiteral("O registro não foi salvo: ele foi alterado %1 depois de lido.\n\n"
                                "Descartar a sua alteração e ver o registro como ele está agora "
                                "no catálogo?")
                     .arg(by)),
             qPrintable(dialogs.boxes[0].text));
    QCOMPARE(dialogs.boxes[0].defaultButton, Dialogs::No);
    QCOMPARE(dm.ADOQuery1.state(), TDataSetState::Edit);
    QCOMPARE(m_server->scalar(
                 m_db, QStringLiteral("SELECT titulo FROM quivel.cds WHERE codigo = %1").arg(code)),
             QStringLiteral("Da Ana"));
}

void TestChangeRecord::upgradeAddsTheRecordToAnOlderCatalogue()
{
    const QString db = QStringLiteral("anterior");
    const QString admin = m_server->createDatabase(db);
    ServerCatalogue::create(admin);
    // As a catalogue made before the server recorded changes.
    m_server->exec(db, QStringLiteral("DROP TRIGGER cds_alteracao ON quivel.cds; DROP TRIGGER "
                                      "softs_alteracao ON quivel.softs; DROP FUNCTION "
                                      "quivel.registra_alteracao(); DROP TABLE "
                                      "quivel.alteracoes"));
    QVERIFY(ServerCatalogue::check(admin).contains(
        QStringLiteral("O servidor não registra quem alterou cada mídia e título; acrescente "
                       "esse registro com quivel-catalogue upgrade")));

    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() +
                   QStringLiteral("/../../tools/catalogue/quivel-catalogue"),
               {QStringLiteral("upgrade"), admin});
    QVERIFY(tool.waitForFinished(60000));
    const QString output = QString::fromUtf8(tool.readAllStandardOutput());
    QCOMPARE(tool.exitCode(), 0);
    QVERIFY2(output.contains(QStringLiteral("agora registra a conta e a hora")),
             qPrintable(output));
    QVERIFY2(!output.contains(QStringLiteral("nada foi alterado")), qPrintable(output));
    QCOMPARE(ServerCatalogue::check(admin), QStringList());
    // The catalogue's accounts read the record and cannot write it.
    QCOMPARE(m_server->scalar(
                 db, QStringLiteral("SELECT has_table_privilege('anterior_edicao', "
                                    "'quivel.alteracoes', 'SELECT') AND NOT has_table_privilege("
                                    "'anterior_edicao', 'quivel.alteracoes', 'INSERT,UPDATE,"
                                    "DELETE,TRUNCATE') AND has_table_privilege("
                                    "'anterior_consulta', 'quivel.alteracoes', 'SELECT')")),
             QStringLiteral("t"));
    // A second upgrade has nothing to add.
    tool.start(tool.program(), tool.arguments());
    QVERIFY(tool.waitForFinished(60000));
    QVERIFY(QString::fromUtf8(tool.readAllStandardOutput()).contains(u"nada foi alterado"));

    TADOConnection c;
    c.setConnectionString(admin);
    TADOQuery q(QStringLiteral("q"), &c);
    q.setSql({QStringLiteral("select * from softs")});
    q.open();
    q.insert();
    q.fieldByName(QStringLiteral("nome"))->setAsString(QStringLiteral("Depois da atualização"));
    q.post();
    QCOMPARE(m_server->scalar(db, QStringLiteral("SELECT alterado_por FROM quivel.alteracoes "
                                                 "WHERE tabela = 'softs'")),
             QStringLiteral("quivel"));
}

QTEST_MAIN(TestChangeRecord)
#include "tst_change_record.moc"
