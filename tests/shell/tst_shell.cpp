// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"
#include "shell/application.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"
#include "shell/message_window.h"
#include "tests/support/fake_dialogs.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <memory>

// Stand-ins for the program's windows: named like them, not like Qt's classes.
class TSampleWindow : public QWidget
{
    Q_OBJECT

public:
    using QWidget::QWidget;
};

class TSampleDialog : public QDialog
{
    Q_OBJECT

public:
    using QDialog::QDialog;
};

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
    void messageWindowIsCentredOnTheScreen();
    void qtOwnTextsArePortuguese();
    void enterClicksTheFocusedButton_data();
    void enterClicksTheFocusedButton();
    void programWindowsAreAnnouncedAsWindows();
    void designFamiliesTakeTheInstalledSubstitute_data();
    void designFamiliesTakeTheInstalledSubstitute();
    void designPixelSizesTakeEffectAsSet_data();
    void designPixelSizesTakeEffectAsSet();
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

void TestShell::messageWindowIsCentredOnTheScreen()
{
    // Asked from a window off to one side: the message still stands in the screen's middle.
    QWidget owner;
    owner.setGeometry(20, 40, 200, 150);
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    MessageWindow window(QStringLiteral("Mídia apagada com sucesso!"), &owner);
    QPoint centre;
    QTimer::singleShot(0, &window, [&] {
        centre = window.frameGeometry().center();
        window.accept();
    });
    window.exec();
    const QPoint screenCentre = window.screen()->availableGeometry().center();
    QVERIFY2((centre - screenCentre).manhattanLength() <= 2,
             qPrintable(QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y())));
}

