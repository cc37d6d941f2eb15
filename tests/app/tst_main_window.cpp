// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"
#include "core/exceptions.h"
#include "data/data_module.h"
#include "registration/media_window.h"
#include "registration/software_window.h"
#include "shell/application.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLineEdit>
#include <QMap>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <functional>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

const QColor paleGreen(0xC0, 0xDC, 0xC0);
const QColor white(Qt::white);

// The main window with its search window replaced by a recording stand-in; `search` runs
// where the search window would be built, and may fail as a real one would.
class ObservedForm1 : public TForm1
{
public:
    struct Request
    {
        QString text;
        int kind;
    };
    QList<Request> requests;
    std::function<void(const QString &)> search;

protected:
    void openSearch(const QString &text, int kind) override
    {
        requests.append({text, kind});
        if (search)
            search(text);
    }
};

// A sample catalogue as the current directory, the data module over it and the main window.
struct Fixture
{
    TempCatalogue catalogue{TempCatalogue::Content::Sample};
    CurrentDirectory directory{catalogue.directory()};
    FakeDialogs dialogs;
    QStringList dataModuleLines;
    TDm1 dm{[this](const QString &line) { dataModuleLines << line; }};
    ObservedForm1 form;

    Fixture() { form.bindDataModule(dm); }

    template <typename T> T *child(const char *name) const
    {
        auto *widget = form.findChild<T *>(QLatin1String(name));
        if (!widget)
            qFatal("no child %s", name);
        return widget;
    }

    // What the search window does first: the media search statement, opened on ADOQuery6.
    void searchLikeTheSearchWindow(const QString &text)
    {
        dm.ADOQuery6.close();
        dm.ADOQuery6.setSql({QStringLiteral("select * from cds"),
                             QStringLiteral("where titulo like '%") + text + QStringLiteral("%'")});
        dm.ADOQuery6.open();
    }
};

// Runs `action`, which should open a modal window; records the modal window's class and
// owner, then closes it. A window that never appears leaves `seen` empty.
struct ModalSeen
{
    QString className;
    QObject *owner = nullptr;
};

std::optional<ModalSeen> runModal(const std::function<void()> &action)
{
    std::optional<ModalSeen> seen;
    QTimer probe;
    probe.setInterval(10);
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
        if (QWidget *modal = QApplication::activeModalWidget()) {
            seen =
                ModalSeen{QString::fromLatin1(modal->metaObject()->className()), modal->parent()};
            modal->close();
        }
    });
    probe.start();
    QTimer::singleShot(5000, &probe, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close(); // never hang the suite
    });
    action();
    return seen;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QApplication::setApplicationDisplayName(QStringLiteral("Quivel"));
        installFontSubstitutions();
        installEnterClicksButtons(*qApp);
        installWindowAccessibility();
    }
    void startsAsLaidOut();
    void hoverHighlightsTheBoxUnderThePointer();
    void highlightShowsThroughLabelsNotEdits();
    void panelsShowExactColours_data();
    void panelsShowExactColours();
    void enterInSearchBoxes_data();
    void enterInSearchBoxes();
    void searchButtonsOpenWithoutTest_data();
    void searchButtonsOpenWithoutTest();
    void searchFailures_data();
    void searchFailures();
    void buttonsOpenOwnedModalWindows_data();
    void buttonsOpenOwnedModalWindows();
    void formShowReopensMediaList_data();
    void formShowReopensMediaList();
    void registrationWindowsShowOnceAndComeToFront();
    void closingEndsTheProgram_data();
    void closingEndsTheProgram();
    void exitAsksAboutPendingRecords_data();
    void exitAsksAboutPendingRecords();
};

