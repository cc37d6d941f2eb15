// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/kinds_window.h"
#include "tests/registration/registration_world.h"

#include <QAccessible>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>

using namespace Qt::StringLiterals;

namespace {

const QString seedKinds = u"Software|Jogo|Filme|Música|Documento|Outros"_s;

// "Editor" is software, "Jogo" and "Órfão" are games: kinds in use by one and two titles.
struct KindsWorld : RegistrationWorld
{
    KindsWorld()
        : RegistrationWorld(registrationSeed() +
                            u"UPDATE softs SET categoria = 2 WHERE nome IN ('Jogo', 'Órfão');"
                            "UPDATE softs SET categoria = 4 WHERE nome = 'Editor';"_s)
    {}
    KindsWindow window{dm};

    QListWidget *list() { return control<QListWidget>(window, "ListaCategorias"); }
    QLineEdit *name() { return control<QLineEdit>(window, "EditNome"); }
    void choose(const QString &kind)
    {
        const QList<QListWidgetItem *> found = list()->findItems(kind, Qt::MatchExactly);
        QCOMPARE(found.size(), 1);
        list()->setCurrentItem(found.first());
    }
    QString listed()
    {
        QStringList names;
        for (int i = 0; i < list()->count(); ++i)
            names << list()->item(i)->text();
        return names.join(u'|');
    }
    QString stored() const
    {
        return catalogue.scalar(u"SELECT group_concat(nome_categoria, '|') FROM (SELECT "
                                "nome_categoria FROM categorias ORDER BY id_categoria)"_s);
    }
    // What the user was told, one box at most.
    QString told() const { return dialogs.boxes.isEmpty() ? QString() : dialogs.boxes[0].text; }
};

} // namespace

class TestKindsWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QApplication::setApplicationDisplayName(u"Quivel"_s); }
    void opensOnTheKindsAndIsReachedByKeyboard();
    void addAndRename_data();
    void addAndRename();
    void remove_data();
    void remove();
    void kindGivenElsewhereWhileAskingIsKept();
};

void TestKindsWindow::opensOnTheKindsAndIsReachedByKeyboard()
{
    KindsWorld w;
    QCOMPARE(w.window.windowTitle(), u"Categorias"_s);
    QCOMPARE(w.listed(), seedKinds);
    QCOMPARE(w.list()->currentRow(), 0);
    QCOMPARE(w.name()->text(), u"Software"_s);
    QCOMPARE(w.name()->maxLength(), 32);
    w.choose(u"Filme"_s);
    QCOMPARE(w.name()->text(), u"Filme"_s);
    QCOMPARE(QAccessible::queryAccessibleInterface(w.list())->text(QAccessible::Name),
             u"Categorias cadastradas"_s);
    QCOMPARE(QAccessible::queryAccessibleInterface(w.name())->text(QAccessible::Name), u"Nome"_s);

    QVERIFY(showActive(w.window));
    QCOMPARE(QApplication::focusWidget(), w.list());
    QStringList visited;
    for (int i = 0; i < 6; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    QCOMPARE(visited, (QStringList{u"EditNome"_s, u"ButtonAdd"_s, u"ButtonRename"_s,
                                   u"ButtonRemove"_s, u"ButtonClose"_s, u"ListaCategorias"_s}));
    // Alt with the underlined letter clicks; Fechar closes.
    w.name()->setFocus();
    w.name()->setText(u"Revista"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::AltModifier);
    // A mnemonic clicks with the button's short animation.
    QTRY_COMPARE(w.stored(), seedKinds + u"|Revista"_s);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::AltModifier);
    QTRY_VERIFY(!w.window.isVisible());
}

void TestKindsWindow::addAndRename_data()
{
    QTest::addColumn<QString>("chosen"); // empty: add
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("stored"); // empty: unchanged
    QTest::addColumn<QString>("told");   // empty: nothing
    const QString duplicate = u"Já existe a categoria \"%1\". Duas categorias não podem ter o "
                              "mesmo nome, nem escrito com outras letras maiúsculas ou "
                              "minúsculas."_s;
    QTest::newRow("add") << QString() << u"  Revista em quadrinhos "_s
                         << seedKinds + u"|Revista em quadrinhos"_s << QString();
    QTest::newRow("add a name in other case")
        << QString() << u"jOGO"_s << QString() << duplicate.arg(u"Jogo"_s);
    QTest::newRow("add a name in other case, accented")
        << QString() << u"MÚSICA"_s << QString() << duplicate.arg(u"Música"_s);
    QTest::newRow("add nothing") << QString() << u"   "_s << QString()
                                 << u"Digite o nome da categoria."_s;
    QTest::newRow("rename") << u"Jogo"_s << u"Jogos"_s
                            << u"Software|Jogos|Filme|Música|Documento|Outros"_s << QString();
    QTest::newRow("rename to its own name in other case")
        << u"Jogo"_s << u"JOGO"_s << u"Software|JOGO|Filme|Música|Documento|Outros"_s << QString();
    QTest::newRow("rename to another's name in other case")
        << u"Jogo"_s << u"filme"_s << QString() << duplicate.arg(u"Filme"_s);
}

