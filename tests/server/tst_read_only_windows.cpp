// SPDX-License-Identifier: GPL-3.0-or-later
// The registration windows on a server catalogue opened with an account that may only
// consult: signed in through the program's hook, every change answered with one message.
#include "catalogue/server_accounts.h"
#include "catalogue/server_catalogue.h"
#include "controls/glyph_button.h"
#include "data/connection.h"
#include "data/data_module.h"
#include "registration/media_window.h"
#include "registration/software_window.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/test_server.h"

#include <QTest>

#include <memory>

class TestReadOnlyWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void everyChangeIsRefused_data();
    void everyChangeIsRefused();

private:
    std::unique_ptr<TestServer> m_server;
    QString m_db = QStringLiteral("loja");
};

void TestReadOnlyWindows::initTestCase()
{
    m_server = std::make_unique<TestServer>();
    QUIVEL_REQUIRE_SERVER(*m_server);
    m_server->requirePasswords();
    const QString admin = m_server->createDatabase(m_db);
    ServerCatalogue::createSample(admin);
    ServerAccounts::create(admin, QStringLiteral("leitor"), ServerAccounts::Right::Consult,
                           QByteArrayLiteral("s3nha leitor"));
}

void TestReadOnlyWindows::everyChangeIsRefused_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("button");
    for (const char *window : {"media", "software"}) {
        for (const char *button : {"BitBtn2", "BitBtn3", "BitBtn4"})
            QTest::addRow("%s %s", window, button)
                << QString::fromLatin1(window) << QString::fromLatin1(button);
    }
}

void TestReadOnlyWindows::everyChangeIsRefused()
{
    QFETCH(QString, window);
    QFETCH(QString, button);
    const QString before = m_server->scalar(
        m_db, QStringLiteral("SELECT (SELECT count(*) FROM quivel.cds) || '/' || (SELECT "
                             "count(*) FROM quivel.softs) || '/' || (SELECT md5(string_agg("
                             "titulo, ',' ORDER BY codigo)) FROM quivel.cds)"));
    int asked = 0;
    TADOConnection::setSignIn(
        [&](const QString &, const QString &, QString &user, QByteArray &password) {
            ++asked;
            user = QStringLiteral("leitor");
            password = QByteArrayLiteral("s3nha leitor");
            return true;
        });
    TempCatalogue elsewhere(TempCatalogue::Content::None);
    CurrentDirectory cd(elsewhere.directory());
    qputenv("QUIVEL_DATABASE",
            m_server->uri(m_db)
                .replace(QStringLiteral("user=quivel"), QStringLiteral("user=leitor"))
                .toUtf8());
    QStringList startup;
    TDm1 dm([&](const QString &line) { startup << line; });
    qunsetenv("QUIVEL_DATABASE");
    TADOConnection::setSignIn({});
    QCOMPARE(asked, 1);
    QCOMPARE(startup, QStringList());
    QCOMPARE(dm.ADOQuery1.recordCount(), 40); // consulting works

    FakeDialogs dialogs;
    dialogs.answers = {Dialogs::Yes, Dialogs::Yes};
    std::unique_ptr<QWidget> form;
    if (window == u"media")
        form = std::make_unique<TForm2>(dm);
    else
        form = std::make_unique<TForm3>(dm);
    form->show();
    form->findChild<TBitBtn *>(button)->click();
    // One error box, and not even the question whether to delete.
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].text, QStringLiteral("Sua conta pode apenas consultar o catálogo."));
    QCOMPARE(dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    QCOMPARE(dm.ADOQuery1.state(), TDataSetState::Browse);
    QCOMPARE(dm.ADOQuery2.state(), TDataSetState::Browse);
    QCOMPARE(m_server->scalar(
                 m_db, QStringLiteral("SELECT (SELECT count(*) FROM quivel.cds) || '/' || (SELECT "
                                      "count(*) FROM quivel.softs) || '/' || (SELECT md5("
                                      "string_agg(titulo, ',' ORDER BY codigo)) FROM quivel.cds)")),
             before);
}

QTEST_MAIN(TestReadOnlyWindows)
#include "tst_read_only_windows.moc"