void TestMainWindow::startsAsLaidOut()
{
    Fixture f;
    QCOMPARE(f.form.windowTitle(), QStringLiteral("QUIVEL - Banco de Dados de Aplicativos"));
    QAccessibleInterface *announced = QAccessible::queryAccessibleInterface(&f.form);
    QCOMPARE(announced->role(), QAccessible::Window);
    QCOMPARE(announced->text(QAccessible::Name),
             QStringLiteral("QUIVEL - Banco de Dados de Aplicativos"));
    QCOMPARE(f.form.size(), QSize(936, 592));
    QCOMPARE(f.form.minimumSize(), f.form.maximumSize());
    QCOMPARE(f.form.palette().color(QPalette::Window), white);

    // The registration buttons lie over "Cadastros" as the window's own children.
    auto *box1 = f.child<QGroupBox>("GroupBox1");
    auto *bitBtn1 = f.child<QPushButton>("BitBtn1");
    QCOMPARE(bitBtn1->parentWidget(), &f.form);
    QVERIFY(box1->geometry().contains(bitBtn1->geometry()));
    QVERIFY(box1->findChildren<QWidget *>().isEmpty());
    // "Configurações" holds only this round's buttons, each in its own slot.
    const QMap<QString, QRect> slotOf = {{QStringLiteral("ButtonIdentify"), {24, 26, 249, 27}},
                                         {QStringLiteral("ButtonKinds"), {24, 61, 249, 27}},
                                         {QStringLiteral("ButtonExchange"), {24, 96, 249, 27}},
                                         {QStringLiteral("ButtonAccounts"), {24, 131, 249, 27}}};
    const auto configuration = f.child<QGroupBox>("GroupBox2")->findChildren<QWidget *>();
    QVERIFY(!configuration.isEmpty());
    for (const QWidget *w : configuration) {
        QVERIFY2(qobject_cast<const QPushButton *>(w) && slotOf.contains(w->objectName()),
                 qPrintable(w->objectName()));
        QCOMPARE(w->geometry(), slotOf[w->objectName()]);
    }

    QCOMPARE(f.child<QLineEdit>("ConsultaSoft")->font().pixelSize(), 16);
    QVERIFY(f.child<QLineEdit>("ConsultaSoft")->font().bold());
    QCOMPARE(f.child<QLineEdit>("ConsultaSoft")->palette().color(QPalette::Text), QColor(Qt::blue));
    QCOMPARE(f.child<QWidget>("Label1")->font().pixelSize(), 13);  // the panel's font
    QCOMPARE(f.child<QWidget>("Button1")->font().pixelSize(), 11); // the window's font

    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    for (const char *hidden :
         {"Label4", "ListaMidias", "GeraRelatBut", "CheckBox1", "NumeroCD", "GeraRelat"})
        QVERIFY2(!f.child<QWidget>(hidden)->isVisible(), hidden);
    for (const char *shown : {"RadioButton1", "RadioButton2", "Button2", "Button3", "BitBtn3"})
        QVERIFY2(f.child<QWidget>(shown)->isVisible(), shown);
    const QRect desktop = f.form.screen()->virtualGeometry();
    QVERIFY((f.form.frameGeometry().center() - desktop.center()).manhattanLength() <= 2);
}

void TestMainWindow::hoverHighlightsTheBoxUnderThePointer()
{
    Fixture f;
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    const QList<QGroupBox *> boxes = {f.child<QGroupBox>("GroupBox1"),
                                      f.child<QGroupBox>("GroupBox2"),
                                      f.child<QGroupBox>("GroupBox3")};

    struct Step
    {
        const char *over;
        QPoint at;
        int highlighted; // 1..3, 0 for none yet
    };
    const Step steps[] = {
        {"GroupBox1", {10, 150}, 1}, {"GroupBox3", {250, 420}, 3}, {"BitBtn1", {20, 20}, 3},
        {"Form1", {20, 570}, 3},     {"GroupBox2", {10, 100}, 2},  {"ConsultaSoft", {10, 10}, 2},
        {"Label1", {5, 5}, 2},       {"BitBtn2", {30, 30}, 2},     {"GroupBox1", {280, 280}, 1},
    };
    for (const QGroupBox *box : boxes)
        QCOMPARE(box->palette().color(QPalette::Window), white);
    for (const Step &step : steps) {
        QWidget *target = step.over == QByteArrayView("Form1") ? static_cast<QWidget *>(&f.form)
                                                               : f.child<QWidget>(step.over);
        QTest::mouseMove(f.form.windowHandle(), target->mapTo(&f.form, step.at));
        for (int i = 0; i < boxes.size(); ++i) {
            const QColor expected = i + 1 == step.highlighted ? paleGreen : white;
            QVERIFY2(boxes[i]->palette().color(QPalette::Window) == expected,
                     qPrintable(QStringLiteral("over %1: GroupBox%2")
                                    .arg(QLatin1String(step.over))
                                    .arg(i + 1)));
        }
    }
}

