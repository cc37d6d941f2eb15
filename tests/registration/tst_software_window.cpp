// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/db_edit.h"
#include "controls/db_lookup_combo_box.h"
#include "controls/db_navigator.h"
#include "controls/glyph_button.h"
#include "registration/media_window.h"
#include "registration/software_window.h"
#include "tests/registration/registration_world.h"

#include <QAccessible>
#include <QLabel>
#include <QListView>
#include <QSignalSpy>
#include <QToolButton>

using namespace Qt::StringLiterals;

namespace {

struct SoftwareWorld : RegistrationWorld
{
    using RegistrationWorld::RegistrationWorld;
    TForm3 form{dm};

    TDBEdit *name() { return control<TDBEdit>(form, "DBEdit2"); }
    TDBLookupComboBox *medium() { return control<TDBLookupComboBox>(form, "DBLookupComboBox1"); }
    TDBLookupComboBox *kind() { return control<TDBLookupComboBox>(form, "DBLookupComboBox2"); }
    TDBNavigator *navigator() { return control<TDBNavigator>(form, "DBNavigator1"); }
    void click(const char *button) { clickButton(form, button); }
    QString mediumOf(const QString &title) const
    {
        return catalogue.scalar(
            u"SELECT coalesce(midia, 'null') FROM softs WHERE nome = '%1'"_s.arg(title));
    }
    QString kindOf(const QString &title) const
    {
        return catalogue.scalar(u"SELECT nome_categoria FROM softs JOIN categorias ON "
                                "id_categoria = categoria WHERE nome = '%1'"_s.arg(title));
    }
};

} // namespace

class TestSoftwareWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(u"Quivel"_s); }
    void windowFrameFontsAndColours();
    void tabOrderSkipsCodeAndNavigator();
    void creationPlacesMediaOnFirstTitlesMedium();
    void choosingMediumAndSavingStoresItsCode();
    void missingMediumShowsNothing();
    void browsingTitlesMovesMediaWindow();
    void mediumSavedInMediaWindowIsListedAtOnce();
    void dropDownShowsSevenRows();
    void apagarAsksBeforeDeleting_data();
    void apagarAsksBeforeDeleting();
    void apagarOnEmptyTableShowsNoSuccess();
    void closedSoftwareDatasetDoesNothing();
    void kindIsShownAndHeard();
    void choosingKindAndSavingStoresIt_data();
    void choosingKindAndSavingStoresIt();
    void renamedKindIsListedAtOnce();
    void untouchedNewTitleIsDroppedDespiteItsKind();
};

void TestSoftwareWindow::windowFrameFontsAndColours()
{
    SoftwareWorld w;
    QCOMPARE(w.form.windowTitle(), u"Softwares"_s);
    QCOMPARE(w.form.size(), QSize(792, 566 + 83));
    QCOMPARE(w.form.minimumSize(), w.form.maximumSize());
    QVERIFY(!(w.form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w.form.font().pixelSize(), 11);
    for (const char *name : {"Label1", "Label2", "Label3", "Label4", "Label5"}) {
        const QLabel *label = control<QLabel>(w.form, name);
        QCOMPARE(label->font().pixelSize(), 16);
        QCOMPARE(label->font().family(), u"Comic Sans MS"_s);
    }
    QCOMPARE(control<QLabel>(w.form, "Label5")->pos(), QPoint(24, 253));
    QCOMPARE(control<QLabel>(w.form, "Label3")->pos(), QPoint(24, 336));
    QCOMPARE(control<QLabel>(w.form, "Label4")->pos(), QPoint(24, 336 + 83));
    QCOMPARE(w.name()->palette().color(QPalette::Text), QColor(Qt::blue));
    QCOMPARE(w.medium()->palette().color(QPalette::Text), QColor(Qt::blue));
    QCOMPARE(control<TDBEdit>(w.form, "DBEdit4")->palette().color(QPalette::Text), QColor(Qt::red));
    QCOMPARE(w.medium()->font().pixelSize(), 16);
    QCOMPARE(w.kind()->font().pixelSize(), 16);
    QCOMPARE(w.kind()->palette().color(QPalette::Text), QColor(Qt::blue));
    QCOMPARE(control<QLabel>(w.form, "Label3")->text(), u"Categoria"_s);
    QCOMPARE(w.name()->characterLimit(), 32);
    QCOMPARE(control<TDBEdit>(w.form, "DBEdit4")->characterLimit(), 255);
    QVERIFY(!control<TDBEdit>(w.form, "DBEdit1")->isEnabled());
    QCOMPARE(control<QLabel>(w.form, "Image1")->pixmap().size(), QSize(793, 97));
    QCOMPARE(w.navigator()->button(nbFirst)->width(), 45);
    QVERIFY(showActive(w.form));
    QCOMPARE(QApplication::focusWidget(), w.name());
}

void TestSoftwareWindow::tabOrderSkipsCodeAndNavigator()
{
    SoftwareWorld w;
    QVERIFY(showActive(w.form));
    w.name()->setFocus();
    QStringList visited;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, QStringList({u"DBEdit4"_s, u"BitBtn1"_s, u"DBLookupComboBox1"_s,
                                   u"DBLookupComboBox2"_s, u"BitBtn2"_s, u"BitBtn3"_s, u"BitBtn4"_s,
                                   u"DBEdit2"_s}));
}

