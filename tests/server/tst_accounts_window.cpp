// SPDX-License-Identifier: GPL-3.0-or-later
// "Senha e usuários": an account changes its own password on a server; an account the server
// lets manage accounts also lists, adds and removes them; a file explains how it is protected.
#include "app/accounts_window.h"
#include "app/new_account_window.h"
#include "catalogue/server_catalogue.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/test_server.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

#include <memory>

namespace {

bool opens(const QString &conninfo)
{
    TADOConnection c;
    c.setConnectionString(conninfo);
    try {
        c.open();
    } catch (const Exception &) {
        return false;
    }
    return true;
}

template <typename T> T *part(QWidget &window, const char *name)
{
    T *w = window.findChild<T *>(QString::fromLatin1(name));
    if (!w)
        qFatal("no control %s", name);
    return w;
}

// Runs `act` on the modal window of type T once it is shown, as a user would.
template <typename T> void whenShown(std::function<void(T &)> act)
{
    auto *timer = new QTimer;
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act] {
        if (auto *window = qobject_cast<T *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            act(*window);
        }
    });
    timer->start();
}

// Typing into a box; keyClicks knows only ASCII.
void type(QLineEdit *edit, const QString &text)
{
    edit->setFocus();
    edit->insert(text);
}

// The accounts as the window lists them: "name kind" per line.
QStringList listed(QWidget &window)
{
    QStringList rows;
    const auto *list = window.findChild<QTreeWidget *>(QStringLiteral("ListAccounts"));
    for (int i = 0; list && i < list->topLevelItemCount(); ++i)
        rows << list->topLevelItem(i)->text(0) + u' ' + list->topLevelItem(i)->text(1);
    return rows;
}

// Every text a window shows: its title, labels, buttons and list.
QStringList shownTexts(QWidget &window)
{
    QStringList texts{window.windowTitle()};
    for (const QLabel *l : window.findChildren<QLabel *>())
        texts << l->text() << l->accessibleName();
    for (const QAbstractButton *b : window.findChildren<QAbstractButton *>())
        texts << b->text();
    for (const QLineEdit *e : window.findChildren<QLineEdit *>()) {
        if (e->echoMode() == QLineEdit::Normal)
            texts << e->text();
    }
    return texts + listed(window);
}

} // namespace

class TestAccountsWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fileExplainsItsProtection();
    void serverAccountChangesItsPassword_data();
    void serverAccountChangesItsPassword();
    void managingOnlyForAccountsTheServerAllows_data();
    void managingOnlyForAccountsTheServerAllows();
    void addsAnAccount_data();
    void addsAnAccount();
    void newAccountNeedsANameAndTheSamePasswordTwice_data();
    void newAccountNeedsANameAndTheSamePasswordTwice();
    void removesAnAccountOnceConfirmed_data();
    void removesAnAccountOnceConfirmed();

private:
    QString as(const QString &account, const QString &password) const
    {
        return m_server->uri(QStringLiteral("sala"))
                   .replace(QStringLiteral("user=quivel"), QStringLiteral("user=") + account) +
               QStringLiteral(" password='%1'").arg(password);
    }
    // The manager's window on its own connection, which must outlive it.
    std::unique_ptr<AccountsWindow> managerWindow(TADOConnection &c)
    {
        c.setConnectionString(as(QStringLiteral("gerente"), QStringLiteral("g3rente")));
        c.open();
        auto window = std::make_unique<AccountsWindow>(c);
        window->show();
        return window;
    }

    QString as(const QString &password) const
    {
        return m_server->uri(QStringLiteral("sala"))
                   .replace(QStringLiteral("user=quivel"), QStringLiteral("user=lia")) +
               QStringLiteral(" password='%1'").arg(password);
    }

    std::unique_ptr<TestServer> m_server;
};

void TestAccountsWindow::initTestCase()
{
    m_server = std::make_unique<TestServer>();
    QUIVEL_REQUIRE_SERVER(*m_server);
    m_server->requirePasswords();
    ServerCatalogue::createSample(m_server->createDatabase(QStringLiteral("sala")));
    // An account that manages the others is given CREATEROLE by the server's administrator.
    m_server->exec(QStringLiteral("sala"),
                   QStringLiteral("CREATE ROLE gerente LOGIN CREATEROLE PASSWORD 'g3rente' IN ROLE "
                                  "sala_edicao; CREATE ROLE editor LOGIN PASSWORD 'ed1tor' IN "
                                  "ROLE sala_edicao"));
}