void TestMainWindow::highlightShowsThroughLabelsNotEdits()
{
    Fixture f;
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    f.form.GroupBox3MouseMove();
    const QImage picture = f.form.grab().toImage();
    const auto colourAt = [&](const char *name, QPoint local) {
        return picture.pixelColor(f.child<QWidget>(name)->mapTo(&f.form, local));
    };
    // The box's own surface carries the colour.
    const QColor surface = colourAt("GroupBox3", {250, 420});
    QCOMPARE(surface, paleGreen);
    // Blank parts of a label and a radio button show it; an edit box and a button do not.
    auto *radio = f.child<QWidget>("RadioButton2");
    auto *edit = f.child<QWidget>("ConsultaMidia");
    QCOMPARE(colourAt("Label3", {1, 0}), surface);
    QCOMPARE(colourAt("RadioButton2", {radio->width() - 2, radio->height() / 2}), surface);
    QCOMPARE(colourAt("ConsultaMidia", {edit->width() - 10, edit->height() / 2}), white);
    QVERIFY(colourAt("Button2", {10, 12}) != surface);
}

void TestMainWindow::panelsShowExactColours_data()
{
    QTest::addColumn<int>("highlighted"); // 0: none yet
    for (int i = 0; i <= 3; ++i)
        QTest::newRow(qPrintable(QStringLiteral("GroupBox%1").arg(i))) << i;
}

void TestMainWindow::panelsShowExactColours()
{
    QFETCH(int, highlighted);
    Fixture f;
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));
    if (highlighted == 1)
        f.form.GroupBox1MouseMove();
    else if (highlighted == 2)
        f.form.GroupBox2MouseMove();
    else if (highlighted == 3)
        f.form.GroupBox3MouseMove();
    const QImage picture = f.form.grab().toImage();
    // Bare spots inside each frame, near its edges and in its middle: the colour exactly, as
    // the design gives it, with no tint from the style.
    for (int i = 1; i <= 3; ++i) {
        auto *box = f.child<QGroupBox>(qPrintable(QStringLiteral("GroupBox%1").arg(i)));
        const QRect r = box->geometry();
        const QColor expected = i == highlighted ? paleGreen : white;
        const QPoint spots[] = {{r.left() + 6, r.top() + 30},
                                {r.right() - 6, r.bottom() - 6},
                                {r.left() + 6, r.bottom() - 6}};
        for (const QPoint spot : spots) {
            const QColor seen = picture.pixelColor(spot);
            QVERIFY2(seen == expected, qPrintable(QStringLiteral("GroupBox%1 at %2,%3: %4")
                                                      .arg(i)
                                                      .arg(spot.x())
                                                      .arg(spot.y())
                                                      .arg(seen.name())));
        }
    }
    if (highlighted == 2) { // the panel, all of its inside around its buttons
        auto *box = f.child<QGroupBox>("GroupBox2");
        QList<QRect> buttons;
        for (const QWidget *button : box->findChildren<QWidget *>())
            buttons
                << QRect(button->mapTo(&f.form, QPoint()), button->size()).adjusted(-2, -2, 2, 2);
        const QRect inside = box->geometry().adjusted(4, 24, -4, -4);
        for (int y = inside.top(); y <= inside.bottom(); y += 3)
            for (int x = inside.left(); x <= inside.right(); x += 3)
                if (std::none_of(buttons.cbegin(), buttons.cend(),
                                 [&](const QRect &r) { return r.contains(x, y); }))
                    QCOMPARE(picture.pixelColor(x, y), paleGreen);
    }
}