void TestSoftwareWindow::creationPlacesMediaOnFirstTitlesMedium()
{
    SoftwareWorld w;
    QCOMPARE(w.medium()->text(), u"Beta"_s);
    QCOMPARE(w.dm.ADOQuery1codigo.asInteger(), 2);
    QCOMPARE(w.dm.ADOQuery2.state(), TDataSetState::Browse);
}

void TestSoftwareWindow::choosingMediumAndSavingStoresItsCode()
{
    SoftwareWorld w;
    QVERIFY(showActive(w.form));
    w.click("BitBtn2");
    QCOMPARE(w.medium()->text(), QString()); // a new title has no medium yet
    w.name()->setFocus();
    QTest::keyClicks(w.name(), u"Planilha"_s);
    w.medium()->setFocus();
    QTest::keyClicks(w.medium(), u"ch"_s); // type-to-select, ignoring case
    QCOMPARE(w.medium()->text(), u"Charlie"_s);
    QCOMPARE(w.dm.ADOQuery1codigo.asInteger(), 4);
    w.click("BitBtn3");
    QVERIFY(w.dialogs.boxes.isEmpty());
    QCOMPARE(w.mediumOf(u"Planilha"_s), u"4"_s);
    QCOMPARE(w.medium()->text(), u"Charlie"_s);
    QCOMPARE(w.count(u"softs"_s), u"4"_s);

    // Choosing through the open list edits a saved title the same way.
    QTest::keyClick(w.medium(), Qt::Key_Down, Qt::AltModifier);
    QVERIFY(w.medium()->listVisible());
    QTest::keyClick(w.medium()->listView(), Qt::Key_Home);
    QTest::keyClick(w.medium()->listView(), Qt::Key_Return);
    QCOMPARE(w.dm.ADOQuery2.state(), TDataSetState::Edit);
    w.click("BitBtn3");
    QCOMPARE(w.mediumOf(u"Planilha"_s), u"1"_s);
    QCOMPARE(w.medium()->text(), u"Alfa"_s);
}

void TestSoftwareWindow::missingMediumShowsNothing()
{
    SoftwareWorld w;
    w.dm.ADOQuery2.last(); // "Órfão", whose medium 99 does not exist
    QCOMPARE(w.name()->text(), u"Órfão"_s);
    QCOMPARE(w.medium()->text(), QString());
    QCOMPARE(w.dm.ADOQuery1codigo.asInteger(), 2); // the media dataset did not move
    w.catalogue.exec(u"INSERT INTO softs (nome) VALUES ('Sem mídia')"_s);
    w.navigator()->BtnClick(nbRefresh);
    w.navigator()->BtnClick(nbLast);
    QCOMPARE(w.name()->text(), u"Sem mídia"_s);
    QCOMPARE(w.medium()->text(), QString());
}

void TestSoftwareWindow::browsingTitlesMovesMediaWindow()
{
    SoftwareWorld w;
    TForm2 media(w.dm);
    media.show();
    auto *mediaName = control<TDBEdit>(media, "DBEdit2");
    QCOMPARE(mediaName->text(), u"Beta"_s);

    // A pending change in the media window is saved before the media dataset moves.
    w.dm.ADOQuery1.edit();
    w.dm.ADOQuery1local.setAsString(u"Gaveta"_s);
    w.navigator()->button(nbNext)->click();
    QCOMPARE(w.name()->text(), u"Jogo"_s);
    QCOMPARE(w.medium()->text(), u"Bravo"_s);
    QCOMPARE(mediaName->text(), u"Bravo"_s);
    QCOMPARE(w.catalogue.scalar(u"SELECT local FROM cds WHERE codigo = 2"_s), u"Gaveta"_s);
    w.navigator()->button(nbPrior)->click();
    QCOMPARE(mediaName->text(), u"Beta"_s);
    QVERIFY(w.dialogs.boxes.isEmpty());
}