void TestAccountsWindow::fileExplainsItsProtection()
{
    TempCatalogue file(TempCatalogue::Content::Sample);
    TADOConnection c;
    c.setConnectionString(QStringLiteral("Data Source=%1;").arg(file.path()), file.path());
    c.open();
    AccountsWindow window(c);
    window.show();
    const QString text = part<QLabel>(window, "LabelInfo")->text();
    QVERIFY(text.contains(file.path()));
    QVERIFY(text.contains(QStringLiteral("criptografia do disco")));
    QVERIFY(
        text.contains(QStringLiteral("quivel-catalogue copy %1 postgresql://").arg(file.path())));
    // No password box that would only pretend to protect the file.
    QVERIFY(!part<QLineEdit>(window, "EditNew")->isVisible());
    QVERIFY(!part<QPushButton>(window, "ButtonChange")->isVisible());
}

void TestAccountsWindow::serverAccountChangesItsPassword_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("the same twice")
        << QStringLiteral("nova 'senha'") << QStringLiteral("nova 'senha'") << QString();
    QTest::newRow("different") << QStringLiteral("nova-1") << QStringLiteral("nova-2")
                               << QStringLiteral(
                                      "As senhas não conferem; a senha não foi trocada.");
    QTest::newRow("empty") << QString() << QString()
                           << QStringLiteral("A senha não pode ser vazia.");
}

void TestAccountsWindow::serverAccountChangesItsPassword()
{
    QFETCH(QString, typed);
    QFETCH(QString, again);
    QFETCH(QString, refusal);
    m_server->exec(QStringLiteral("sala"),
                   QStringLiteral("DROP ROLE IF EXISTS lia; CREATE ROLE lia LOGIN PASSWORD "
                                  "'antiga' IN ROLE sala_consulta"));
    TADOConnection c;
    c.setConnectionString(as(QStringLiteral("antiga")));
    c.open();
    FakeDialogs dialogs;
    AccountsWindow window(c);
    window.show();
    QVERIFY(part<QLabel>(window, "LabelInfo")
                ->text()
                .startsWith(QStringLiteral("Conta em uso: lia\n")));
    part<QLineEdit>(window, "EditNew")->setText(typed);
    part<QLineEdit>(window, "EditAgain")->setText(again);
    part<QPushButton>(window, "ButtonChange")->click();
    // Nothing typed stays in the boxes.
    QVERIFY(part<QLineEdit>(window, "EditNew")->text().isEmpty());
    QVERIFY(part<QLineEdit>(window, "EditAgain")->text().isEmpty());
    if (refusal.isEmpty()) {
        QVERIFY(dialogs.boxes.isEmpty());
        QCOMPARE(part<QLabel>(window, "LabelStatus")->text(),
                 QStringLiteral("A senha foi trocada."));
        QVERIFY(opens(as(QStringLiteral("nova \\'senha\\'"))));
        QVERIFY(!opens(as(QStringLiteral("antiga"))));
    } else {
        QCOMPARE(dialogs.boxes.size(), 1);
        QCOMPARE(dialogs.boxes[0].text, refusal);
        QVERIFY(opens(as(QStringLiteral("antiga"))));
    }
}

void TestAccountsWindow::managingOnlyForAccountsTheServerAllows_data()
{
    QTest::addColumn<QString>("account");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("manages");
    QTest::newRow("consulting") << QStringLiteral("lia") << QStringLiteral("antiga") << false;
    QTest::newRow("editing") << QStringLiteral("editor") << QStringLiteral("ed1tor") << false;
    QTest::newRow("with CREATEROLE")
        << QStringLiteral("gerente") << QStringLiteral("g3rente") << true;
}