void TestMainWindow::enterInSearchBoxes_data()
{
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<int>("kind"); // 0: no search window
    QTest::addColumn<bool>("boxSawKey");

    const int none = Qt::NoModifier;
    const int keypad = Qt::KeypadModifier;
    QTest::newRow("software, empty")
        << QByteArray("ConsultaSoft") << QString() << int(Qt::Key_Return) << none << 0 << false;
    QTest::newRow("media, empty") << QByteArray("ConsultaMidia") << QString() << int(Qt::Key_Return)
                                  << none << 0 << false;
    QTest::newRow("software, spaces") << QByteArray("ConsultaSoft") << QStringLiteral("  ")
                                      << int(Qt::Key_Return) << none << 1 << false;
    QTest::newRow("media, spaces") << QByteArray("ConsultaMidia") << QStringLiteral(" ")
                                   << int(Qt::Key_Return) << none << 2 << false;
    QTest::newRow("software, keypad") << QByteArray("ConsultaSoft") << QStringLiteral(" Delphi ")
                                      << int(Qt::Key_Enter) << keypad << 1 << false;
    QTest::newRow("media, keypad") << QByteArray("ConsultaMidia") << QStringLiteral("Backup")
                                   << int(Qt::Key_Enter) << keypad << 2 << false;
    QTest::newRow("software, letter") << QByteArray("ConsultaSoft") << QStringLiteral("abc")
                                      << int(Qt::Key_X) << none << 0 << true;
    QTest::newRow("media, letter")
        << QByteArray("ConsultaMidia") << QString() << int(Qt::Key_X) << none << 0 << true;
}

void TestMainWindow::enterInSearchBoxes()
{
    QFETCH(QByteArray, box);
    QFETCH(QString, text);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(int, kind);
    QFETCH(bool, boxSawKey);

    Fixture f;
    auto *edit = f.child<QLineEdit>(box.constData());
    edit->setText(text);
    QSignalSpy returns(edit, &QLineEdit::returnPressed);
    QTest::keyClick(edit, Qt::Key(key), Qt::KeyboardModifiers(modifiers));

    if (kind == 0) {
        QVERIFY(f.form.requests.isEmpty());
    } else {
        QCOMPARE(f.form.requests.size(), 1);
        QCOMPARE(f.form.requests[0].text, text); // as typed, untrimmed
        QCOMPARE(f.form.requests[0].kind, kind);
    }
    const bool sawKey = key == Qt::Key_X ? edit->text() != text : returns.size() > 0;
    QCOMPARE(sawKey, boxSawKey);
    QVERIFY(f.dialogs.boxes.isEmpty());
    QVERIFY(f.dialogs.messages.isEmpty());
}

void TestMainWindow::searchButtonsOpenWithoutTest_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QByteArray>("box");
    QTest::addColumn<int>("kind");
    QTest::newRow("software") << QByteArray("Button2") << QByteArray("ConsultaSoft") << 1;
    QTest::newRow("media") << QByteArray("Button3") << QByteArray("ConsultaMidia") << 2;
}

void TestMainWindow::searchButtonsOpenWithoutTest()
{
    QFETCH(QByteArray, button);
    QFETCH(QByteArray, box);
    QFETCH(int, kind);

    Fixture f;
    f.child<QLineEdit>(box.constData())->clear();
    f.child<QPushButton>(button.constData())->click();
    QCOMPARE(f.form.requests.size(), 1);
    QCOMPARE(f.form.requests[0].text, QString());
    QCOMPARE(f.form.requests[0].kind, kind);
}

void TestMainWindow::searchFailures_data()
{
    QTest::addColumn<QByteArray>("entry");    // a search box (Enter) or a button
    QTest::addColumn<QString>("failure");     // "sql": the database rejects the statement
    QTest::addColumn<QString>("messageLine"); // expected start of the message window's line
    QTest::addColumn<bool>("generalHandler");
    QTest::addColumn<bool>("boxSawEnter");

    const QString oleLine = QStringLiteral("EOleExceptionErro com código: ");
    QTest::newRow("media Enter, database rejects")
        << QByteArray("ConsultaMidia") << "sql" << oleLine << false << true;
    QTest::newRow("media Enter, layer refuses")
        << QByteArray("ConsultaMidia") << "layer"
        << QStringLiteral("EDatabaseErrorErro com código: ADOQuery6: Campo inexistente") << false
        << true;
    QTest::newRow("media Enter, not of the family")
        << QByteArray("ConsultaMidia") << "other" << QString() << true << false;
    QTest::newRow("software Enter")
        << QByteArray("ConsultaSoft") << "sql" << QString() << true << false;
    QTest::newRow("software Buscar")
        << QByteArray("Button2") << "sql" << QString() << true << false;
    QTest::newRow("media Buscar") << QByteArray("Button3") << "sql" << QString() << true << false;
}

