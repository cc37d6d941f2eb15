// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/db_combo_box.h"
#include "controls/db_edit.h"
#include "controls/db_navigator.h"
#include "controls/glyph_button.h"
#include "registration/media_window.h"
#include "shell/dialogs.h"
#include "tests/registration/registration_world.h"

#include <QLabel>
#include <QScreen>
#include <QSignalSpy>
#include <QTimer>
#include <QToolButton>

#include <sqlite3.h>

using namespace Qt::StringLiterals;

namespace {

struct MediaWorld : RegistrationWorld
{
    using RegistrationWorld::RegistrationWorld;
    TForm2 form{dm};

    TDBEdit *name() { return control<TDBEdit>(form, "DBEdit2"); }
    TDBEdit *code() { return control<TDBEdit>(form, "Codmidia"); }
    TDBComboBox *type() { return control<TDBComboBox>(form, "DBComboBox1"); }
    void click(const char *button) { clickButton(form, button); }
    void typeName(const QString &text) { typeAtEnd(name(), text); }
};

} // namespace

class TestMediaWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(u"Quivel"_s); }
    void windowFrameFontsAndBanner();
    void tabOrderEndsWithLocation();
    void savedMediaGetDistinctCodesAtOnce();
    void usedMediumIsRefusedWithoutQuestion();
    void unusedMediumAsksBeforeDeleting_data();
    void unusedMediumAsksBeforeDeleting();
    void mediumGivenATitleDuringTheQuestionIsKept();
    void aLockWaitShowsItselfAndKeepsTheWindowAlive();
    void apagarOnNewRecordShowsEngineError();
    void overlongTypeIsRefusedAndStaysPending();
};

