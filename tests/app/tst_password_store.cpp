// SPDX-License-Identifier: GPL-3.0-or-later
// "Lembrar a senha": a server's password kept only in the desktop's secret store, under the
// server, the database and the account. Run bare, there is no store: the tick is not offered.
// Run under tests/support/with_keyring.sh, a real store on a bus of its own keeps, finds and
// forgets passwords, and the sign-in uses them.
#include "app/password_store.h"
#include "app/remembered_sign_in.h"
#include "app/sign_in_window.h"
#include "data/engine/backend.h"

#include <QCheckBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool keyringExpected()
{
    return qEnvironmentVariable("QUIVEL_TEST_KEYRING") == QLatin1String("1");
}

// What the window was asked to do and what it answers, in place of the user.
struct FakeWindow
{
    int shown = 0;
    bool offered = false;
    QByteArray typed;
    bool tick = false;

    RememberedSignIn::Ask ask()
    {
        return [this](const QString &, const QString &, QString &, QByteArray &password,
                      bool offerRemember, bool &remember) {
            ++shown;
            offered = offerRemember;
            password = typed;
            remember = tick;
            return true;
        };
    }
};

const QString server = QStringLiteral("catalogo.escritorio");
const QString database = QStringLiteral("quivel");
const QString account = QStringLiteral("maria");
const QString named = server + u'/' + database;

} // namespace

// Only under with_keyring.sh; a run that expected the store and has none fails.
#define NEED_STORE()                                                                               \
    do {                                                                                           \
        if (!keyringExpected())                                                                    \
            QSKIP("no secret store outside with_keyring.sh");                                      \
        QVERIFY(PasswordStore::available());                                                       \
    } while (false)

class TestPasswordStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void storeIsThereOnlyWithADesktopStore();
    void tickShownOnlyWhenOffered_data();
    void tickShownOnlyWhenOffered();
    void signInOffersTheTickOnlyWithAStore();
    void keptPasswordsAreKeyedByServerDatabaseAndAccount_data();
    void keptPasswordsAreKeyedByServerDatabaseAndAccount();
    void rememberedOnlyOnceTheServerAccepted_data();
    void rememberedOnlyOnceTheServerAccepted();
    void keptPasswordSignsInWithoutTheWindow();
    void keptPasswordRefusedIsForgotten();

private:
    QTemporaryDir m_emptyRuntime;
};

void TestPasswordStore::initTestCase()
{
    if (!keyringExpected()) {
        // As on a machine without a desktop session: no bus to find a store on.
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("XDG_RUNTIME_DIR", m_emptyRuntime.path().toUtf8());
    }
}

void TestPasswordStore::init()
{
    if (PasswordStore::available()) {
        for (const QString &a : {account, QStringLiteral("joão")})
            PasswordStore::forget(server, database, a);
    }
}

void TestPasswordStore::storeIsThereOnlyWithADesktopStore()
{
    QCOMPARE(PasswordStore::available(), keyringExpected());
    if (!keyringExpected()) {
        // Nothing to find and nowhere to keep.
        QVERIFY(!PasswordStore::store(server, database, account, QByteArrayLiteral("x")));
        QVERIFY(PasswordStore::lookup(server, database, account).isEmpty());
    }
}

void TestPasswordStore::tickShownOnlyWhenOffered_data()
{
    QTest::addColumn<bool>("offer");
    QTest::newRow("offered") << true;
    QTest::newRow("not offered") << false;
}

void TestPasswordStore::tickShownOnlyWhenOffered()
{
    QFETCH(bool, offer);
    SignInWindow window(named, QStringLiteral("O servidor pede a senha da conta"), account, offer);
    window.show();
    auto *tick = window.findChild<QCheckBox *>(QStringLiteral("CheckRemember"));
    QCOMPARE(tick->isVisible(), offer);
    QCOMPARE(tick->accessibleName(), QStringLiteral("Lembrar a senha"));
    // The buttons stay inside the window, below everything shown.
    const auto *enter = window.findChild<QPushButton *>(QStringLiteral("ButtonEnter"));
    QVERIFY(enter->geometry().bottom() < window.height());
    if (offer)
        QVERIFY(enter->y() > tick->geometry().bottom());
    tick->setChecked(true);
    QCOMPARE(window.remember(), offer);
}