void TestMainWindow::searchFailures()
{
    QFETCH(QByteArray, entry);
    QFETCH(QString, failure);
    QFETCH(QString, messageLine);
    QFETCH(bool, generalHandler);
    QFETCH(bool, boxSawEnter);

    Fixture f;
    f.form.search = [&](const QString &text) {
        if (failure == QLatin1String("sql"))
            f.searchLikeTheSearchWindow(text);
        else if (failure == QLatin1String("layer"))
            throw EDatabaseError(QStringLiteral("ADOQuery6: Campo inexistente"));
        else
            throw std::runtime_error("falha alheia");
    };
    const QString quoted = QStringLiteral("Rock'n Roll");
    f.child<QLineEdit>("ConsultaSoft")->setText(quoted);
    f.child<QLineEdit>("ConsultaMidia")->setText(quoted);

    QSignalSpy returns(f.child<QLineEdit>("ConsultaMidia"), &QLineEdit::returnPressed);
    QSignalSpy softReturns(f.child<QLineEdit>("ConsultaSoft"), &QLineEdit::returnPressed);
    if (entry.startsWith("Button"))
        f.child<QPushButton>(entry.constData())->click();
    else
        QTest::keyClick(f.child<QLineEdit>(entry.constData()), Qt::Key_Return);

    QCOMPARE(f.form.requests.size(), 1);
    if (messageLine.isEmpty()) {
        QVERIFY(f.dialogs.messages.isEmpty());
    } else {
        QCOMPARE(f.dialogs.messages.size(), 1);
        QVERIFY2(f.dialogs.messages[0].startsWith(messageLine), qPrintable(f.dialogs.messages[0]));
        QVERIFY(f.dialogs.messages[0].size() > messageLine.size() ||
                failure != QLatin1String("sql"));
    }
    QCOMPARE(f.dialogs.boxes.size(), generalHandler ? 1 : 0);
    if (generalHandler) {
        QCOMPARE(f.dialogs.boxes[0].caption, QStringLiteral("Quivel"));
        QCOMPARE(f.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    }
    QCOMPARE(returns.size() + softReturns.size() > 0, boxSawEnter);
}

void TestMainWindow::buttonsOpenOwnedModalWindows_data()
{
    QTest::addColumn<QByteArray>("button");
    QTest::addColumn<QString>("windowClass");
    QTest::addColumn<bool>("byEnter"); // Enter on the focused button instead of a click
    for (const bool enter : {false, true}) {
        const char *how = enter ? ", Enter" : ", click";
        QTest::addRow("Buscar, empty software box%s", how)
            << QByteArray("Button2") << "TForm4" << enter;
        QTest::addRow("Buscar, empty media box%s", how)
            << QByteArray("Button3") << "TForm4" << enter;
        QTest::addRow("Sobre...%s", how) << QByteArray("Button1") << "TForm6" << enter;
        QTest::addRow("Nas próximas versões...%s", how)
            << QByteArray("Button4") << "TForm5" << enter;
        QTest::addRow("Identificar softwares...%s", how)
            << QByteArray("ButtonIdentify") << "IdentifyWindow" << enter;
        QTest::addRow("Categorias...%s", how)
            << QByteArray("ButtonKinds") << "KindsWindow" << enter;
    }
}

void TestMainWindow::buttonsOpenOwnedModalWindows()
{
    QFETCH(QByteArray, button);
    QFETCH(QString, windowClass);
    QFETCH(bool, byEnter);

    TempCatalogue catalogue(TempCatalogue::Content::Sample);
    CurrentDirectory directory(catalogue.directory());
    FakeDialogs dialogs;
    TDm1 dm([](const QString &) {});
    TForm1 form; // the real windows this time
    form.bindDataModule(dm);
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));

    auto *clicked = form.findChild<QPushButton *>(QLatin1String(button));
    QVERIFY(clicked);
    clicked->setFocus();
    const auto seen = runModal([&] {
        if (byEnter)
            QTest::keyClick(clicked, Qt::Key_Return);
        else
            clicked->click();
    });
    QVERIFY(seen.has_value());
    QCOMPARE(seen->className, windowClass);
    QCOMPARE(seen->owner, &form);
    QVERIFY(form.findChildren<QDialog *>().isEmpty()); // destroyed once closed
}