void TestSoftwareWindow::mediumSavedInMediaWindowIsListedAtOnce()
{
    SoftwareWorld w;
    TForm2 media(w.dm);
    QVERIFY(showActive(media));
    control<TBitBtn>(media, "BitBtn2")->click();
    auto *mediaName = control<TDBEdit>(media, "DBEdit2");
    mediaName->setFocus();
    QTest::keyClicks(mediaName, u"Delta"_s);
    control<TBitBtn>(media, "BitBtn3")->click();
    QCOMPARE(w.medium()->listModel()->rowCount(), 5);

    QVERIFY(showActive(w.form));
    w.medium()->setFocus();
    QTest::keyClicks(w.medium(), u"d"_s);
    QCOMPARE(w.medium()->text(), u"Delta"_s);
    QCOMPARE(w.dm.ADOQuery2midia.asString(),
             w.catalogue.scalar(u"SELECT codigo FROM cds WHERE titulo = 'Delta'"_s));
}

void TestSoftwareWindow::dropDownShowsSevenRows()
{
    SoftwareWorld w(u"INSERT INTO cds (titulo) WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL "
                    "SELECT i + 1 FROM n WHERE i < 12) SELECT 'Mídia ' || i FROM n;"_s);
    QVERIFY(showActive(w.form));
    w.medium()->dropDown();
    const QListView *view = w.medium()->listView();
    const int row = view->sizeHintForRow(0);
    QVERIFY(view->viewport()->height() >= 7 * row);
    QVERIFY(view->viewport()->height() < 8 * row);
    QCOMPARE(view->model()->rowCount(), 12);
    w.medium()->closeUp();
}

void TestSoftwareWindow::apagarAsksBeforeDeleting_data()
{
    QTest::addColumn<bool>("newTitle");
    QTest::addColumn<Dialogs::Button>("answer");
    QTest::addColumn<QString>("titlesLeft");
    QTest::addColumn<bool>("editorLeft");
    QTest::addColumn<QStringList>("messages");
    const QStringList done{u"Software apagado com sucesso!"_s};
    QTest::newRow("saved, no") << false << Dialogs::No << u"3"_s << true << QStringList();
    QTest::newRow("saved, yes") << false << Dialogs::Yes << u"2"_s << false << done;
    QTest::newRow("new, yes") << true << Dialogs::Yes << u"3"_s << true << done;
}

void TestSoftwareWindow::apagarAsksBeforeDeleting()
{
    QFETCH(bool, newTitle);
    QFETCH(Dialogs::Button, answer);
    QFETCH(QString, titlesLeft);
    QFETCH(bool, editorLeft);
    QFETCH(QStringList, messages);
    SoftwareWorld w;
    if (newTitle)
        w.click("BitBtn2");
    w.dialogs.answers = {answer};
    w.click("BitBtn4");
    QCOMPARE(w.dialogs.boxes.size(), 1);
    checkDeleteQuestion(w.dialogs.boxes[0]);
    QCOMPARE(w.dialogs.messages, messages);
    QCOMPARE(w.count(u"softs"_s), titlesLeft);
    QCOMPARE(w.mediumOf(u"Editor"_s), editorLeft ? u"2"_s : QString());
    QCOMPARE(w.count(u"cds"_s), u"4"_s);
    QCOMPARE(w.dm.ADOQuery2.state(), TDataSetState::Browse);
}

void TestSoftwareWindow::apagarOnEmptyTableShowsNoSuccess()
{
    SoftwareWorld w(u""_s);
    w.dialogs.answers = {Dialogs::Yes};
    w.click("BitBtn4");
    QCOMPARE(w.dialogs.boxes.size(), 2);
    QCOMPARE(w.dialogs.boxes[1].text,
             u"ADOQuery2: Cannot perform this operation on an empty dataset."_s);
    QCOMPARE(w.dialogs.boxes[1].icon, Dialogs::Icon::Critical);
    QVERIFY(w.dialogs.messages.isEmpty());
}

void TestSoftwareWindow::closedSoftwareDatasetDoesNothing()
{
    SoftwareWorld w;
    w.dm.ADOQuery2.close();
    QCOMPARE(w.name()->text(), QString());
    QCOMPARE(w.medium()->text(), QString());
    QVERIFY(!w.navigator()->button(nbNext)->isEnabled());
    QVERIFY(!w.navigator()->button(nbRefresh)->isEnabled());
    w.click("BitBtn2");
    w.click("BitBtn3");
    w.dialogs.answers = {Dialogs::Yes};
    w.click("BitBtn4");
    QCOMPARE(w.dialogs.boxes.size(), 1); // the question only
    QVERIFY(w.dialogs.messages.isEmpty());
    QCOMPARE(w.count(u"softs"_s), u"3"_s);
    QVERIFY(!w.dm.ADOQuery2.active());
}