void TestAccountsWindow::managingOnlyForAccountsTheServerAllows()
{
    QFETCH(QString, account);
    QFETCH(QString, password);
    QFETCH(bool, manages);
    m_server->exec(QStringLiteral("sala"),
                   QStringLiteral("DROP ROLE IF EXISTS lia; CREATE ROLE lia LOGIN PASSWORD "
                                  "'antiga' IN ROLE sala_consulta"));
    TADOConnection c;
    c.setConnectionString(as(account, password));
    c.open();
    FakeDialogs dialogs;
    AccountsWindow window(c);
    window.show();
    QCOMPARE(part<QGroupBox>(window, "GroupAccounts")->isVisible(), manages);
    QCOMPARE(part<QPushButton>(window, "ButtonAdd")->isVisible(), manages);
    QCOMPARE(part<QPushButton>(window, "ButtonRemove")->isVisible(), manages);
    // The close button stays inside the window either way.
    const QPushButton *close = part<QPushButton>(window, "ButtonClose");
    QVERIFY(close->isVisible());
    QVERIFY(close->geometry().bottom() < window.height());
    if (manages) {
        QCOMPARE(listed(window),
                 (QStringList{QStringLiteral("editor edição"), QStringLiteral("gerente edição"),
                              QStringLiteral("lia consulta")}));
        QCOMPARE(part<QTreeWidget>(window, "ListAccounts")->accessibleName(),
                 QStringLiteral("Contas do catálogo"));
    }
    QVERIFY(dialogs.boxes.isEmpty());
}

void TestAccountsWindow::addsAnAccount_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("edits");
    QTest::addColumn<QString>("kind");
    QTest::newRow("consulting") << QStringLiteral("bia") << false << QStringLiteral("consulta");
    QTest::newRow("editing") << QStringLiteral("josé d'ávila") << true << QStringLiteral("edição");
}

void TestAccountsWindow::addsAnAccount()
{
    QFETCH(QString, name);
    QFETCH(bool, edits);
    QFETCH(QString, kind);
    const QString password = QStringLiteral("s3gredo-%1-único").arg(kind);
    TADOConnection c;
    FakeDialogs dialogs;
    const auto window = managerWindow(c);
    QStringList shownInNewAccount;
    whenShown<NewAccountWindow>([&](NewAccountWindow &w) {
        type(part<QLineEdit>(w, "EditName"), name);
        part<QRadioButton>(w, edits ? "RadioEdit" : "RadioConsult")->setChecked(true);
        type(part<QLineEdit>(w, "EditPassword"), password);
        type(part<QLineEdit>(w, "EditAgain"), password);
        shownInNewAccount = shownTexts(w);
        part<QPushButton>(w, "ButtonCreate")->click();
    });
    part<QPushButton>(*window, "ButtonAdd")->click();
    QVERIFY(dialogs.boxes.isEmpty());
    QVERIFY(listed(*window).contains(name + u' ' + kind));
    QCOMPARE(part<QTreeWidget>(*window, "ListAccounts")->currentItem()->text(0), name);
    QCOMPARE(part<QLabel>(*window, "LabelAccountsStatus")->text(),
             QStringLiteral("A conta %1 foi criada.").arg(name));
    // The server made it, in the kind chosen, and it signs in with the password typed.
    QCOMPARE(
        m_server->scalar(QStringLiteral("sala"),
                         QStringLiteral("SELECT string_agg(g.rolname, ',') FROM pg_auth_members "
                                        "m JOIN pg_roles g ON g.oid = m.roleid JOIN pg_roles u "
                                        "ON u.oid = m.member WHERE u.rolname = '%1'")
                             .arg(QString(name).replace(u'\'', QStringLiteral("''")))),
        edits ? QStringLiteral("sala_edicao") : QStringLiteral("sala_consulta"));
    QVERIFY(
        opens(as(u'\'' + QString(name).replace(u'\'', QStringLiteral("\\'")) + u'\'', password)));
    // The password is in no text shown and in no statement the server logged.
    QFile log(m_server->logPath());
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QStringList seen =
        shownTexts(*window) + shownInNewAccount + QStringList{QString::fromUtf8(log.readAll())};
    for (const QString &text : seen)
        QVERIFY2(!text.contains(QStringLiteral("s3gredo")), qPrintable(text));
}

void TestAccountsWindow::newAccountNeedsANameAndTheSamePasswordTwice_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("again");
    QTest::addColumn<QString>("refusal");
    // Passwords refused are emptied; a name missing keeps the passwords agreed on.
    QTest::addColumn<bool>("keepsPasswords");
    QTest::newRow("no name") << QStringLiteral("  ") << QStringLiteral("um") << QStringLiteral("um")
                             << QStringLiteral("Informe o nome da conta.") << true;
    QTest::newRow("different") << QStringLiteral("caio") << QStringLiteral("um")
                               << QStringLiteral("dois")
                               << QStringLiteral("As senhas não conferem; digite a senha de novo.")
                               << false;
    QTest::newRow("empty") << QStringLiteral("caio") << QString() << QString()
                           << QStringLiteral("A senha não pode ser vazia.") << false;
}