void TestPasswordStore::signInOffersTheTickOnlyWithAStore()
{
    FakeWindow window;
    window.typed = QByteArrayLiteral("digitada");
    RememberedSignIn signIn(window.ask());
    QString user = account;
    QByteArray password;
    QVERIFY(signIn(named, QStringLiteral("O servidor pede a senha da conta"), user, password));
    QCOMPARE(window.shown, 1);
    QCOMPARE(window.offered, keyringExpected());
    QCOMPARE(password, QByteArrayLiteral("digitada"));
}

void TestPasswordStore::keptPasswordsAreKeyedByServerDatabaseAndAccount_data()
{
    QTest::addColumn<QString>("askedServer");
    QTest::addColumn<QString>("askedDatabase");
    QTest::addColumn<QString>("askedAccount");
    QTest::addColumn<bool>("found");
    QTest::newRow("the same") << server << database << account << true;
    QTest::newRow("another server")
        << QStringLiteral("outro.escritorio") << database << account << false;
    QTest::newRow("another database") << server << QStringLiteral("arquivo") << account << false;
    QTest::newRow("another account") << server << database << QStringLiteral("joão") << false;
}

void TestPasswordStore::keptPasswordsAreKeyedByServerDatabaseAndAccount()
{
    NEED_STORE();
    QFETCH(QString, askedServer);
    QFETCH(QString, askedDatabase);
    QFETCH(QString, askedAccount);
    QFETCH(bool, found);
    const QByteArray password = QStringLiteral("s3nha 'ç' \\ %1").arg(account).toUtf8();
    QVERIFY(PasswordStore::store(server, database, account, password));
    QCOMPARE(PasswordStore::lookup(askedServer, askedDatabase, askedAccount),
             found ? password : QByteArray());
    PasswordStore::forget(server, database, account);
    QVERIFY(PasswordStore::lookup(server, database, account).isEmpty());
}

void TestPasswordStore::rememberedOnlyOnceTheServerAccepted_data()
{
    QTest::addColumn<bool>("tick");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("ticked, accepted") << true << true;
    QTest::newRow("ticked, refused") << true << false;
    QTest::newRow("not ticked, accepted") << false << true;
}

void TestPasswordStore::rememberedOnlyOnceTheServerAccepted()
{
    NEED_STORE();
    QFETCH(bool, tick);
    QFETCH(bool, accepted);
    FakeWindow window;
    window.typed = QByteArrayLiteral("certa-1");
    window.tick = tick;
    {
        RememberedSignIn signIn(window.ask());
        QString user = account;
        QByteArray password;
        signIn(named, QStringLiteral("O servidor pede a senha da conta"), user, password);
        // Before the server answered, nothing is kept.
        QVERIFY(PasswordStore::lookup(server, database, account).isEmpty());
        if (accepted)
            signIn.accepted();
    }
    QCOMPARE(PasswordStore::lookup(server, database, account),
             tick && accepted ? QByteArrayLiteral("certa-1") : QByteArray());
}

void TestPasswordStore::keptPasswordSignsInWithoutTheWindow()
{
    NEED_STORE();
    QVERIFY(PasswordStore::store(server, database, account, QByteArrayLiteral("guardada")));
    FakeWindow window;
    RememberedSignIn signIn(window.ask());
    QString user = account;
    QByteArray password;
    QVERIFY(signIn(named, QStringLiteral("O servidor pede a senha da conta"), user, password));
    QCOMPARE(window.shown, 0);
    QCOMPARE(password, QByteArrayLiteral("guardada"));
    signIn.accepted();
    QCOMPARE(PasswordStore::lookup(server, database, account), QByteArrayLiteral("guardada"));
}

// The password was changed elsewhere: the kept one is refused, forgotten, and the window asks.
void TestPasswordStore::keptPasswordRefusedIsForgotten()
{
    NEED_STORE();
    QVERIFY(PasswordStore::store(server, database, account, QByteArrayLiteral("antiga")));
    FakeWindow window;
    window.typed = QByteArrayLiteral("nova");
    RememberedSignIn signIn(window.ask());
    QString user = account;
    QByteArray password;
    signIn(named, QStringLiteral("O servidor pede a senha da conta"), user, password);
    QCOMPARE(password, QByteArrayLiteral("antiga"));
    signIn(named, QStringLiteral("O servidor não aceitou a conta ou a senha; tente de novo"), user,
           password);
    QCOMPARE(window.shown, 1);
    QCOMPARE(password, QByteArrayLiteral("nova"));
    QVERIFY(PasswordStore::lookup(server, database, account).isEmpty());
}

QTEST_MAIN(TestPasswordStore)
#include "tst_password_store.moc"
