// SPDX-License-Identifier: GPL-3.0-or-later
// What the media and software windows share, run over both: each test's table names the window.
#include "controls/db_edit.h"
#include "controls/glyph_button.h"
#include "data/query.h"
#include "registration/media_window.h"
#include "registration/software_window.h"
#include "shell/dialogs.h"
#include "tests/registration/registration_world.h"

#include <QSignalSpy>

using namespace Qt::StringLiterals;

namespace {

// One of the two windows over the seeded catalogue, with what the tests need to know of it.
struct RecordWorld : RegistrationWorld
{
    explicit RecordWorld(const QString &window)
    {
        if (window == u"media"_s) {
            form = std::make_unique<TForm2>(dm);
            query = &dm.ADOQuery1;
            table = u"cds"_s;
            nameColumn = u"titulo"_s;
            keyColumn = u"codigo"_s;
            codeBox = "Codmidia";
        } else {
            form = std::make_unique<TForm3>(dm);
            query = &dm.ADOQuery2;
            table = u"softs"_s;
            nameColumn = u"nome"_s;
            keyColumn = u"numero"_s;
            codeBox = "DBEdit1";
        }
    }

    TDBEdit *name() { return control<TDBEdit>(*form, "DBEdit2"); }
    TDBEdit *code() { return control<TDBEdit>(*form, codeBox); }
    void click(const char *button) { clickButton(*form, button); }
    void typeName(const QString &text) { typeAtEnd(name(), text); }
    QString key() const { return query->fieldByName(keyColumn)->asString(); }
    // The name as the catalogue holds it, for the record of the given key.
    QString storedName(const QString &key) const
    {
        return catalogue.scalar(
            u"SELECT %1 FROM %2 WHERE %3 = %4"_s.arg(nameColumn, table, keyColumn, key));
    }

    std::unique_ptr<QWidget> form;
    TADOQuery *query = nullptr;
    QString table, nameColumn, keyColumn;
    const char *codeBox = nullptr;
};

void addWindows()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("media") << u"media"_s;
    QTest::newRow("software") << u"software"_s;
}

} // namespace

class TestRecordWindows : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(u"Quivel"_s); }
    void layoutFollowsDesign_data();
    void layoutFollowsDesign();
    void novoTwiceWithoutTypingLeavesOnePending_data() { addWindows(); }
    void novoTwiceWithoutTypingLeavesOnePending();
    void novoSavesChangedRecordFirst_data() { addWindows(); }
    void novoSavesChangedRecordFirst();
    void salvarWithNothingPendingIsRefused_data();
    void salvarWithNothingPendingIsRefused();
    void editConflictOffersAWayOut_data() { addWindows(); }
    void editConflictOffersAWayOut();
    void closingHidesAndKeepsPendingChange_data() { addWindows(); }
    void closingHidesAndKeepsPendingChange();
    void altShortcutsClickButtons_data();
    void altShortcutsClickButtons();
    void controlsAreHeardByTheirLabels_data();
    void controlsAreHeardByTheirLabels();
};

void TestRecordWindows::layoutFollowsDesign_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("geometry");
    const auto row = [](const char *window, const char *name, const QRect &geometry) {
        QTest::addRow("%s %s", window, name)
            << QString::fromLatin1(window) << QString::fromLatin1(name) << geometry;
    };
    row("media", "Codmidia", QRect(24, 144, 81, 26));
    row("media", "DBEdit2", QRect(24, 208, 750, 26));
    row("media", "DBEdit3", QRect(24, 329, 750, 100));
    row("media", "DBNavigator1", QRect(280, 480, 225, 25));
    row("media", "BitBtn1", QRect(699, 481, 75, 25));
    row("media", "DBComboBox1", QRect(629, 145, 145, 26));
    row("media", "BitBtn2", QRect(24, 449, 90, 56));
    row("media", "BitBtn3", QRect(152, 449, 81, 56));
    row("media", "BitBtn4", QRect(560, 481, 75, 25));
    row("media", "DBEdit1", QRect(24, 267, 750, 26));
    row("media", "Image1", QRect(0, 0, 793, 97));

    row("software", "DBEdit1", QRect(24, 136, 64, 31));
    row("software", "DBEdit2", QRect(24, 216, 739, 31));
    row("software", "DBLookupComboBox1", QRect(24, 282, 345, 31));
    // The kind is a field like the medium's, below it; what lies below moved down by as much.
    const int kind = 83;
    row("software", "DBLookupComboBox2", QRect(24, 282 + kind, 345, 31));
    row("software", "DBEdit4", QRect(24, 376 + kind, 739, 105));
    row("software", "BitBtn1", QRect(688, 521 + kind, 75, 25));
    row("software", "DBNavigator1", QRect(288, 520 + kind, 225, 25));
    row("software", "BitBtn2", QRect(24, 504 + kind, 89, 41));
    row("software", "BitBtn3", QRect(152, 504 + kind, 89, 41));
    row("software", "BitBtn4", QRect(560, 521 + kind, 75, 25));
    row("software", "Image1", QRect(0, 0, 793, 97));
}