void TestKindsWindow::addAndRename()
{
    QFETCH(QString, chosen);
    QFETCH(QString, typed);
    QFETCH(QString, stored);
    QFETCH(QString, told);
    KindsWorld w;
    if (!chosen.isEmpty())
        w.choose(chosen);
    w.name()->setText(typed);
    if (chosen.isEmpty())
        w.window.ButtonAddClick();
    else
        w.window.ButtonRenameClick();
    QCOMPARE(w.told(), told);
    QCOMPARE(w.stored(), stored.isEmpty() ? seedKinds : stored);
    // The list shows the catalogue, with the kind just saved chosen; a refusal keeps what was
    // typed for the user to correct.
    QCOMPARE(w.listed(), w.stored());
    if (told.isEmpty())
        QCOMPARE(w.list()->currentItem()->text(), typed.trimmed());
    QCOMPARE(w.name()->text(), told.isEmpty() ? typed.trimmed() : typed);
}

void TestKindsWindow::remove_data()
{
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<Dialogs::Button>("answer");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("told");
    QTest::newRow("unused, confirmed")
        << u"Filme"_s << Dialogs::Yes << u"Software|Jogo|Música|Documento|Outros"_s
        << u"Deseja remover a categoria \"Filme\"?"_s;
    QTest::newRow("unused, not confirmed")
        << u"Filme"_s << Dialogs::No << seedKinds << u"Deseja remover a categoria \"Filme\"?"_s;
    QTest::newRow("used by two titles")
        << u"Jogo"_s << Dialogs::Yes << seedKinds
        << u"A categoria \"Jogo\" não pode ser removida: 2 títulos a usam. Mude a categoria "
           "desses títulos na tela de softwares antes de removê-la."_s;
    QTest::newRow("used by one title")
        << u"Música"_s << Dialogs::Yes << seedKinds
        << u"A categoria \"Música\" não pode ser removida: 1 título a usa. Mude a categoria "
           "desses títulos na tela de softwares antes de removê-la."_s;
    QTest::newRow("the kind new titles get")
        << u"Software"_s << Dialogs::Yes << seedKinds
        << u"A categoria \"Software\" é a que um título recebe quando nenhuma é escolhida: "
           "pode ser renomeada, mas não removida."_s;
}

void TestKindsWindow::remove()
{
    QFETCH(QString, chosen);
    QFETCH(Dialogs::Button, answer);
    QFETCH(QString, stored);
    QFETCH(QString, told);
    KindsWorld w;
    w.choose(chosen);
    w.dialogs.answers << answer;
    w.window.ButtonRemoveClick();
    QCOMPARE(w.dialogs.boxes.size(), 1);
    QCOMPARE(w.told(), told);
    QCOMPARE(w.stored(), stored);
    QCOMPARE(w.listed(), stored);
    QCOMPARE(w.count(u"softs"_s), u"3"_s);
}

void TestKindsWindow::kindGivenElsewhereWhileAskingIsKept()
{
    KindsWorld w;
    w.choose(u"Outros"_s);
    w.dialogs.answers << Dialogs::Yes;
    w.dialogs.whileShown = [&](const FakeDialogs::Box &) {
        w.dialogs.whileShown = nullptr;
        w.catalogue.exec(u"UPDATE softs SET categoria = 6 WHERE nome = 'Editor'"_s);
    };
    w.window.ButtonRemoveClick();
    QCOMPARE(w.dialogs.boxes.size(), 2);
    QVERIFY2(w.dialogs.boxes[1].text.startsWith(
                 u"A categoria \"Outros\" não pode ser removida: 1 título a usa."_s),
             qPrintable(w.dialogs.boxes[1].text));
    QCOMPARE(w.stored(), seedKinds);
    QCOMPARE(w.list()->currentItem()->text(), u"Outros"_s);
}

QTEST_MAIN(TestKindsWindow)
#include "tst_kinds_window.moc"
