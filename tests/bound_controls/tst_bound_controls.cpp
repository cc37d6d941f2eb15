// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/db_combo_box.h"
#include "controls/db_edit.h"
#include "controls/db_lookup_combo_box.h"
#include "controls/db_navigator.h"
#include "core/exceptions.h"
#include "data/data_module.h"
#include "shell/error_handler.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QAbstractItemModelTester>
#include <QApplication>
#include <QClipboard>
#include <QListView>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

// A catalogue with four media and two titles, the data module over it, and a window to hold
// the controls under test.
struct World
{
    explicit World(const QString &seed = u"INSERT INTO cds (titulo, tipo, local, obs) VALUES "
                                         "('Alfa', 'CD', 'Sala', 'a'), ('Beta', 'DVD', 'Quarto', "
                                         "'b'), ('Bravo', 'CD', 'Cofre', NULL), ('Charlie', "
                                         "'HD EXTERNO', 'Mochila', 'c');"
                                         "INSERT INTO softs (nome, descricao, midia) VALUES "
                                         "('Editor', 'texto', 2), ('Jogo', 'diversão', 3);"_s)
        : seeded((catalogue.exec(seed), true))
    {
        window.resize(400, 300);
    }

    TempCatalogue catalogue;
    bool seeded;
    CurrentDirectory here{catalogue.directory()};
    TDm1 dm{[this](const QString &line) { startupMessages << line; }};
    QStringList startupMessages;
    QWidget window;
};

// Typing text that QTest's key tables do not know, as an input method delivers it.
void typeText(QWidget *widget, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &press);
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_unknown, Qt::NoModifier, text);
    QApplication::sendEvent(widget, &release);
}

TDataSetState stateOf(const TADOQuery &q)
{
    return q.state();
}

} // namespace

class TestBoundControls : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void editFollowsRecordsWithoutEditing();
    void userChangesEditTheRecord_data();
    void userChangesEditTheRecord();
    void typingIntoEmptyTableStartsNewRecord();
    void editAcceptsAtMostFieldSize_data();
    void editAcceptsAtMostFieldSize();
    void editCountsCharactersAsTheCatalogueDoes();
    void aLongerStoredValueIsShownWholeAndNeverLengthened();
    void escRestoresFieldValue();
    void typedTextIsWrittenOnlyWhenChanged();
    void valueThatCannotBeWrittenStopsTheSave_data();
    void valueThatCannotBeWrittenStopsTheSave();
    void closedDatasetEmptiesAndDisablesBoxes();
    void comboChoosingEditsAndSaves();
    void navigatorEnablesFromDataset_data();
    void navigatorEnablesFromDataset();
    void navigatorActionsOnClosedDatasetDoNothing();
    void navigatorActionsRun_data();
    void navigatorActionsRun();
    void navigatorButtonFailureReachesGeneralHandler();
    void navigatorPicturesDifferWhenDisabled();
    void lookupModelIsTheDatasetInPlace();
    void lookupKeyValueLocatesListRecord();
    void lookupTypeToSelect();
    void lookupTypedLettersRestartAfterPause();
    void lookupPopupChoosesAndEscCancels();
};

void TestBoundControls::editFollowsRecordsWithoutEditing()
{
    World w;
    TDBEdit edit(&w.window);
    edit.setDataSource(&w.dm.DataSource1);
    edit.setDataField(u"titulo"_s);
    QSignalSpy typed(&edit, &QLineEdit::textEdited);
    QSignalSpy states(&w.dm.DataSource1, &TDataSource::stateChanged);

    QCOMPARE(edit.text(), u"Alfa"_s);
    w.dm.ADOQuery1.next();
    QCOMPARE(edit.text(), u"Beta"_s);
    w.dm.ADOQuery1.last();
    QCOMPARE(edit.text(), u"Charlie"_s);
    w.dm.ADOQuery1.refresh();
    w.dm.ADOQuery1.first();
    QCOMPARE(edit.text(), u"Alfa"_s);

    QCOMPARE(typed.count(), 0);
    QCOMPARE(states.count(), 0);
    QCOMPARE(stateOf(w.dm.ADOQuery1), TDataSetState::Browse);
    QVERIFY(!edit.userModified());
}

