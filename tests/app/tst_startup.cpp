// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/startup.h"
#include "controls/db_edit.h"
#include "controls/db_lookup_combo_box.h"
#include "data/fields.h"
#include "data/query.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"
#include "tests/support/version1.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

// The program builds its own application object, so the test cannot hold one: a step queued
// as that object is built runs once the message loop is up, drives the program and closes
// its main window.
std::function<void()> whenRunning;

QWidget *topLevel(const QString &name)
{
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->objectName() == name)
            return w;
    }
    return nullptr;
}

// The registration windows are made, hidden, right after the main window's first paint.
bool registrationWindowsMade()
{
    return QTest::qWaitFor([] { return topLevel(u"Form2"_s) && topLevel(u"Form3"_s); });
}

// Records every message window and box in the order shown, with whether the main window
// was on screen at the time.
class RecordingDialogs : public FakeDialogs
{
public:
    void showMessage(const QString &text) override
    {
        log << u"message%1: %2"_s.arg(mainWindowShown(), text);
        FakeDialogs::showMessage(text);
    }
    Button messageBox(const QString &text, const QString &caption, int buttons, Icon icon,
                      Button defaultButton) override
    {
        log << u"box%1: %2 [%3, stop icon: %4]"_s.arg(mainWindowShown(), text, caption,
                                                      icon == Icon::Critical ? u"yes"_s : u"no"_s);
        return FakeDialogs::messageBox(text, caption, buttons, icon, defaultButton);
    }
    QStringList log;

private:
    static QString mainWindowShown()
    {
        const QWidget *form1 = topLevel(u"Form1"_s);
        return form1 && form1->isVisible() ? u" (main window shown)"_s : QString();
    }
};

int runProgram()
{
    char name[] = "quivel";
    char *argv[] = {name, nullptr};
    return runQuivel(1, argv);
}

// Closes the main window after the step, as the user would, even when a check in the step
// failed, so the program always ends.
void queueWhenRunning()
{
    if (!whenRunning)
        return;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            whenRunning();
            if (QWidget *form1 = topLevel(u"Form1"_s))
                form1->close();
            else
                QCoreApplication::quit();
        },
        Qt::QueuedConnection);
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qAddPreRoutine(queueWhenRunning); }
    void cleanup() { whenRunning = nullptr; }
    void emptyFolderReportsThenShowsMainWindow();
    void sampleCatalogueOpensQuietly();
    void closingAsksAboutPendingChange_data();
    void closingAsksAboutPendingChange();
    void version1CatalogueIsUpgradedAndToldOnce();
};

void TestStartup::emptyFolderReportsThenShowsMainWindow()
{
    TempCatalogue folder(TempCatalogue::Content::None);
    CurrentDirectory here(folder.directory());
    RecordingDialogs dialogs;
    bool wasShown = false;
    whenRunning = [&] { wasShown = topLevel(u"Form1"_s) && topLevel(u"Form1"_s)->isVisible(); };

    QCOMPARE(runProgram(), 0);

    QVERIFY(wasShown);
    QCOMPARE(dialogs.log.size(), 2);
    // The data module's line comes first, before the main window is on screen; the main
    // window's show handler then fails on the same missing file, in the error handler's box.
    QVERIFY2(dialogs.log[0].startsWith(u"message: EOleExceptionerro gerado, com mensagem: "_s),
             qPrintable(dialogs.log[0]));
    QVERIFY2(dialogs.log[1].startsWith(u"box"_s) &&
                 dialogs.log[1].endsWith(u"[Quivel, stop icon: yes]"_s),
             qPrintable(dialogs.log[1]));
    QVERIFY(!QFileInfo::exists(folder.path())); // nothing was created
}

void TestStartup::sampleCatalogueOpensQuietly()
{
    TempCatalogue catalogue(TempCatalogue::Content::Sample);
    CurrentDirectory here(catalogue.directory());
    RecordingDialogs dialogs;
    // The software window's medium list shares the media dataset and places it on the medium
    // of the first title, so the media window opens there.
    const QString shownTitle = catalogue.scalar(
        u"SELECT titulo FROM cds WHERE codigo = (SELECT midia FROM softs ORDER BY numero LIMIT 1)"_s);
    QStringList seen;
    whenRunning = [&] {
        QVERIFY(registrationWindowsMade());
        for (const QString &name : {u"Form1"_s, u"Form2"_s, u"Form3"_s}) {
            const QWidget *w = topLevel(name);
            seen << name + (w ? (w->isVisible() ? u" shown"_s : u" hidden"_s) : u" missing"_s);
        }
        if (QWidget *form2 = topLevel(u"Form2"_s)) {
            for (const TDBEdit *edit : form2->findChildren<TDBEdit *>()) {
                if (edit->dataField() == u"titulo")
                    seen << u"titulo: "_s + edit->text();
            }
        }
    };

    QCOMPARE(runProgram(), 0);

    QCOMPARE(dialogs.log, QStringList());
    QCOMPARE(seen, QStringList({u"Form1 shown"_s, u"Form2 hidden"_s, u"Form3 hidden"_s,
                                u"titulo: "_s + shownTitle}));
}

