// SPDX-License-Identifier: GPL-3.0-or-later
// "Senha e usuários": an account changes its own password on a server; a file explains how it
// is protected.
#include "app/accounts_window.h"
#include "catalogue/server_catalogue.h"
#include "core/exceptions.h"
#include "data/connection.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/test_server.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

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

} // namespace

class TestAccountsWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void fileExplainsItsProtection();
    void serverAccountChangesItsPassword_data();
    void serverAccountChangesItsPassword();

private:
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

QTEST_MAIN(TestAccountsWindow)
#include "tst_accounts_window.moc"