void TestBoundControls::userChangesEditTheRecord_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<QString>("shown");
    QTest::newRow("letter") << u"letter"_s << u"Alfax"_s;
    QTest::newRow("backspace") << u"backspace"_s << u"Alf"_s;
    QTest::newRow("delete") << u"delete"_s << u"lfa"_s;
    QTest::newRow("paste key") << u"paste"_s << u"AlfaZ"_s;
    QTest::newRow("cut key") << u"cut"_s << QString();
    QTest::newRow("context paste") << u"menu paste"_s << u"AlfaZ"_s;
}

void TestBoundControls::userChangesEditTheRecord()
{
    QFETCH(QString, action);
    QFETCH(QString, shown);
    World w;
    TDBEdit edit(&w.window);
    edit.setDataSource(&w.dm.DataSource1);
    edit.setDataField(u"titulo"_s);
    w.window.show();
    edit.setFocus();
    edit.end(false);
    QGuiApplication::clipboard()->setText(u"Z"_s);

    if (action == u"letter")
        QTest::keyClick(&edit, Qt::Key_X);
    else if (action == u"backspace")
        QTest::keyClick(&edit, Qt::Key_Backspace);
    else if (action == u"delete")
        edit.home(false), QTest::keyClick(&edit, Qt::Key_Delete);
    else if (action == u"paste")
        QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    else if (action == u"cut")
        edit.selectAll(), QTest::keyClick(&edit, Qt::Key_X, Qt::ControlModifier);
    else
        edit.paste(); // what the context menu does, without a key

    QCOMPARE(edit.text(), shown);
    QCOMPARE(stateOf(w.dm.ADOQuery1), TDataSetState::Edit);
    QVERIFY(edit.userModified());
    QCOMPARE(w.dm.ADOQuery1titulo.asString(), u"Alfa"_s); // not written yet
    w.dm.ADOQuery1.post();
    QCOMPARE(w.catalogue.scalar(u"SELECT coalesce(titulo, '') FROM cds WHERE codigo = 1"_s), shown);
}

void TestBoundControls::typingIntoEmptyTableStartsNewRecord()
{
    World w(u"DELETE FROM softs;"_s);
    TDBEdit edit(&w.window);
    edit.setDataSource(&w.dm.DataSource1);
    edit.setDataField(u"titulo"_s);
    w.window.show();
    edit.setFocus();
    QTest::keyClicks(&edit, u"Novo"_s);
    QCOMPARE(stateOf(w.dm.ADOQuery1), TDataSetState::Insert);
    QCOMPARE(edit.text(), u"Novo"_s); // the new record's refresh did not wipe the first letter
    w.dm.ADOQuery1.post();
    QCOMPARE(w.catalogue.scalar(u"SELECT titulo FROM cds"_s), u"Novo"_s);
}

void TestBoundControls::editAcceptsAtMostFieldSize_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<int>("limit");
    QTest::newRow("titulo") << u"titulo"_s << 32;
    QTest::newRow("local") << u"local"_s << 50;
    QTest::newRow("obs") << u"obs"_s << 255;
}

void TestBoundControls::editAcceptsAtMostFieldSize()
{
    QFETCH(QString, field);
    QFETCH(int, limit);
    World w;
    TDBEdit edit(&w.window);
    edit.setDataSource(&w.dm.DataSource1);
    edit.setDataField(field);
    w.window.show();
    edit.setFocus();
    edit.selectAll();
    QTest::keyClicks(&edit, QString(limit + 1, u'x'));
    QCOMPARE(edit.text().size(), limit);
    edit.selectAll();
    QGuiApplication::clipboard()->setText(QString(limit + 10, u'y'));
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(edit.text().size(), limit);
    w.dm.ADOQuery1.post();
    QCOMPARE(w.catalogue.scalar(u"SELECT length(%1) FROM cds WHERE codigo = 1"_s.arg(field)),
             QString::number(limit));
}