void TestMediaWindow::windowFrameFontsAndBanner()
{
    MediaWorld w;
    QCOMPARE(w.form.windowTitle(), u"Cadastro de Mídias"_s);
    QCOMPARE(w.form.size(), QSize(792, 522));
    QCOMPARE(w.form.minimumSize(), w.form.maximumSize());
    QVERIFY(w.form.windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(w.form.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(w.form.font().pixelSize(), 11);
    QCOMPARE(control<QLabel>(w.form, "Txt2")->font().pixelSize(), 13);
    QVERIFY(control<QLabel>(w.form, "Txt2")->font().bold());
    QCOMPARE(w.name()->font().pixelSize(), 15);
    QCOMPARE(control<QLabel>(w.form, "Txt3")->pos(), QPoint(24, 307));
    QCOMPARE(control<QLabel>(w.form, "Txt2")->buddy(), w.name());
    QCOMPARE(w.type()->count(), 5);
    QCOMPARE(w.type()->itemText(4), u"HD EXTERNO"_s);
    QVERIFY(!w.code()->isEnabled());
    QCOMPARE(control<QLabel>(w.form, "Image1")->pixmap().size(), QSize(793, 97));
    QVERIFY(!control<TBitBtn>(w.form, "BitBtn2")->glyph().isNull());
    QVERIFY(control<TBitBtn>(w.form, "BitBtn1")->glyph().isNull());

    QVERIFY(showActive(w.form));
    QCOMPARE(QApplication::focusWidget(), w.name()); // the disabled code box is skipped
    const QPoint centre = w.form.screen()->availableGeometry().center();
    QVERIFY((w.form.frameGeometry().center() - centre).manhattanLength() <= 2);
}

void TestMediaWindow::tabOrderEndsWithLocation()
{
    MediaWorld w;
    QVERIFY(showActive(w.form));
    w.name()->setFocus();
    QStringList visited;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, QStringList({u"DBEdit3"_s, u"BitBtn1"_s, u"DBComboBox1"_s, u"BitBtn2"_s,
                                   u"BitBtn3"_s, u"BitBtn4"_s, u"DBEdit1"_s, u"DBEdit2"_s}));
}

void TestMediaWindow::savedMediaGetDistinctCodesAtOnce()
{
    MediaWorld w(u""_s);
    QVERIFY(showActive(w.form));
    QStringList codes;
    for (const QString &title : {u"Primeiro"_s, u"Segundo"_s, u"Terceiro"_s}) {
        w.click("BitBtn2");
        QCOMPARE(w.code()->text(), QString());
        w.typeName(title);
        w.click("BitBtn3");
        QVERIFY(!w.code()->text().isEmpty());
        codes << w.code()->text();
        QCOMPARE(w.name()->text(), title);
    }
    QCOMPARE(QSet<QString>(codes.begin(), codes.end()).size(), 3);
    QCOMPARE(w.count(u"cds"_s), u"3"_s);
    QVERIFY(w.dialogs.boxes.isEmpty());
}

void TestMediaWindow::usedMediumIsRefusedWithoutQuestion()
{
    MediaWorld w;
    w.dm.ADOQuery1.next(); // "Beta", held by "Editor"
    w.dialogs.answers = {Dialogs::Yes};
    w.click("BitBtn4");
    QCOMPARE(w.dialogs.boxes.size(), 1);
    const FakeDialogs::Box &box = w.dialogs.boxes[0];
    QCOMPARE(box.text, u"A mídia selecionada já é utilizada por algum software. Para apagar esta "
                       "mídia deve-se primeiro remover os softwares cadastrados para ela na tela "
                       "de softwares."_s);
    QCOMPARE(box.caption, u"Impossível apagar. Mídia já utilizada"_s);
    QCOMPARE(box.buttons, int(Dialogs::Ok));
    QCOMPARE(box.icon, Dialogs::Icon::Warning);
    QVERIFY(w.dialogs.messages.isEmpty());
    QCOMPARE(w.count(u"cds"_s), u"4"_s);
    QCOMPARE(w.dm.ADOQuery4.sql(),
             QStringList({u"SELECT nome from softs"_s, u"where midia =2;"_s}));
    QVERIFY(w.dm.ADOQuery4.active());
}

void TestMediaWindow::unusedMediumAsksBeforeDeleting_data()
{
    QTest::addColumn<Dialogs::Button>("answer");
    QTest::addColumn<QString>("mediaLeft");
    QTest::addColumn<QStringList>("messages");
    QTest::newRow("no") << Dialogs::No << u"4"_s << QStringList();
    QTest::newRow("yes") << Dialogs::Yes << u"3"_s << QStringList{u"Mídia apagada com sucesso!"_s};
}

void TestMediaWindow::unusedMediumAsksBeforeDeleting()
{
    QFETCH(Dialogs::Button, answer);
    QFETCH(QString, mediaLeft);
    QFETCH(QStringList, messages);
    MediaWorld w;
    // A title for this medium that was never saved does not count.
    w.dm.ADOQuery2.insert();
    w.dm.ADOQuery2midia.setValue(1);
    w.dialogs.answers = {answer};
    w.click("BitBtn4");
    QCOMPARE(w.dialogs.boxes.size(), 1);
    checkDeleteQuestion(w.dialogs.boxes[0]);
    QCOMPARE(w.count(u"cds"_s), mediaLeft);
    QCOMPARE(w.dialogs.messages, messages);
    QCOMPARE(w.catalogue.scalar(u"SELECT count(*) FROM cds WHERE codigo = 1"_s),
             answer == Dialogs::Yes ? u"0"_s : u"1"_s);
}

void TestMediaWindow::mediumGivenATitleDuringTheQuestionIsKept()
{
    MediaWorld w;
    w.dialogs.answers = {Dialogs::Yes};
    w.dialogs.whileShown = [&w](const FakeDialogs::Box &) {
        w.catalogue.exec(u"INSERT INTO softs (nome, midia) VALUES ('Chegou agora', 1)"_s);
    };
    w.click("BitBtn4");
    QCOMPARE(w.dialogs.boxes.size(), 2);
    QCOMPARE(w.dialogs.boxes[0].caption, u"Confirmação de exclusão de registro"_s);
    QCOMPARE(w.dialogs.boxes[1].caption, u"Impossível apagar. Mídia já utilizada"_s);
    QCOMPARE(w.dialogs.boxes[1].icon, Dialogs::Icon::Warning);
    QVERIFY(w.dialogs.messages.isEmpty());
    QCOMPARE(w.catalogue.scalar(u"SELECT count(*) FROM cds WHERE codigo = 1"_s), u"1"_s);
    QCOMPARE(w.dm.ADOQuery1.recordCount(), 4);
    QCOMPARE(w.dm.ADOQuery1.state(), TDataSetState::Browse);
}

void TestMediaWindow::aLockWaitShowsItselfAndKeepsTheWindowAlive()
{
    installCatalogueWaitFeedback();
    MediaWorld w;
    QVERIFY(showActive(w.form));
    w.typeName(u" esperou"_s);

    // Another program holds the write lock for a moment.
    sqlite3 *other = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(w.catalogue.path()).constData(), &other), SQLITE_OK);
    QCOMPARE(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    // Runs only if events are still processed during the wait.
    QTimer::singleShot(300, [other] { sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr); });
    bool busyCursor = false;
    w.dialogs.whileWaiting = [&busyCursor](const QString &text) {
        if (!text.isEmpty())
            busyCursor = QApplication::overrideCursor() &&
                         QApplication::overrideCursor()->shape() == Qt::WaitCursor;
    };

    w.click("BitBtn3");
    sqlite3_close(other);
    QCOMPARE(
        w.dialogs.waitNotices,
        (QStringList{u"Aguardando o catálogo: outro programa está gravando nele..."_s, QString()}));
    QVERIFY(busyCursor);
    QVERIFY(!QApplication::overrideCursor());
    QVERIFY(w.dialogs.boxes.isEmpty());
    QCOMPARE(w.catalogue.scalar(u"SELECT titulo FROM cds WHERE codigo = 1"_s), u"Alfa esperou"_s);
}

