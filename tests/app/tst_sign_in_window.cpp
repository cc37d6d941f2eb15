// SPDX-License-Identifier: GPL-3.0-or-later
// "Entrar no catálogo": what the user types comes back; Esc gives up.
#include "app/sign_in_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>

class TestSignInWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void typedAccountAndPasswordComeBack();
    void escapeGivesUp();
    void rememberTickComesBack_data();
    void rememberTickComesBack();
};

namespace {

// Acts on the window once it is shown modally.
template <typename F> void whenShown(F act)
{
    QTimer::singleShot(0, [act] {
        // Checks come after the window closes: a failure here would leave it waiting.
        if (auto *window = qobject_cast<SignInWindow *>(QApplication::activeModalWidget()))
            act(*window);
    });
}

} // namespace

void TestSignInWindow::typedAccountAndPasswordComeBack()
{
    QString shownServer;
    bool hidden = false;
    bool focused = false;
    whenShown([&](SignInWindow &w) {
        shownServer = w.findChild<QLabel *>(QStringLiteral("LabelServer"))->text();
        auto *password = w.findChild<QLineEdit *>(QStringLiteral("EditPassword"));
        hidden = password->echoMode() == QLineEdit::Password;
        focused = w.focusWidget() == password; // the account is already there
        QTest::keyClicks(password, QStringLiteral("s3nha x!"));
        QTest::keyClick(password, Qt::Key_Return);
    });
    QString user = QStringLiteral("maria");
    QByteArray password;
    QVERIFY(SignInWindow::ask(QStringLiteral("servidor/quivel"),
                              QStringLiteral("O servidor pede a senha da conta"), user, password));
    QCOMPARE(shownServer, QStringLiteral("Servidor: servidor/quivel"));
    QVERIFY(hidden);
    QVERIFY(focused);
    QCOMPARE(user, QStringLiteral("maria"));
    QCOMPARE(password, QStringLiteral("s3nha x!").toUtf8());
}

void TestSignInWindow::escapeGivesUp()
{
    whenShown([](SignInWindow &w) {
        QTest::keyClicks(w.findChild<QLineEdit *>(QStringLiteral("EditPassword")),
                         QStringLiteral("meia"));
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    QString user = QStringLiteral("maria");
    QByteArray password;
    QVERIFY(!SignInWindow::ask(QStringLiteral("servidor/quivel"), QString(), user, password));
    QVERIFY(password.isEmpty());
}

void TestSignInWindow::rememberTickComesBack_data()
{
    QTest::addColumn<bool>("offer");
    QTest::addColumn<bool>("tick");
    QTest::newRow("offered, ticked") << true << true;
    QTest::newRow("offered, not ticked") << true << false;
    // Without a store the tick is not there to press, and nothing is remembered.
    QTest::newRow("not offered") << false << true;
}

void TestSignInWindow::rememberTickComesBack()
{
    QFETCH(bool, offer);
    QFETCH(bool, tick);
    bool tickShown = false;
    whenShown([&](SignInWindow &w) {
        auto *password = w.findChild<QLineEdit *>(QStringLiteral("EditPassword"));
        auto *box = w.findChild<QCheckBox *>(QStringLiteral("CheckRemember"));
        tickShown = box->isVisible();
        QTest::keyClicks(password, QStringLiteral("s3nha"));
        if (tick && box->isVisible()) {
            QTest::keyClick(password, Qt::Key_Tab); // the tick follows the password
            QTest::keyClick(w.focusWidget(), Qt::Key_Space);
        }
        QTest::keyClick(&w, Qt::Key_Return);
    });
    QString user = QStringLiteral("maria");
    QByteArray password;
    bool remember = !(offer && tick); // the opposite of the answer expected
    QVERIFY(SignInWindow::ask(QStringLiteral("servidor/quivel"), QString(), user, password, offer,
                              &remember));
    QCOMPARE(tickShown, offer);
    QCOMPARE(remember, offer && tick);
    QCOMPARE(password, QByteArrayLiteral("s3nha"));
}

QTEST_MAIN(TestSignInWindow)
#include "tst_sign_in_window.moc"