// "X" and twenty emoji are 21 characters, 41 UTF-16 units: shown whole, changed in one letter
// and saved whole, and filled up to the limit in characters, never half of one.
void TestBoundControls::editCountsCharactersAsTheCatalogueDoes()
{
    World w;
    QString emoji;
    for (int i = 0; i < 20; ++i)
        emoji += u"😀"_s;
    w.catalogue.exec(u"UPDATE cds SET titulo = 'X%1' WHERE codigo = 1"_s.arg(emoji));
    w.dm.ADOQuery1.refresh();
    TDBEdit edit(&w.window);
    edit.setDataSource(&w.dm.DataSource1);
    edit.setDataField(u"titulo"_s);
    w.window.show();
    QCOMPARE(edit.text(), u"X"_s + emoji);

    edit.setFocus();
    edit.home(false);
    QTest::keyClick(&edit, Qt::Key_Delete);
    QTest::keyClicks(&edit, u"Y"_s);
    w.dm.ADOQuery1.post();
    QCOMPARE(w.catalogue.scalar(u"SELECT titulo FROM cds WHERE codigo = 1"_s), u"Y"_s + emoji);

    // Eleven more emoji would make 32 characters; a twelfth does not fit, nor any half of it.
    edit.end(false);
    for (int i = 0; i < 12; ++i)
        typeText(&edit, u"😀"_s);
    QCOMPARE(characterCount(edit.text()), 32);
    QVERIFY(!edit.text().back().isHighSurrogate());
    QGuiApplication::clipboard()->setText(u"ab😀cd"_s);
    QTest::keyClick(&edit, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(characterCount(edit.text()), 32);
    w.dm.ADOQuery1.post();
    QCOMPARE(w.catalogue.scalar(u"SELECT length(titulo) FROM cds WHERE codigo = 1"_s), u"32"_s);
}

// Another program stored 40 characters where the field holds 32: the box shows them all,
// leaves them alone unless the user changes them, and lets the user shorten them.
void TestBoundControls::aLongerStoredValueIsShownWholeAndNeverLengthened()
{
    World w;
    const QString stored = QString(40, u'é');
    w.catalogue.exec(u"PRAGMA ignore_check_constraints = ON; UPDATE cds SET titulo = '%1' WHERE "
                     "codigo = 1"_s.arg(stored));
    w.dm.ADOQuery1.refresh();
    TDBEdit edit(&w.window);
    edit.setDataSource(&w.dm.DataSource1);
    edit.setDataField(u"titulo"_s);
    TDBEdit place(&w.window);
    place.setDataSource(&w.dm.DataSource1);
    place.setDataField(u"local"_s);
    w.window.show();
    QCOMPARE(edit.text(), stored);
    edit.setFocus();
    QTest::keyClicks(&edit, u"z"_s);
    QCOMPARE(edit.text(), stored);
    // Typing elsewhere and saving writes only what the user changed.
    place.setFocus();
    place.selectAll();
    typeText(&place, u"Porão"_s);
    w.dm.ADOQuery1.post();
    QCOMPARE(w.catalogue.scalar(u"SELECT titulo || '|' || local FROM cds WHERE codigo = 1"_s),
             stored + u"|Porão"_s);
    edit.setFocus();
    edit.end(false);
    QTest::keyClick(&edit, Qt::Key_Backspace);
    QCOMPARE(edit.text(), QString(39, u'é'));
}

void TestBoundControls::escRestoresFieldValue()
{
    World w;
    TDBEdit edit(&w.window);
    edit.setDataSource(&w.dm.DataSource1);
    edit.setDataField(u"local"_s);
    w.window.show();
    edit.setFocus();
    QTest::keyClicks(&edit, u"zzz"_s);
    QTest::keyClick(&edit, Qt::Key_Escape);
    QCOMPARE(edit.text(), u"Sala"_s);
    QVERIFY(!edit.userModified());
    QCOMPARE(stateOf(w.dm.ADOQuery1), TDataSetState::Edit);
}

// Two boxes on one record: only the one the user typed into writes its text before a save,
// so a value set by the program into the other field is kept.
void TestBoundControls::typedTextIsWrittenOnlyWhenChanged()
{
    World w;
    TDBEdit name(&w.window);
    name.setDataSource(&w.dm.DataSource1);
    name.setDataField(u"titulo"_s);
    TDBEdit place(&w.window);
    place.setDataSource(&w.dm.DataSource1);
    place.setDataField(u"local"_s);
    w.window.show();
    name.setFocus();
    QTest::keyClicks(&name, u"!"_s);
    w.dm.ADOQuery1local.setAsString(u"Gaveta"_s);
    QCOMPARE(place.text(), u"Gaveta"_s);
    w.dm.ADOQuery1.post();
    QCOMPARE(w.catalogue.scalar(u"SELECT titulo || '/' || local FROM cds WHERE codigo = 1"_s),
             u"Alfa!/Gaveta"_s);
}

void TestBoundControls::valueThatCannotBeWrittenStopsTheSave_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("saved"); // null: the save is refused
    QTest::newRow("integer, letters") << u"edit"_s << u"midia"_s << u"abc"_s << QString();
    QTest::newRow("integer, decimal") << u"edit"_s << u"midia"_s << u"1.5"_s << QString();
    QTest::newRow("integer, digits then letter") << u"edit"_s << u"midia"_s << u"4x"_s << QString();
    QTest::newRow("integer, number") << u"edit"_s << u"midia"_s << u" 4 "_s << u"4"_s;
    QTest::newRow("integer, emptied") << u"edit"_s << u"midia"_s << QString() << u"null"_s;
    QTest::newRow("text, letters") << u"edit"_s << u"nome"_s << u"abc"_s << u"abc"_s;
    QTest::newRow("text, digits") << u"edit"_s << u"nome"_s << u"12"_s << u"12"_s;
    QTest::newRow("combo, integer, letters") << u"combo"_s << u"midia"_s << u"abc"_s << QString();
    QTest::newRow("combo, integer, number") << u"combo"_s << u"midia"_s << u"3"_s << u"3"_s;
}