void TestMainWindow::formShowReopensMediaList_data()
{
    QTest::addColumn<bool>("tableGone");
    QTest::newRow("reopened") << false;
    QTest::newRow("reopen fails") << true;
}

void TestMainWindow::formShowReopensMediaList()
{
    QFETCH(bool, tableGone);
    Fixture f;
    const int before = f.catalogue.scalar(QStringLiteral("select count(*) from cds")).toInt();
    f.catalogue.exec(QStringLiteral(
        "insert into cds (titulo, obs, tipo, local) values ('Novo', '', 'CD', 'Gaveta')"));
    if (tableGone)
        f.catalogue.exec(QStringLiteral("alter table cds rename to cds_antiga"));

    f.form.show();
    QVERIFY(f.form.isVisible());
    if (tableGone) {
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QCOMPARE(f.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
        QVERIFY(f.form.focusWidget() != f.child<QWidget>("ConsultaSoft"));
    } else {
        QVERIFY(f.dialogs.boxes.isEmpty());
        QCOMPARE(f.dm.ADOQuery5.recordCount(), before + 1);
        QCOMPARE(f.form.focusWidget(), f.child<QWidget>("ConsultaSoft"));
    }
}

void TestMainWindow::registrationWindowsShowOnceAndComeToFront()
{
    Fixture f;
    TForm2 form2(f.dm);
    TForm3 form3(f.dm);
    f.form.setRegistrationWindows(&form2, &form3);
    f.form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&f.form));

    f.child<QPushButton>("BitBtn1")->click();
    QVERIFY(form2.isVisible());
    QVERIFY(!form2.isModal() && !form3.isVisible());
    QTRY_COMPARE(QApplication::activeWindow(), &form2);

    f.child<QPushButton>("BitBtn2")->click();
    QVERIFY(form3.isVisible());
    QTRY_COMPARE(QApplication::activeWindow(), &form3);

    // Already open behind another window: the same instance comes to the front.
    f.child<QPushButton>("BitBtn1")->click();
    QTRY_COMPARE(QApplication::activeWindow(), &form2);
    QVERIFY(form3.isVisible());
}

void TestMainWindow::closingEndsTheProgram_data()
{
    QTest::addColumn<bool>("byButton");
    QTest::newRow("&Fechar") << true;
    QTest::newRow("title bar") << false;
}

void TestMainWindow::closingEndsTheProgram()
{
    QFETCH(bool, byButton);
    Fixture f;
    TForm2 form2(f.dm);
    f.form.setRegistrationWindows(&form2, nullptr);
    f.form.show();
    f.child<QPushButton>("BitBtn1")->click(); // a registration window open beside it

    QTimer::singleShot(0, &f.form, [&] {
        if (byButton)
            f.child<QPushButton>("BitBtn3")->click();
        else
            f.form.close();
    });
    QTimer::singleShot(5000, &f.form, [] { QCoreApplication::exit(99); });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(f.dialogs.boxes.isEmpty()); // nothing asked
}

void TestMainWindow::exitAsksAboutPendingRecords_data()
{
    QTest::addColumn<bool>("inMedia");
    QTest::addColumn<bool>("inSoftware");
    QTest::addColumn<int>("answer"); // 0 save and exit, 1 exit without saving, 2 go back
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<bool>("mayAsk"); // false: a session ending with no room for questions
    QTest::addColumn<bool>("ends");
    QTest::addColumn<bool>("saved");

    QTest::newRow("nothing pending") << false << false << 2 << false << true << true << false;
    QTest::newRow("media, save") << true << false << 0 << false << true << true << true;
    QTest::newRow("software, save") << false << true << 0 << false << true << true << true;
    QTest::newRow("both, save") << true << true << 0 << false << true << true << true;
    QTest::newRow("software, drop") << false << true << 1 << false << true << true << false;
    QTest::newRow("media, go back") << true << false << 2 << false << true << false << false;
    QTest::newRow("both, go back") << true << true << 2 << false << true << false << false;
    QTest::newRow("software, save fails") << false << true << 0 << true << true << false << false;
    QTest::newRow("media, save fails") << true << false << 0 << true << true << false << false;
    QTest::newRow("session, no questions") << true << true << 2 << false << false << true << true;
}