void TestMediaWindow::apagarOnNewRecordShowsEngineError()
{
    MediaWorld w;
    w.click("BitBtn2");
    w.dialogs.answers = {Dialogs::Yes};
    w.click("BitBtn4");
    QCOMPARE(w.dialogs.boxes.size(), 1);
    QCOMPARE(w.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    QVERIFY2(w.dialogs.boxes[0].text.contains(u"syntax error"_s),
             qPrintable(w.dialogs.boxes[0].text));
    QCOMPARE(w.dm.ADOQuery4.sql().value(1), u"where midia =;"_s);
    QVERIFY(!w.dm.ADOQuery4.active());
    QCOMPARE(w.dm.ADOQuery1.state(), TDataSetState::Insert);
    QCOMPARE(w.count(u"cds"_s), u"4"_s);
    QVERIFY(w.dialogs.messages.isEmpty());
}

void TestMediaWindow::overlongTypeIsRefusedAndStaysPending()
{
    MediaWorld w;
    QVERIFY(showActive(w.form));
    w.type()->setFocus();
    w.type()->lineEdit()->selectAll();
    const QString type = u"DISCO RÍGIDO USB 3"_s; // 18 characters
    QTest::keyClicks(w.type(), type);
    QCOMPARE(w.type()->currentText(), type);
    w.click("BitBtn3");
    QCOMPARE(w.dialogs.boxes.size(), 1);
    const QString shown = w.dialogs.boxes[0].text;
    QVERIFY2(shown.contains(u"tipo"_s) && shown.contains(u"16"_s), qPrintable(shown));
    QCOMPARE(w.dm.ADOQuery1.state(), TDataSetState::Edit);
    QCOMPARE(w.type()->currentText(), type);
    QCOMPARE(w.catalogue.scalar(u"SELECT tipo FROM cds WHERE codigo = 1"_s), u"CD"_s);
}

QTEST_MAIN(TestMediaWindow)
#include "tst_media_window.moc"