// What the user typed reaches the record when the dataset saves; a value the field cannot
// take stops the save with its error, and the record stays in editing with the text typed.
void TestBoundControls::valueThatCannotBeWrittenStopsTheSave()
{
    QFETCH(QString, control);
    QFETCH(QString, field);
    QFETCH(QString, typed);
    QFETCH(QString, saved);
    World w;
    FakeDialogs dialogs;
    std::unique_ptr<QWidget> box;
    std::function<QString()> shown;
    if (control == u"edit") {
        auto *edit = new TDBEdit(&w.window);
        edit->setDataSource(&w.dm.DataSource2);
        edit->setDataField(field);
        shown = [edit] { return edit->text(); };
        box.reset(edit);
    } else {
        auto *combo = new TDBComboBox(&w.window);
        combo->setDataSource(&w.dm.DataSource2);
        combo->setDataField(field);
        shown = [combo] { return combo->currentText(); };
        box.reset(combo);
    }
    QWidget *typeInto =
        control == u"edit" ? box.get() : static_cast<QComboBox *>(box.get())->lineEdit();
    w.window.show();
    box->setFocus();
    QTest::keyClick(typeInto, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(typeInto, Qt::Key_Backspace);
    QTest::keyClicks(typeInto, typed);
    QCOMPARE(stateOf(w.dm.ADOQuery2), TDataSetState::Edit);

    const QString query = u"SELECT ifnull(%1, 'null') FROM softs WHERE numero = 1"_s.arg(field);
    const QString before = w.catalogue.scalar(query);
    guarded([&] { w.dm.ADOQuery2.post(); })();

    if (!saved.isNull()) {
        QVERIFY(dialogs.boxes.isEmpty());
        QCOMPARE(stateOf(w.dm.ADOQuery2), TDataSetState::Browse);
        QCOMPARE(w.catalogue.scalar(query), saved);
        return;
    }
    QCOMPARE(dialogs.boxes.size(), 1);
    QVERIFY2(dialogs.boxes[0].text.contains(u"'%1'"_s.arg(typed)) &&
                 dialogs.boxes[0].text.contains(field),
             qPrintable(dialogs.boxes[0].text));
    QCOMPARE(stateOf(w.dm.ADOQuery2), TDataSetState::Edit);
    QCOMPARE(w.catalogue.scalar(query), before);
    QCOMPARE(shown(), typed);
    // The text stays pending: moving away refuses too, and saves nothing.
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, w.dm.ADOQuery2.next());
    QCOMPARE(stateOf(w.dm.ADOQuery2), TDataSetState::Edit);
    QCOMPARE(w.dm.ADOQuery2.recNo(), 0);
    QCOMPARE(w.catalogue.scalar(query), before);
}