void TestStartup::closingAsksAboutPendingChange_data()
{
    QTest::addColumn<bool>("newRecord");
    QTest::addColumn<bool>("save");
    QTest::newRow("edited medium, dropped") << false << false;
    QTest::newRow("new medium, dropped") << true << false;
    QTest::newRow("edited medium, saved") << false << true;
    QTest::newRow("new medium, saved") << true << true;
}

// The main window closed with a medium still being typed: the program asks once and ends,
// having saved or dropped the change as answered. Going back is covered with the main window.
void TestStartup::closingAsksAboutPendingChange()
{
    QFETCH(bool, newRecord);
    QFETCH(bool, save);
    TempCatalogue catalogue(TempCatalogue::Content::Sample);
    CurrentDirectory here(catalogue.directory());
    RecordingDialogs dialogs;
    dialogs.choiceAnswers << (save ? 0 : 1);
    const QByteArray before = catalogue.fileBytes();
    const QString mediaBefore = catalogue.scalar(u"SELECT count(*) FROM cds"_s);
    QString typed;
    TDataSetState state = TDataSetState::Inactive;
    const auto click = [](QWidget *window, const QString &caption) {
        for (QPushButton *button : window->findChildren<QPushButton *>()) {
            if (button->text() == caption)
                button->click();
        }
    };
    whenRunning = [&] {
        QWidget *form1 = topLevel(u"Form1"_s);
        QVERIFY(form1);
        click(form1, u"&MÍDIAS"_s);
        QWidget *form2 = topLevel(u"Form2"_s);
        QVERIFY(form2 && form2->isVisible());
        if (newRecord)
            click(form2, u"&Novo"_s);
        for (TDBEdit *edit : form2->findChildren<TDBEdit *>()) {
            if (edit->dataField() == u"titulo") {
                edit->setFocus();
                QTest::keyClicks(edit, u" alterado"_s);
                typed = edit->text();
                state = edit->field()->dataSet()->state();
            }
        }
    };

    QCOMPARE(runProgram(), 0);

    QVERIFY2(typed.endsWith(u" alterado"_s), qPrintable(typed));
    QCOMPARE(state, newRecord ? TDataSetState::Insert : TDataSetState::Edit);
    QCOMPARE(dialogs.log, QStringList());
    QCOMPARE(dialogs.choices.size(), 1);
    QVERIFY(dialogs.choices[0].text.contains(u"\"Cadastro de Mídias\""_s));
    if (!save) {
        QCOMPARE(catalogue.fileBytes(), before);
        return;
    }
    QCOMPARE(catalogue.scalar(u"SELECT count(*) FROM cds WHERE titulo = '%1'"_s.arg(typed)),
             u"1"_s);
    QCOMPARE(catalogue.scalar(u"SELECT count(*) FROM cds"_s).toInt(),
             mediaBefore.toInt() + (newRecord ? 1 : 0));
}

void TestStartup::version1CatalogueIsUpgradedAndToldOnce()
{
    TempCatalogue fresh(TempCatalogue::Content::Sample);
    TempCatalogue folder(TempCatalogue::Content::None);
    writeVersion1Copy(fresh.path(), folder.path());
    const QByteArray original = folder.fileBytes();
    CurrentDirectory here(folder.directory());
    QString kindShown;
    whenRunning = [&] {
        QVERIFY(registrationWindowsMade());
        if (QWidget *form3 = topLevel(u"Form3"_s)) {
            if (auto *kind = form3->findChild<TDBLookupComboBox *>(u"DBLookupComboBox2"_s))
                kindShown = kind->text();
        }
    };
    {
        RecordingDialogs dialogs;
        QCOMPARE(runProgram(), 0);
        // One box, before the main window is on screen, naming where the original is.
        QCOMPARE(dialogs.log.size(), 1);
        QVERIFY2(dialogs.log[0].startsWith(u"box: O catálogo '%1' era da versão 1 e foi "
                                           "atualizado para a versão 2"_s.arg(folder.path())),
                 qPrintable(dialogs.log[0]));
        QVERIFY2(dialogs.log[0].contains(folder.path() + u".v1-original"_s),
                 qPrintable(dialogs.log[0]));
        QVERIFY2(dialogs.log[0].endsWith(u"[Quivel, stop icon: no]"_s), qPrintable(dialogs.log[0]));
    }
    QCOMPARE(kindShown, u"Software"_s);
    QFile kept(folder.path() + u".v1-original"_s);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll(), original);

    // The next start has nothing to say.
    RecordingDialogs dialogs;
    QCOMPARE(runProgram(), 0);
    QCOMPARE(dialogs.log, QStringList());
}

QTEST_APPLESS_MAIN(TestStartup)
#include "tst_startup.moc"
