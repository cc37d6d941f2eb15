// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/identify_window.h"
#include "tests/registration/registration_world.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTreeWidget>

namespace {

QString fixture(const QString &name)
{
    return QStringLiteral(IDENTIFY_FIXTURES "/") + name;
}

// The window with a medium typed in and read to the end.
struct ReadWindow
{
    explicit ReadWindow(RegistrationWorld &world, const QString &medium = QStringLiteral("three"))
        : window(world.dm)
    {
        showActive(window);
        auto *source = control<QComboBox>(window, "sourcePath");
        source->setCurrentText(fixture(medium));
        QTest::mouseClick(control<QPushButton>(window, "readButton"), Qt::LeftButton);
    }
    bool finish()
    {
        return QTest::qWaitFor([this] { return !window.reading(); }, 30000);
    }
    QTreeWidget *list() { return control<QTreeWidget>(window, "titleList"); }
    QTreeWidgetItem *item(const QString &name)
    {
        const auto found = list()->findItems(name, Qt::MatchExactly, 0);
        return found.isEmpty() ? nullptr : found.first();
    }

    IdentifyWindow window;
};

} // namespace

class TestIdentifyWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void folderWithThreeProductsGivesThreeTickedTitles();
    void cancelKeepsNothing_data();
    void cancelKeepsNothing();
    void savesMediumAndTickedTitlesTogether();
    void failedSaveWritesNothing();
    void titlesAlreadyOnMediumAreShownAndNotAddedTwice();
};

void TestIdentifyWindow::folderWithThreeProductsGivesThreeTickedTitles()
{
    RegistrationWorld world;
    ReadWindow read(world);
    QVERIFY(read.window.reading());
    QVERIFY(control<QPushButton>(read.window, "cancelButton")->isEnabled());
    QVERIFY(read.finish());
    QCOMPARE(read.list()->topLevelItemCount(), 3);
    for (const QString &name : {QStringLiteral("Acme Editor"), QStringLiteral("Planilha Livre"),
                                QStringLiteral("visor-fotos")}) {
        QTreeWidgetItem *item = read.item(name);
        QVERIFY2(item, qPrintable(name));
        QCOMPARE(item->checkState(0), Qt::Checked);
    }
    QVERIFY(read.item(QStringLiteral("Acme Editor"))->text(2).contains(u".cab"));
    QCOMPARE(control<QLineEdit>(read.window, "mediumName")->text(), QStringLiteral("three"));
    QCOMPARE(control<QComboBox>(read.window, "mediumType")->currentText(),
             QStringLiteral("HD EXTERNO"));
    QVERIFY(control<QPushButton>(read.window, "saveButton")->isEnabled());
    QVERIFY(!control<QPushButton>(read.window, "cancelButton")->isEnabled());
}

void TestIdentifyWindow::cancelKeepsNothing_data()
{
    QTest::addColumn<bool>("escape");
    QTest::newRow("Cancelar") << false;
    QTest::newRow("Esc") << true;
}

void TestIdentifyWindow::cancelKeepsNothing()
{
    QFETCH(bool, escape);
    RegistrationWorld world;
    const QString media = world.count(QStringLiteral("cds"));
    ReadWindow read(world, QStringLiteral("medium"));
    // Before the reading's result can arrive: it comes through the event loop.
    if (escape)
        QTest::keyClick(&read.window, Qt::Key_Escape);
    else
        QTest::mouseClick(control<QPushButton>(read.window, "cancelButton"), Qt::LeftButton);
    QVERIFY(read.finish());
    QVERIFY(read.window.isVisible()); // Esc stopped the reading, not the window
    QCOMPARE(read.list()->topLevelItemCount(), 0);
    QCOMPARE(control<QLabel>(read.window, "progressLabel")->text(),
             QStringLiteral("Leitura cancelada; nada foi guardado."));
    QVERIFY(!control<QPushButton>(read.window, "saveButton")->isEnabled());
    QCOMPARE(world.count(QStringLiteral("cds")), media);
    // Esc with no reading closes the window.
    QTest::keyClick(&read.window, Qt::Key_Escape);
    QVERIFY(!read.window.isVisible());
}