void TestBoundControls::closedDatasetEmptiesAndDisablesBoxes()
{
    World w;
    TDBEdit edit(&w.window);
    edit.setDataSource(&w.dm.DataSource1);
    edit.setDataField(u"titulo"_s);
    TDBEdit code(&w.window);
    code.setEnabled(false);
    code.setDataSource(&w.dm.DataSource1);
    code.setDataField(u"codigo"_s);
    TDBComboBox type(&w.window);
    type.setDataSource(&w.dm.DataSource1);
    type.setDataField(u"tipo"_s);

    w.dm.ADOQuery1.close();
    QCOMPARE(edit.text(), QString());
    QCOMPARE(code.text(), QString());
    QCOMPARE(type.currentText(), QString());
    QVERIFY(!edit.isEnabled());
    QVERIFY(!type.isEnabled());

    w.dm.ADOQuery1.open();
    QCOMPARE(edit.text(), u"Alfa"_s);
    QCOMPARE(code.text(), u"1"_s);
    QCOMPARE(type.currentText(), u"CD"_s);
    QVERIFY(edit.isEnabled());
    QVERIFY(type.isEnabled());
    QVERIFY(!code.isEnabled()); // its window's choice survives
}

void TestBoundControls::comboChoosingEditsAndSaves()
{
    World w;
    TDBComboBox type(&w.window);
    type.addItems({u"CD"_s, u"DVD"_s, u"BLURAY"_s});
    type.setDataSource(&w.dm.DataSource1);
    type.setDataField(u"tipo"_s);
    QCOMPARE(type.currentText(), u"CD"_s);
    w.dm.ADOQuery1.next();
    QCOMPARE(type.currentText(), u"DVD"_s);
    QCOMPARE(stateOf(w.dm.ADOQuery1), TDataSetState::Browse);

    w.window.show();
    type.setFocus();
    QTest::keyClick(&type, Qt::Key_Down); // chooses the next item of the list
    QCOMPARE(type.currentText(), u"BLURAY"_s);
    QCOMPARE(stateOf(w.dm.ADOQuery1), TDataSetState::Edit);
    QTest::keyClick(&type, Qt::Key_Escape);
    QCOMPARE(type.currentText(), u"DVD"_s);

    type.lineEdit()->selectAll();
    QTest::keyClicks(&type, u"FITA MAGNÉTICA"_s); // free text, no limit of the box's own
    QCOMPARE(type.currentText(), u"FITA MAGNÉTICA"_s);
    w.dm.ADOQuery1.post();
    QCOMPARE(w.catalogue.scalar(u"SELECT tipo FROM cds WHERE codigo = 2"_s), u"FITA MAGNÉTICA"_s);
}

void TestBoundControls::navigatorEnablesFromDataset_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("enabled"); // first, prior, next, last, refresh as 0/1
    QTest::newRow("opened on first") << u"open"_s << u"00111"_s;
    QTest::newRow("middle") << u"next"_s << u"11111"_s;
    QTest::newRow("last") << u"last"_s << u"11001"_s;
    QTest::newRow("first again") << u"first"_s << u"00111"_s;
    QTest::newRow("empty table") << u"empty"_s << u"00001"_s;
    QTest::newRow("closed") << u"closed"_s << u"00000"_s;
}

void TestBoundControls::navigatorEnablesFromDataset()
{
    QFETCH(QString, setup);
    QFETCH(QString, enabled);
    World w;
    TDBNavigator nav(&w.window);
    nav.setGeometry(0, 0, 225, 25);
    nav.setVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbRefresh});
    nav.setDataSource(&w.dm.DataSource1);
    TADOQuery &q = w.dm.ADOQuery1;
    if (setup == u"next")
        q.next();
    else if (setup == u"last")
        q.last();
    else if (setup == u"first")
        q.last(), q.first();
    else if (setup == u"empty")
        w.catalogue.exec(u"DELETE FROM cds"_s), q.close(), q.open();
    else if (setup == u"closed")
        q.close();

    QString actual;
    for (TNavigateBtn b : {nbFirst, nbPrior, nbNext, nbLast, nbRefresh})
        actual += nav.button(b)->isEnabled() ? u'1' : u'0';
    QCOMPARE(actual, enabled);
    QCOMPARE(nav.button(nbInsert), nullptr);
    QCOMPARE(nav.button(nbFirst)->width(), 45);
    QCOMPARE(nav.button(nbRefresh)->geometry().right(), 224);
    QCOMPARE(nav.focusPolicy(), Qt::NoFocus);
    QCOMPARE(nav.button(nbNext)->focusPolicy(), Qt::NoFocus);
}