void TestShell::qtOwnTextsArePortuguese()
{
    QVERIFY(installQtTranslations(*qApp));
    QLineEdit edit(QStringLiteral("texto"));
    std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
    QStringList texts;
    for (const QAction *action : menu->actions()) {
        if (!action->isSeparator())
            texts << action->text().section(u'\t', 0, 0);
    }
    QCOMPARE(texts, (QStringList{QStringLiteral("&Desfazer"), QStringLiteral("&Refazer"),
                                 QStringLiteral("Recor&tar"), QStringLiteral("&Copiar"),
                                 QStringLiteral("C&olar"), QStringLiteral("Excluir"),
                                 QStringLiteral("Selecionar tudo")}));
    QDialogButtonBox buttons(QDialogButtonBox::Cancel | QDialogButtonBox::Save);
    QCOMPARE(buttons.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancelar"));
    QCOMPARE(buttons.button(QDialogButtonBox::Save)->text(), QStringLiteral("Salvar"));
}

void TestShell::enterClicksTheFocusedButton_data()
{
    QTest::addColumn<bool>("inDialog");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<int>("clicks");
    const int none = Qt::NoModifier;
    QTest::newRow("window, Enter") << false << int(Qt::Key_Return) << none << true << 1;
    QTest::newRow("window, keypad Enter")
        << false << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true << 1;
    QTest::newRow("dialog, Enter") << true << int(Qt::Key_Return) << none << true << 1;
    QTest::newRow("window, Ctrl+Enter")
        << false << int(Qt::Key_Return) << int(Qt::ControlModifier) << true << 0;
    QTest::newRow("window, disabled") << false << int(Qt::Key_Return) << none << false << 0;
    QTest::newRow("window, a letter") << false << int(Qt::Key_A) << none << true << 0;
}

void TestShell::enterClicksTheFocusedButton()
{
    QFETCH(bool, inDialog);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, enabled);
    QFETCH(int, clicks);
    installEnterClicksButtons(*qApp);
    std::unique_ptr<QWidget> window(inDialog ? new QDialog : new QWidget);
    auto *button = new QPushButton(QStringLiteral("Buscar"), window.get());
    button->setAutoDefault(false); // as in every window of the program
    button->setEnabled(enabled);
    window->show();
    QVERIFY(QTest::qWaitForWindowActive(window.get()));
    button->setFocus();
    QSignalSpy clicked(button, &QPushButton::clicked);
    QTest::keyClick(button, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(clicked.size(), clicks);
}

void TestShell::programWindowsAreAnnouncedAsWindows()
{
    installWindowAccessibility();
    TSampleWindow window;
    TSampleDialog dialog;
    TSampleWindow inner(&window); // a control, not a window
    QWidget plain;                // Qt's own classes keep Qt's roles
    const auto role = [](QWidget *widget) {
        return QAccessible::queryAccessibleInterface(widget)->role();
    };
    QCOMPARE(role(&window), QAccessible::Window);
    QCOMPARE(role(&dialog), QAccessible::Dialog);
    QCOMPARE(role(&inner), QAccessible::Client);
    QCOMPARE(role(&plain), QAccessible::Client);
    window.setWindowTitle(QStringLiteral("Cadastro de Mídias"));
    QCOMPARE(QAccessible::queryAccessibleInterface(&window)->text(QAccessible::Name),
             QStringLiteral("Cadastro de Mídias"));
}

// Families made up for the test, so that none of them is installed.
const QString designFamily = QStringLiteral("Quivel Design Sans");
const QString orphanFamily = QStringLiteral("Quivel Orphan Sans");
const QString otherFamily = QStringLiteral("Quivel Other Sans");

void TestShell::designFamiliesTakeTheInstalledSubstitute_data()
{
    QTest::addColumn<QString>("family");
    QTest::addColumn<bool>("onTheParent"); // else on the widget itself
    QTest::addColumn<bool>("mapped");
    QTest::newRow("design family") << designFamily << false << true;
    QTest::newRow("design family, inherited") << designFamily << true << true;
    QTest::newRow("design family without an installed substitute")
        << orphanFamily << false << false;
    QTest::newRow("family that is not the design's") << otherFamily << false << false;
}

void TestShell::designFamiliesTakeTheInstalledSubstitute()
{
    QFETCH(QString, family);
    QFETCH(bool, onTheParent);
    QFETCH(bool, mapped);
    const QString installed = QFontDatabase::families().value(0);
    if (installed.isEmpty())
        QSKIP("no font installed");
    // The first substitute is missing; the second is the one Qt would use.
    for (const QString &name : {designFamily, otherFamily})
        QFont::insertSubstitutions(name, {QStringLiteral("Quivel Missing Sans"), installed});
    QFont::insertSubstitution(orphanFamily, QStringLiteral("Quivel Missing Sans"));
    std::unique_ptr<QObject> filter(installDesignFonts(*qApp, {designFamily, orphanFamily}));

    QWidget window;
    QLabel label(QStringLiteral("Pesquisar Software:"), &window);
    QFont font(family);
    font.setBold(true);
    (onTheParent ? static_cast<QWidget &>(window) : label).setFont(font);
    // Qt keeps substitutes in lower case; families match without regard to case.
    QCOMPARE(label.font().family().toLower(), (mapped ? installed : family).toLower());
    QVERIFY(label.font().bold());
}

void TestShell::designPixelSizesTakeEffectAsSet_data()
{
    QTest::addColumn<bool>("marked");
    QTest::addColumn<bool>("inADialog");
    QTest::addColumn<bool>("applied");
    QTest::newRow("marked window") << true << false << true;
    QTest::newRow("unmarked window") << false << false << false;
    QTest::newRow("dialog over a marked window") << true << true << false;
}

void TestShell::designPixelSizesTakeEffectAsSet()
{
    QFETCH(bool, marked);
    QFETCH(bool, inADialog);
    QFETCH(bool, applied);
    std::unique_ptr<QObject> filter(installDesignFonts(*qApp, {}));
    QWidget window;
    if (marked)
        setDesignFontsAsSet(&window);
    QDialog dialog(&window);
    QWidget *root = inADialog ? static_cast<QWidget *>(&dialog) : &window;
    QFont font = root->font();
    font.setPixelSize(12);
    root->setFont(font);
    auto *label = new QLabel(QStringLiteral("Gerar Relatório:"), root);
    label->setFont(font);
    label->setProperty("pixelSize", 17);
    QCOMPARE(label->font().pixelSize(), applied ? 17 : 12);
    // What finishFormLayout does later gives the same font either way.
    finishFormLayout(root);
    QCOMPARE(label->font().pixelSize(), 17);
}

QTEST_MAIN(TestShell)
#include "tst_shell.moc"