void TestIdentifyWindow::savesMediumAndTickedTitlesTogether()
{
    RegistrationWorld world;
    const int titlesBefore = world.dm.ADOQuery2.recordCount();
    ReadWindow read(world);
    QVERIFY(read.finish());
    read.item(QStringLiteral("visor-fotos"))->setCheckState(0, Qt::Unchecked);
    // Renamed through the list's own editor.
    QTreeWidgetItem *acme = read.item(QStringLiteral("Acme Editor"));
    read.list()->setCurrentItem(acme, 0);
    read.list()->editItem(acme, 0);
    auto *editor = qobject_cast<QLineEdit *>(QApplication::focusWidget());
    QVERIFY(editor);
    QCOMPARE(editor->maxLength(), 32);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Acme Editor 2.5"));
    QTest::keyClick(editor, Qt::Key_Return);
    // The view commits the edit from its event loop.
    QTRY_COMPARE(acme->text(0), QStringLiteral("Acme Editor 2.5"));

    auto *name = control<QLineEdit>(read.window, "mediumName");
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Disco Acme"));
    QTest::mouseClick(control<QPushButton>(read.window, "saveButton"), Qt::LeftButton);

    QCOMPARE(world.dialogs.boxes.size(), 0);
    QCOMPARE(world.catalogue.scalar(QStringLiteral("SELECT titulo || '/' || tipo FROM cds "
                                                   "ORDER BY codigo DESC LIMIT 1")),
             QStringLiteral("Disco Acme/HD EXTERNO"));
    QCOMPARE(world.catalogue.scalar(
                 QStringLiteral("SELECT group_concat(nome, ',') FROM (SELECT nome FROM softs "
                                "WHERE midia = (SELECT max(codigo) FROM cds) ORDER BY nome)")),
             QStringLiteral("Acme Editor 2.5,Planilha Livre"));
    // The browsing windows' dataset shows them at once.
    QCOMPARE(world.dm.ADOQuery2.recordCount(), titlesBefore + 2);
    QCOMPARE(world.dialogs.messages.size(), 1);
    QVERIFY(world.dialogs.messages.first().startsWith(u"2 título(s) cadastrado(s)"));
    QVERIFY(!read.window.isVisible());
}

void TestIdentifyWindow::failedSaveWritesNothing()
{
    RegistrationWorld world;
    world.catalogue.exec(
        QStringLiteral("CREATE TRIGGER refuse BEFORE INSERT ON softs WHEN NEW.nome = 'visor-fotos' "
                       "BEGIN SELECT RAISE(ABORT, 'recusado'); END;"));
    const QString media = world.count(QStringLiteral("cds"));
    const QString titles = world.count(QStringLiteral("softs"));
    ReadWindow read(world);
    QVERIFY(read.finish());
    control<QLineEdit>(read.window, "mediumName")->setText(QStringLiteral("Disco"));
    QTest::mouseClick(control<QPushButton>(read.window, "saveButton"), Qt::LeftButton);
    // The error reached the user; neither the medium nor any title was kept.
    QCOMPARE(world.dialogs.boxes.size(), 1);
    QVERIFY(world.dialogs.boxes.first().text.contains(u"recusado"));
    QCOMPARE(world.count(QStringLiteral("cds")), media);
    QCOMPARE(world.count(QStringLiteral("softs")), titles);
    // Nothing the user chose is lost.
    QVERIFY(read.window.isVisible());
    QCOMPARE(read.list()->topLevelItemCount(), 3);
}

void TestIdentifyWindow::titlesAlreadyOnMediumAreShownAndNotAddedTwice()
{
    RegistrationWorld world;
    world.catalogue.exec(QStringLiteral(
        "INSERT INTO softs (nome, descricao, midia) VALUES ('Planilha Livre', 'antiga', 1);"));
    ReadWindow read(world);
    QVERIFY(read.finish());
    QTest::mouseClick(control<QRadioButton>(read.window, "existingMediumChoice"), Qt::LeftButton);
    auto *media = control<QComboBox>(read.window, "existingMedium");
    QVERIFY(media->isEnabled());
    media->setCurrentIndex(media->findData(1));
    QTreeWidgetItem *held = read.item(QStringLiteral("Planilha Livre"));
    QCOMPARE(held->checkState(0), Qt::Unchecked);
    QVERIFY(!(held->flags() & Qt::ItemIsUserCheckable));
    QCOMPARE(held->text(2), QStringLiteral("já cadastrado nesta mídia"));
    // Another medium: ticked again.
    media->setCurrentIndex(media->findData(2));
    QCOMPARE(held->checkState(0), Qt::Checked);
    media->setCurrentIndex(media->findData(1));

    QTest::mouseClick(control<QPushButton>(read.window, "saveButton"), Qt::LeftButton);
    QCOMPARE(world.dialogs.boxes.size(), 0);
    QCOMPARE(world.catalogue.scalar(QStringLiteral("SELECT count(*) FROM softs WHERE midia = 1 "
                                                   "AND nome = 'Planilha Livre'")),
             QStringLiteral("1"));
    QCOMPARE(world.catalogue.scalar(QStringLiteral("SELECT count(*) FROM softs WHERE midia = 1")),
             QStringLiteral("3"));
    QCOMPARE(world.count(QStringLiteral("cds")), QStringLiteral("4"));
}

QTEST_MAIN(TestIdentifyWindow)
#include "tst_identify_window.moc"