void TestSoftwareWindow::kindIsShownAndHeard()
{
    SoftwareWorld w;
    QCOMPARE(w.kind()->text(), u"Software"_s); // titles made before kinds existed
    QCOMPARE(w.kind()->listModel()->rowCount(), 6);
    QCOMPARE(w.kind()->dropDownRows(), 7);
    QAccessibleInterface *heard = QAccessible::queryAccessibleInterface(w.kind());
    QCOMPARE(heard->role(), QAccessible::ComboBox);
    QCOMPARE(heard->text(QAccessible::Name), u"Categoria"_s);
    QCOMPARE(heard->text(QAccessible::Value), u"Software"_s);
    w.catalogue.exec(u"UPDATE softs SET categoria = 4 WHERE nome = 'Jogo'"_s);
    w.navigator()->BtnClick(nbRefresh);
    w.navigator()->BtnClick(nbNext);
    QCOMPARE(w.name()->text(), u"Jogo"_s);
    QCOMPARE(heard->text(QAccessible::Value), u"Música"_s);
}

void TestSoftwareWindow::choosingKindAndSavingStoresIt_data()
{
    QTest::addColumn<bool>("newTitle");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("kind");
    QTest::newRow("new title, typed") << true << u"fi"_s << u"Filme"_s;
    QTest::newRow("saved title, typed") << false << u"do"_s << u"Documento"_s;
    QTest::newRow("new title, none chosen") << true << QString() << u"Software"_s;
}

void TestSoftwareWindow::choosingKindAndSavingStoresIt()
{
    QFETCH(bool, newTitle);
    QFETCH(QString, typed);
    QFETCH(QString, kind);
    SoftwareWorld w;
    QVERIFY(showActive(w.form));
    QString title = u"Editor"_s;
    if (newTitle) {
        w.click("BitBtn2");
        QCOMPARE(w.kind()->text(), u"Software"_s); // until another is chosen
        title = u"Corrida"_s;
        w.name()->setFocus();
        QTest::keyClicks(w.name(), title);
    }
    if (!typed.isEmpty()) {
        // Tab from the medium reaches the kind, where typing chooses.
        w.medium()->setFocus();
        QTest::keyClick(w.medium(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.kind());
        QTest::keyClicks(w.kind(), typed);
        QCOMPARE(w.kind()->text(), kind);
        QCOMPARE(w.dm.ADOQuery2.state(), newTitle ? TDataSetState::Insert : TDataSetState::Edit);
    }
    w.click("BitBtn3");
    QVERIFY(w.dialogs.boxes.isEmpty());
    QCOMPARE(w.kindOf(title), kind);
    QCOMPARE(w.kind()->text(), kind);
    // Read back as another start of the program would.
    TDm1 again{[](const QString &) {}};
    QVERIFY(again.ADOQuery2.locate(u"nome"_s, title));
    QCOMPARE(again.ADOQuery2categoria.asInteger(), w.catalogue
                                                       .scalar(u"SELECT id_categoria FROM "
                                                               "categorias WHERE nome_categoria "
                                                               "= '%1'"_s.arg(kind))
                                                       .toLongLong());
}

void TestSoftwareWindow::renamedKindIsListedAtOnce()
{
    SoftwareWorld w;
    w.dm.ADOQuery7.locate(u"id_categoria"_s, 1);
    w.dm.ADOQuery7.edit();
    w.dm.ADOQuery7nome_categoria.setAsString(u"Programas"_s);
    w.dm.ADOQuery7.post();
    QCOMPARE(w.kind()->text(), u"Programas"_s);
}

// The kind a new title starts with is no change of the user's.
void TestSoftwareWindow::untouchedNewTitleIsDroppedDespiteItsKind()
{
    SoftwareWorld w;
    w.click("BitBtn2");
    QCOMPARE(w.kind()->text(), u"Software"_s);
    QVERIFY(!w.dm.ADOQuery2.modified());
    w.navigator()->BtnClick(nbFirst);
    QCOMPARE(w.dm.ADOQuery2.state(), TDataSetState::Browse);
    QCOMPARE(w.count(u"softs"_s), u"3"_s);
    QCOMPARE(w.name()->text(), u"Editor"_s);
}

QTEST_MAIN(TestSoftwareWindow)
#include "tst_software_window.moc"