void TestBoundControls::navigatorActionsOnClosedDatasetDoNothing()
{
    World w;
    TDBNavigator nav;
    nav.setDataSource(&w.dm.DataSource1);
    w.dm.ADOQuery1.close();
    for (int b = nbFirst; b <= nbRefresh; ++b)
        QVERIFY(!nav.BtnClick(TNavigateBtn(b))); // and nothing thrown
    QVERIFY(!w.dm.ADOQuery1.active());
    QCOMPARE(w.catalogue.scalar(u"SELECT count(*) FROM cds"_s), u"4"_s);
}

void TestBoundControls::navigatorActionsRun_data()
{
    QTest::addColumn<QList<int>>("actions");
    QTest::addColumn<int>("recNo");
    QTest::addColumn<TDataSetState>("state");
    QTest::addColumn<QString>("mediaLeft");
    QTest::newRow("next next prior")
        << QList<int>{nbNext, nbNext, nbPrior} << 1 << TDataSetState::Browse << u"4"_s;
    QTest::newRow("last first") << QList<int>{nbLast, nbFirst} << 0 << TDataSetState::Browse
                                << u"4"_s;
    QTest::newRow("insert") << QList<int>{nbInsert} << 0 << TDataSetState::Insert << u"4"_s;
    QTest::newRow("insert cancel")
        << QList<int>{nbInsert, nbCancel} << 0 << TDataSetState::Browse << u"4"_s;
    QTest::newRow("insert post") << QList<int>{nbInsert, nbPost} << 0 << TDataSetState::Browse
                                 << u"5"_s;
    QTest::newRow("edit") << QList<int>{nbEdit} << 0 << TDataSetState::Edit << u"4"_s;
    QTest::newRow("delete") << QList<int>{nbLast, nbDelete} << 2 << TDataSetState::Browse << u"3"_s;
    QTest::newRow("refresh") << QList<int>{nbNext, nbRefresh} << 1 << TDataSetState::Browse
                             << u"4"_s;
}

void TestBoundControls::navigatorActionsRun()
{
    QFETCH(QList<int>, actions);
    QFETCH(int, recNo);
    QFETCH(TDataSetState, state);
    QFETCH(QString, mediaLeft);
    World w;
    TDBNavigator nav;
    nav.setDataSource(&w.dm.DataSource1);
    for (int a : actions)
        QVERIFY(nav.BtnClick(TNavigateBtn(a)));
    QCOMPARE(w.dm.ADOQuery1.recNo(), recNo);
    QCOMPARE(w.dm.ADOQuery1.state(), state);
    QCOMPARE(w.catalogue.scalar(u"SELECT count(*) FROM cds"_s), mediaLeft);
}

void TestBoundControls::navigatorButtonFailureReachesGeneralHandler()
{
    World w;
    FakeDialogs dialogs;
    TDBNavigator nav;
    nav.resize(225, 25);
    nav.setVisibleButtons({nbFirst, nbPrior, nbNext, nbLast, nbRefresh});
    nav.setDataSource(&w.dm.DataSource1);
    // A type too long for its column: the implicit save of the move fails.
    w.dm.ADOQuery1.edit();
    w.dm.ADOQuery1tipo.setAsString(QString(17, u'T'));
    QVERIFY_THROWS_EXCEPTION(Exception, nav.BtnClick(nbNext));
    nav.button(nbNext)->click();
    QCOMPARE(dialogs.boxes.size(), 1);
    QVERIFY2(dialogs.boxes[0].text.contains(u"16"_s), qPrintable(dialogs.boxes[0].text));
    QCOMPARE(w.dm.ADOQuery1.state(), TDataSetState::Edit);
    QCOMPARE(w.dm.ADOQuery1.recNo(), 0);
}