void TestAccountsWindow::newAccountNeedsANameAndTheSamePasswordTwice()
{
    QFETCH(QString, name);
    QFETCH(QString, password);
    QFETCH(QString, again);
    QFETCH(QString, refusal);
    QFETCH(bool, keepsPasswords);
    TADOConnection c;
    FakeDialogs dialogs;
    const auto window = managerWindow(c);
    const QStringList before = listed(*window);
    bool stayedOpen = false;
    bool passwordsLeft = false;
    whenShown<NewAccountWindow>([&](NewAccountWindow &w) {
        type(part<QLineEdit>(w, "EditName"), name);
        type(part<QLineEdit>(w, "EditPassword"), password);
        type(part<QLineEdit>(w, "EditAgain"), again);
        part<QPushButton>(w, "ButtonCreate")->click();
        stayedOpen = w.isVisible();
        passwordsLeft = !part<QLineEdit>(w, "EditPassword")->text().isEmpty() &&
                        part<QLineEdit>(w, "EditPassword")->text() == password &&
                        part<QLineEdit>(w, "EditAgain")->text() == again;
        part<QPushButton>(w, "ButtonCancel")->click();
    });
    part<QPushButton>(*window, "ButtonAdd")->click();
    QVERIFY(stayedOpen);
    QCOMPARE(passwordsLeft, keepsPasswords);
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].text, refusal);
    QCOMPARE(listed(*window), before);
    QCOMPARE(
        m_server->scalar(QStringLiteral("sala"),
                         QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname = 'caio'")),
        QStringLiteral("0"));
}

void TestAccountsWindow::removesAnAccountOnceConfirmed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("refusal");
    QTest::newRow("yes") << QStringLiteral("temporaria") << int(Dialogs::Yes) << QString();
    QTest::newRow("no") << QStringLiteral("temporaria") << int(Dialogs::No) << QString();
    QTest::newRow("the account in use")
        << QStringLiteral("gerente") << int(Dialogs::Yes)
        << QStringLiteral("A conta 'gerente' está em uso e não pode ser removida por ela mesma; "
                          "nada foi alterado.");
}

void TestAccountsWindow::removesAnAccountOnceConfirmed()
{
    QFETCH(QString, name);
    QFETCH(int, answer);
    QFETCH(QString, refusal);
    m_server->exec(QStringLiteral("sala"),
                   QStringLiteral("DROP ROLE IF EXISTS temporaria; CREATE ROLE temporaria LOGIN "
                                  "PASSWORD 'x' IN ROLE sala_consulta"));
    TADOConnection c;
    FakeDialogs dialogs;
    const auto window = managerWindow(c);
    auto *list = part<QTreeWidget>(*window, "ListAccounts");
    const auto found = list->findItems(name, Qt::MatchExactly, 0);
    QCOMPARE(found.size(), 1);
    list->setCurrentItem(found[0]);
    dialogs.answers = {Dialogs::Button(answer)};
    part<QPushButton>(*window, "ButtonRemove")->click();
    QCOMPARE(dialogs.boxes[0].caption, QStringLiteral("Confirmação de remoção de conta"));
    QVERIFY(dialogs.boxes[0].text.startsWith(
        QStringLiteral("Deseja REMOVER a conta %1 do catálogo?").arg(name)));
    QCOMPARE(dialogs.boxes[0].defaultButton, Dialogs::No);
    const bool removed = answer == Dialogs::Yes && refusal.isEmpty();
    QCOMPARE(dialogs.boxes.size(), refusal.isEmpty() ? 1 : 2);
    if (!refusal.isEmpty())
        QCOMPARE(dialogs.boxes[1].text, refusal);
    QCOMPARE(m_server->scalar(
                 QStringLiteral("sala"),
                 QStringLiteral("SELECT count(*) FROM pg_roles WHERE rolname = '%1'").arg(name)),
             removed ? QStringLiteral("0") : QStringLiteral("1"));
    QCOMPARE(list->findItems(name, Qt::MatchExactly, 0).size(), removed ? 0 : 1);
}

QTEST_MAIN(TestAccountsWindow)
#include "tst_accounts_window.moc"