void TestRecordWindows::layoutFollowsDesign()
{
    QFETCH(QString, window);
    QFETCH(QString, name);
    QFETCH(QRect, geometry);
    RecordWorld w(window);
    const QWidget *widget = w.form->findChild<QWidget *>(name);
    QVERIFY(widget);
    QCOMPARE(widget->geometry(), geometry);
}

void TestRecordWindows::novoTwiceWithoutTypingLeavesOnePending()
{
    QFETCH(QString, window);
    RecordWorld w(window);
    const QString records = w.count(w.table);
    w.click("BitBtn2");
    w.click("BitBtn2");
    QCOMPARE(w.query->state(), TDataSetState::Insert);
    QCOMPARE(QString::number(w.query->recordCount()), records);
    QCOMPARE(w.count(w.table), records);
    QCOMPARE(w.name()->text(), QString());
}

void TestRecordWindows::novoSavesChangedRecordFirst()
{
    QFETCH(QString, window);
    RecordWorld w(window);
    QVERIFY(showActive(*w.form));
    const QString key = w.key();
    const QString renamed = w.name()->text() + u" Renomeado"_s;
    w.typeName(u" Renomeado"_s);
    w.click("BitBtn2");
    QCOMPARE(w.storedName(key), renamed);
    QCOMPARE(w.query->state(), TDataSetState::Insert);
    QCOMPARE(w.name()->text(), QString());
    QCOMPARE(w.code()->text(), QString());
}

void TestRecordWindows::salvarWithNothingPendingIsRefused_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("message");
    QTest::newRow("media") << u"media"_s << u"ADOQuery1: Dataset not in edit or insert mode."_s;
    QTest::newRow("software") << u"software"_s
                              << u"ADOQuery2: Dataset not in edit or insert mode."_s;
}