void TestBoundControls::navigatorPicturesDifferWhenDisabled()
{
    for (int b = nbFirst; b <= nbRefresh; ++b) {
        const QImage on = navigatorPicture(TNavigateBtn(b), true).toImage();
        const QImage off = navigatorPicture(TNavigateBtn(b), false).toImage();
        QVERIFY(on != off);
        QCOMPARE(on.size(), QSize(16, 16));
        // Something is drawn, and the pictures of different actions differ.
        QVERIFY(on != navigatorPicture(TNavigateBtn((b + 1) % navigateBtnCount), true).toImage());
    }
}

void TestBoundControls::lookupModelIsTheDatasetInPlace()
{
    World w;
    TDBLookupComboBox box;
    box.setListSource(&w.dm.DataSource1);
    box.setKeyField(u"codigo"_s);
    box.setListField(u"titulo"_s);
    QAbstractItemModelTester tester(box.listModel(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QCOMPARE(box.listModel()->rowCount(), 4);
    QCOMPARE(box.listModel()->index(3).data().toString(), u"Charlie"_s);

    // A record saved or renamed through the dataset is in the list at once.
    w.dm.ADOQuery1.insert();
    w.dm.ADOQuery1titulo.setAsString(u"Delta"_s);
    w.dm.ADOQuery1.post();
    QCOMPARE(box.listModel()->rowCount(), 5);
    QCOMPARE(box.listModel()->index(w.dm.ADOQuery1.recNo()).data().toString(), u"Delta"_s);
    w.dm.ADOQuery1.remove();
    QCOMPARE(box.listModel()->rowCount(), 4);
    w.dm.ADOQuery1.close();
    QCOMPARE(box.listModel()->rowCount(), 0);
}

void TestBoundControls::lookupKeyValueLocatesListRecord()
{
    World w;
    TDBLookupComboBox box;
    box.setListSource(&w.dm.DataSource1);
    box.setKeyField(u"codigo"_s);
    box.setListField(u"titulo"_s);
    QSignalSpy choices(&box, &TDBLookupComboBox::choiceMade);

    box.setKeyValue(3);
    QCOMPARE(box.text(), u"Bravo"_s);
    QCOMPARE(w.dm.ADOQuery1.recNo(), 2);
    box.setKeyValue(99);
    QCOMPARE(box.text(), QString());
    QCOMPARE(w.dm.ADOQuery1.recNo(), 2);
    QCOMPARE(choices.count(), 0); // the program's setting is no choice

    // A pending unsaved change there is saved before the list moves.
    w.dm.ADOQuery1.edit();
    w.dm.ADOQuery1titulo.setAsString(u"Bravo 2"_s);
    box.setKeyValue(1);
    QCOMPARE(w.catalogue.scalar(u"SELECT titulo FROM cds WHERE codigo = 3"_s), u"Bravo 2"_s);
    QCOMPARE(w.dm.ADOQuery1.recNo(), 0);

    // One that cannot be saved keeps the list where it was; the box shows nothing.
    w.dm.ADOQuery1.edit();
    w.dm.ADOQuery1tipo.setAsString(QString(17, u'T'));
    box.setKeyValue(4);
    QCOMPARE(box.text(), QString());
    QCOMPARE(w.dm.ADOQuery1.recNo(), 0);
    QCOMPARE(w.dm.ADOQuery1.state(), TDataSetState::Edit);
}

void TestBoundControls::lookupTypeToSelect()
{
    World w;
    TDBLookupComboBox box(&w.window);
    box.setListSource(&w.dm.DataSource1);
    box.setKeyField(u"codigo"_s);
    box.setListField(u"titulo"_s);
    QSignalSpy choices(&box, &TDBLookupComboBox::choiceMade);
    w.window.show();
    box.setFocus();

    QTest::keyClick(&box, Qt::Key_B);
    QCOMPARE(box.text(), u"Beta"_s);
    QTest::keyClick(&box, Qt::Key_R); // "br"
    QCOMPARE(box.text(), u"Bravo"_s);
    QTest::keyClick(&box, Qt::Key_Z); // "brz" matches nothing: dropped
    QCOMPARE(box.text(), u"Bravo"_s);
    QTest::keyClick(&box, Qt::Key_A); // "bra" still matches
    QCOMPARE(box.text(), u"Bravo"_s);
    QTest::keyClick(&box, Qt::Key_Backspace); // starts afresh
    QTest::keyClick(&box, Qt::Key_C);
    QCOMPARE(box.text(), u"Charlie"_s);
    QTest::keyClick(&box, Qt::Key_Escape);
    QTest::keyClick(&box, Qt::Key_A);
    QCOMPARE(box.text(), u"Alfa"_s);
    QCOMPARE(choices.count(), 5); // the dropped letter chose nothing

    QTest::keyClick(&box, Qt::Key_Down);
    QCOMPARE(box.text(), u"Beta"_s);
    QTest::keyClick(&box, Qt::Key_Up);
    QTest::keyClick(&box, Qt::Key_Up); // stays on the first
    QCOMPARE(box.text(), u"Alfa"_s);
    QCOMPARE(choices.count(), 8);
    box.setKeyValue(42); // not in the list: either arrow chooses the first
    QTest::keyClick(&box, Qt::Key_Up);
    QCOMPARE(box.text(), u"Alfa"_s);
}

void TestBoundControls::lookupTypedLettersRestartAfterPause()
{
    World w;
    TDBLookupComboBox box(&w.window);
    box.setListSource(&w.dm.DataSource1);
    box.setKeyField(u"codigo"_s);
    box.setListField(u"titulo"_s);
    w.window.show();
    box.setFocus();
    QTest::keyClick(&box, Qt::Key_B);
    QTest::qWait(2100);
    QTest::keyClick(&box, Qt::Key_C); // "c", not "bc"
    QCOMPARE(box.text(), u"Charlie"_s);
}

void TestBoundControls::lookupPopupChoosesAndEscCancels()
{
    World w;
    TDBLookupComboBox box(&w.window);
    box.setGeometry(10, 10, 200, 24);
    box.setListSource(&w.dm.DataSource1);
    box.setKeyField(u"codigo"_s);
    box.setListField(u"titulo"_s);
    box.setKeyValue(2);
    QSignalSpy choices(&box, &TDBLookupComboBox::choiceMade);
    w.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.window));
    box.setFocus();
    // The list is made when first dropped down, then kept.
    QVERIFY(!box.findChild<QListView *>());
    QVERIFY(!box.listVisible());
    box.closeUp();

    QTest::keyClick(&box, Qt::Key_Down, Qt::AltModifier);
    QVERIFY(box.listVisible());
    QListView *view = box.listView();
    QCOMPARE(box.findChildren<QListView *>(), QList<QListView *>{view});
    QCOMPARE(view->currentIndex().row(), 1);
    QCOMPARE(view->width(), box.width());
    // Four records: four rows tall, no more.
    QVERIFY(view->viewport()->height() >= 4 * view->sizeHintForRow(0));
    QVERIFY(view->viewport()->height() < 5 * view->sizeHintForRow(0));

    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Escape);
    QVERIFY(!box.listVisible());
    QCOMPARE(box.text(), u"Beta"_s);
    QCOMPARE(choices.count(), 0);

    QTest::keyClick(&box, Qt::Key_Up, Qt::AltModifier);
    QVERIFY(box.listVisible());
    QTest::keyClick(view, Qt::Key_Down);
    QTest::keyClick(view, Qt::Key_Return);
    QVERIFY(!box.listVisible());
    QCOMPARE(box.text(), u"Bravo"_s);
    QCOMPARE(choices.count(), 1);

    box.dropDown();
    const QModelIndex shown = view->currentIndex();
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(shown).center());
    QVERIFY(!box.listVisible());
    QCOMPARE(choices.count(), 2); // choosing the entry already shown counts too

    // A click anywhere else closes the list and chooses nothing.
    box.dropDown();
    QVERIFY(box.listVisible());
    QTest::mouseClick(w.window.windowHandle(), Qt::LeftButton, {},
                      box.geometry().bottomRight() + QPoint(5, 60));
    QVERIFY(!box.listVisible());
    QCOMPARE(choices.count(), 2);
}

QTEST_MAIN(TestBoundControls)
#include "tst_bound_controls.moc"
