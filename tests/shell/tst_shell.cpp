// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/exceptions.h"
#include "shell/error_handler.h"
#include "shell/message_window.h"
#include "tests/support/fake_dialogs.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>

class TestShell : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(QStringLiteral("Quivel")); }
    void generalHandlerAddsOnePeriod_data();
    void generalHandlerAddsOnePeriod();
    void abortShowsNothing();
    void guardKeepsFailuresInside();
    void messageWindowClosesOnEnterAndEsc_data();
    void messageWindowClosesOnEnterAndEsc();
};

void TestShell::generalHandlerAddsOnePeriod_data()
{
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << QStringLiteral("File not found")
                            << QStringLiteral("File not found.");
    QTest::newRow("period") << QStringLiteral("Pronto.") << QStringLiteral("Pronto.");
    QTest::newRow("apostrophe") << QStringLiteral("near 'x'") << QStringLiteral("near 'x'");
    QTest::newRow("exclamation") << QStringLiteral("Opa!") << QStringLiteral("Opa!");
    QTest::newRow("accented") << QStringLiteral("Não") << QStringLiteral("Não.");
    QTest::newRow("slash") << QStringLiteral("a/b") << QStringLiteral("a/b.");
    QTest::newRow("empty") << QString() << QString();
}

void TestShell::generalHandlerAddsOnePeriod()
{
    QFETCH(QString, message);
    QFETCH(QString, shown);
    FakeDialogs dialogs;
    guarded([&] { throw EDatabaseError(message); })();
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].text, shown);
    QCOMPARE(dialogs.boxes[0].caption, QStringLiteral("Quivel"));
    QCOMPARE(dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    QCOMPARE(dialogs.boxes[0].buttons, int(Dialogs::Ok));
}

void TestShell::abortShowsNothing()
{
    FakeDialogs dialogs;
    guarded([] { throw EAbort(); })();
    QVERIFY(dialogs.boxes.isEmpty());
    QVERIFY(dialogs.messages.isEmpty());
}

void TestShell::guardKeepsFailuresInside()
{
    FakeDialogs dialogs;
    bool after = false;
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked, &button,
                     guarded([&] { throw std::runtime_error("falhou"); }));
    QObject::connect(&button, &QPushButton::clicked, &button, [&] { after = true; });
    button.click();
    QVERIFY(after); // processing went on with the next handler
    QCOMPARE(dialogs.boxes.size(), 1);
    QCOMPARE(dialogs.boxes[0].text, QStringLiteral("falhou."));
}

void TestShell::messageWindowClosesOnEnterAndEsc_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("enter") << int(Qt::Key_Return);
    QTest::newRow("esc") << int(Qt::Key_Escape);
}

void TestShell::messageWindowClosesOnEnterAndEsc()
{
    QFETCH(int, key);
    MessageWindow window(QStringLiteral("Mídia apagada com sucesso!"));
    QCOMPARE(window.windowTitle(), QStringLiteral("Quivel"));
    QTimer::singleShot(0, &window, [&] { QTest::keyClick(&window, Qt::Key(key)); });
    QTimer::singleShot(2000, &window, [&] { window.done(99); }); // fails the test, never hangs
    QVERIFY(window.exec() != 99);
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