void TestRecordWindows::salvarWithNothingPendingIsRefused()
{
    QFETCH(QString, window);
    QFETCH(QString, message);
    RecordWorld w(window);
    w.click("BitBtn3");
    QCOMPARE(w.dialogs.boxes.size(), 1);
    QCOMPARE(w.dialogs.boxes[0].text, message);
    QCOMPARE(w.dialogs.boxes[0].caption, u"Quivel"_s);
    QCOMPARE(w.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    QCOMPARE(w.query->state(), TDataSetState::Browse);
}

void TestRecordWindows::editConflictOffersAWayOut()
{
    QFETCH(QString, window);
    RecordWorld w(window);
    QVERIFY(showActive(*w.form));
    const QString key = w.key();
    const QString mine = w.name()->text() + u" minha"_s;
    const QString theirs = w.name()->text() + u" de outro"_s;
    w.typeName(u" minha"_s);
    w.catalogue.exec(u"UPDATE %1 SET %2 = '%3' WHERE %4 = %5"_s.arg(w.table, w.nameColumn, theirs,
                                                                    w.keyColumn, key));

    // No (the default) keeps the edit on screen, unsaved; every try asks again.
    for (int attempt = 1; attempt <= 2; ++attempt) {
        w.dialogs.answers = {Dialogs::No};
        w.click("BitBtn3");
        QCOMPARE(w.dialogs.boxes.size(), attempt);
        const FakeDialogs::Box &box = w.dialogs.boxes.last();
        QCOMPARE(box.caption, u"Registro alterado por outro programa"_s);
        QVERIFY2(box.text.startsWith(u"O registro não foi salvo: ele foi alterado ou apagado por "
                                     "outro programa depois de lido."_s),
                 qPrintable(box.text));
        QCOMPARE(box.buttons, int(Dialogs::Yes | Dialogs::No));
        QCOMPARE(box.defaultButton, Dialogs::No);
        QCOMPARE(w.query->state(), TDataSetState::Edit);
        QCOMPARE(w.name()->text(), mine);
        QCOMPARE(w.storedName(key), theirs);
    }

    // Yes drops the edit and shows the row as the other program left it.
    w.dialogs.answers = {Dialogs::Yes};
    w.click("BitBtn3");
    QCOMPARE(w.dialogs.boxes.size(), 3);
    QCOMPARE(w.query->state(), TDataSetState::Browse);
    QCOMPARE(w.name()->text(), theirs);
    // From there the record edits and saves as usual.
    w.typeName(u"!"_s);
    w.click("BitBtn3");
    QCOMPARE(w.dialogs.boxes.size(), 3);
    QCOMPARE(w.storedName(key), theirs + u'!');
}

void TestRecordWindows::closingHidesAndKeepsPendingChange()
{
    QFETCH(QString, window);
    RecordWorld w(window);
    QVERIFY(showActive(*w.form));
    const QString key = w.key();
    const QString changed = w.name()->text() + u'!';
    w.typeName(u"!"_s);
    w.click("BitBtn1");
    QVERIFY(!w.form->isVisible());
    w.form->show();
    QCOMPARE(w.name()->text(), changed);
    QCOMPARE(w.query->state(), TDataSetState::Edit);
    QVERIFY(w.form->close()); // the close box hides it the same way
    QVERIFY(!w.form->isVisible());
    w.click("BitBtn3");
    QCOMPARE(w.storedName(key), changed);
}

void TestRecordWindows::altShortcutsClickButtons_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<Qt::Key>("key");
    QTest::addColumn<QString>("button");
    for (const char *window : {"media", "software"}) {
        const QString name = QString::fromLatin1(window);
        QTest::addRow("%s Novo", window) << name << Qt::Key_N << u"BitBtn2"_s;
        QTest::addRow("%s Salvar", window) << name << Qt::Key_S << u"BitBtn3"_s;
        QTest::addRow("%s Apagar", window) << name << Qt::Key_A << u"BitBtn4"_s;
        QTest::addRow("%s Fechar", window) << name << Qt::Key_F << u"BitBtn1"_s;
    }
}

void TestRecordWindows::altShortcutsClickButtons()
{
    QFETCH(QString, window);
    QFETCH(Qt::Key, key);
    QFETCH(QString, button);
    RecordWorld w(window);
    QVERIFY(showActive(*w.form));
    QSignalSpy clicks(w.form->findChild<TBitBtn *>(button), &QAbstractButton::clicked);
    QTest::keyClick(QApplication::focusWidget(), key, Qt::AltModifier);
    QTRY_COMPARE(clicks.count(), 1); // a mnemonic clicks with the button's short animation
}

void TestRecordWindows::controlsAreHeardByTheirLabels_data()
{
    QTest::addColumn<QString>("window");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("label");
    QTest::newRow("media code") << u"media"_s << u"Codmidia"_s << u"Código"_s;
    QTest::newRow("media type") << u"media"_s << u"DBComboBox1"_s << u"Tipo de mídia:"_s;
    QTest::newRow("media name") << u"media"_s << u"DBEdit2"_s << u"Nome da Mídia"_s;
    QTest::newRow("media place") << u"media"_s << u"DBEdit1"_s << u"Local Atual da Mídia"_s;
    QTest::newRow("media remarks") << u"media"_s << u"DBEdit3"_s << u"Observações"_s;
    QTest::newRow("software code") << u"software"_s << u"DBEdit1"_s << u"Código"_s;
    QTest::newRow("software name") << u"software"_s << u"DBEdit2"_s << u"Nome do Software"_s;
    QTest::newRow("software medium") << u"software"_s << u"DBLookupComboBox1"_s << u"Mídia"_s;
    QTest::newRow("software description") << u"software"_s << u"DBEdit4"_s << u"Descrição"_s;
}

void TestRecordWindows::controlsAreHeardByTheirLabels()
{
    QFETCH(QString, window);
    QFETCH(QString, control);
    QFETCH(QString, label);
    RecordWorld w(window);
    w.form->show();
    checkHeardByLabel(*w.form, control.toLatin1().constData(), label);
}

QTEST_MAIN(TestRecordWindows)
#include "tst_record_windows.moc"