// A change typed in a registration window and left there when the window was closed.
void TestMainWindow::exitAsksAboutPendingRecords()
{
    QFETCH(bool, inMedia);
    QFETCH(bool, inSoftware);
    QFETCH(int, answer);
    QFETCH(bool, saveFails);
    QFETCH(bool, mayAsk);
    QFETCH(bool, ends);
    QFETCH(bool, saved);

    Fixture f;
    TForm2 form2(f.dm);
    TForm3 form3(f.dm);
    f.form.setRegistrationWindows(&form2, &form3);
    f.form.show();
    const auto typeAndClose = [&](const char *opener, QWidget &window) {
        f.child<QPushButton>(opener)->click();
        auto *name = window.findChild<QLineEdit *>(QStringLiteral("DBEdit2"));
        QVERIFY(name);
        name->selectAll();
        QTest::keyClicks(name, QStringLiteral("Digitado"));
        window.close();
        QVERIFY(!window.isVisible());
    };
    if (inMedia)
        typeAndClose("BitBtn1", form2);
    if (inSoftware)
        typeAndClose("BitBtn2", form3);
    if (saveFails)
        f.catalogue.exec(QStringLiteral(
            "CREATE TRIGGER recusa_cds BEFORE UPDATE ON cds BEGIN SELECT RAISE(ABORT, "
            "'gravação recusada'); END; CREATE TRIGGER recusa_softs BEFORE UPDATE ON softs "
            "BEGIN SELECT RAISE(ABORT, 'gravação recusada'); END;"));
    f.dialogs.choiceAnswers << answer;

    const bool ended = mayAsk ? f.form.close() : f.form.settleBeforeExit(false);
    QCOMPARE(ended, ends);

    if ((!inMedia && !inSoftware) || !mayAsk) {
        QVERIFY(f.dialogs.choices.isEmpty());
    } else {
        QCOMPARE(f.dialogs.choices.size(), 1); // once, for every window
        const FakeDialogs::Choice &asked = f.dialogs.choices[0];
        QCOMPARE(asked.buttons,
                 (QStringList{u"&Salvar e sair"_s, u"Sair sem sal&var"_s, u"V&oltar"_s}));
        QCOMPARE(asked.defaultIndex, 2);
        QCOMPARE(asked.escapeIndex, 2);
        QCOMPARE(asked.text.contains(u"\"Cadastro de Mídias\""_s), inMedia);
        QCOMPARE(asked.text.contains(u"\"Softwares\""_s), inSoftware);
        QVERIFY(asked.text.contains(u"Deseja salvar antes de sair?"_s));
    }

    const auto savedIn = [&](const char *table, const char *column) {
        return f.catalogue.scalar(u"SELECT count(*) FROM %1 WHERE %2 = 'Digitado'"_s.arg(
                   QLatin1String(table), QLatin1String(column))) == u"1"_s;
    };
    QCOMPARE(savedIn("cds", "titulo"), saved && inMedia);
    QCOMPARE(savedIn("softs", "nome"), saved && inSoftware);

    if (saveFails) {
        QCOMPARE(f.dialogs.boxes.size(), 1);
        QCOMPARE(f.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
        // The triggers are not the program's own: the save is refused, naming them.
        QVERIFY2(f.dialogs.boxes[0].text.contains(u"recusa_"_s),
                 qPrintable(f.dialogs.boxes[0].text));
    } else {
        QVERIFY(f.dialogs.boxes.isEmpty());
    }
    // Going back or a failed save keeps the typing; dropping it leaves nothing to ask again.
    const bool stillPending = !ends;
    QCOMPARE(f.dm.ADOQuery1.state() == TDataSetState::Edit, stillPending && inMedia);
    QCOMPARE(f.dm.ADOQuery2.state() == TDataSetState::Edit, stillPending && inSoftware);
    if (ends) {
        f.dialogs.choices.clear();
        QVERIFY(f.form.settleBeforeExit());
        QVERIFY(f.dialogs.choices.isEmpty());
    }
}

QTEST_MAIN(TestMainWindow)
#include "tst_main_window.moc"
