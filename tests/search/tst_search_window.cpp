// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/search_window.h"

#include "catalogue/catalogue.h"
#include "controls/db_grid.h"
#include "core/exceptions.h"
#include "data/data_module.h"
#include "shell/application.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QAbstractItemModelTester>
#include <QAccessible>
#include <QCheckBox>
#include <QFontInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

const QString initialSoftware =
    u"SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS DESCRIÇÃO, nome_categoria AS "
    "CATEGORIA, titulo AS MÍDIA, tipo AS TIPO_MÍDIA"_s;
const QString repeatSoftware =
    u"SELECT softs.numero AS CODIGO, softs.nome AS APLICATIVO, softs.descricao AS DESCRIÇÃO, "
    "categorias.nome_categoria AS CATEGORIA, cds.titulo AS MÍDIA, tipo AS TIPO_MÍDIA"_s;
const QString softwareFrom =
    u"FROM softs LEFT JOIN categorias ON categorias.id_categoria = softs.categoria, cds"_s;
const QString softwareWhere = u"where nome like :texto and softs.midia = cds.codigo"_s;
const QStringList softwareTitles{u"CÓDIGO"_s,    u"APLICATIVO"_s, u"DESCRIÇÃO"_s,
                                 u"CATEGORIA"_s, u"MÍDIA"_s,      u"TIPO_MÍDIA"_s};
const QStringList mediaTitles{u"codigo"_s, u"titulo"_s, u"obs"_s, u"tipo"_s, u"local"_s};

// Two media and five titles, one of them on a medium that does not exist.
struct Fixture
{
    Fixture()
    {
        catalogue.exec(u"INSERT INTO cds (codigo, titulo, obs, tipo, local) VALUES "
                       "(1, 'Jogos CD 01', NULL, 'CD', 'Sala'),"
                       "(2, 'Caixa d''água', 'Backup', 'DVD', 'Cofre');"
                       "INSERT INTO softs (numero, nome, descricao, midia) VALUES "
                       "(1, 'Assassin''s Creed', 'Aventura', 1),"
                       "(2, 'AÇÃO TOTAL', NULL, 2),"
                       "(3, 'Zork', 'Texto', 1),"
                       "(4, 'Orphan Game', 'Sem mídia', 99),"
                       "(5, 'Tetris', 'Blocos', 2);"_s);
        dm = std::make_unique<TDm1>([this](const QString &m) { dialogs.showMessage(m); });
    }

    std::unique_ptr<TForm4> open(const QString &text, int kind)
    {
        return std::make_unique<TForm4>(&owner, text, kind, *dm);
    }

    TempCatalogue catalogue;
    CurrentDirectory cwd{catalogue.directory()};
    FakeDialogs dialogs;
    std::unique_ptr<TDm1> dm;
    QWidget owner;
};

TDBGrid *gridOf(TForm4 &w)
{
    return w.findChild<TDBGrid *>(u"DBGrid1"_s);
}

QLineEdit *textBoxOf(TForm4 &w)
{
    return w.findChild<QLineEdit *>(u"PesquisaAtual"_s);
}

QStringList titlesOf(TDBGrid *grid)
{
    QStringList titles;
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        titles << grid->model()->headerData(c, Qt::Horizontal).toString();
    return titles;
}

QStringList columnOf(TDBGrid *grid, int column)
{
    QStringList texts;
    for (int r = 0; r < grid->model()->rowCount(); ++r)
        texts << grid->model()->index(r, column).data().toString();
    texts.sort();
    return texts;
}

QFontMetrics titleMetrics()
{
    QFont font(u"Carlito"_s);
    font.setPixelSize(16);
    font.setBold(true);
    return QFontMetrics(font);
}

} // namespace

class TestSearchWindow : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        installFontSubstitutions();
        QApplication::setApplicationDisplayName(u"Quivel"_s);
        // The remembered check box lives in a settings file of the test's own.
        QStandardPaths::setTestModeEnabled(true);
        QSettings(u"quivel"_s, u"quivel"_s).clear();
    }
    void initialSearchFindsByPartOfName_data();
    void initialSearchFindsByPartOfName();
    void noSearchWithoutTextOrKind_data();
    void noSearchWithoutTextOrKind();
    void repeatSearchFromButtonAndEnter();
    void enterInEmptyBoxReachesTheBox();
    void columnsFitTheirWidestText();
    void failingFitResumesControls();
    void constructorFailurePropagates();
    void repeatSearchFailureReachesGeneralHandler();
    void layout();
    void escapeStopsALongSearchAndKeepsThePreviousResult();
    void ignoringAccentsIsAskedForAndRemembered();
    void everyKindIsFoundAndShown();
};

void TestSearchWindow::initialSearchFindsByPartOfName_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("found");
    // The text is bound as the LIKE pattern's value, never written into the statement.
    QTest::addColumn<QString>("pattern");

    const auto soft = [](const QString &text) { return u'%' + text + u'%'; };
    QTest::newRow("a, either case, medium must exist")
        << 1 << u"a"_s << QStringList{u"AÇÃO TOTAL"_s, u"Assassin's Creed"_s} << soft(u"a"_s);
    QTest::newRow("accents fold") << 1 << u"ação"_s << QStringList{u"AÇÃO TOTAL"_s}
                                  << soft(u"ação"_s);
    QTest::newRow("quote matches itself")
        << 1 << u"Assassin's"_s << QStringList{u"Assassin's Creed"_s} << soft(u"Assassin's"_s);
    QTest::newRow("lone quote") << 1 << u"'"_s << QStringList{u"Assassin's Creed"_s}
                                << soft(u"'"_s);
    QTest::newRow("underscore is one character")
        << 1 << u"Z_rk"_s << QStringList{u"Zork"_s} << soft(u"Z_rk"_s);
    QTest::newRow("percent is any run")
        << 1 << u"T%s"_s << QStringList{u"Tetris"_s} << soft(u"T%s"_s);
    QTest::newRow("nothing found") << 1 << u"xyz"_s << QStringList{} << soft(u"xyz"_s);
    QTest::newRow("media") << 2 << u"JOGOS"_s << QStringList{u"Jogos CD 01"_s} << u"%JOGOS%"_s;
    QTest::newRow("media with quote")
        << 2 << u"d'água"_s << QStringList{u"Caixa d'água"_s} << u"%d'água%"_s;
}

void TestSearchWindow::initialSearchFindsByPartOfName()
{
    QFETCH(int, kind);
    QFETCH(QString, text);
    QFETCH(QStringList, found);
    QFETCH(QString, pattern);
    found.sort();
    Fixture f;
    const auto w = f.open(text, kind);
    TDBGrid *grid = gridOf(*w);
    QAbstractItemModelTester tester(grid->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);

    const QString first = kind == 1 ? initialSoftware : u"SELECT *"_s;
    const QString from = kind == 1 ? softwareFrom : u"FROM cds"_s;
    const QString where = kind == 1 ? softwareWhere : u"where titulo like :texto"_s;
    QCOMPARE(f.dm->ADOQuery6.sql(), QStringList({first, from, where}));
    QCOMPARE(f.dm->ADOQuery6.parameter(u"texto"_s).toString(), pattern);
    QCOMPARE(w->SqlBusca, first);
    QCOMPARE(w->TextoBusca, text);
    QCOMPARE(w->TipoBusca, kind);
    QCOMPARE(w->windowTitle(), kind == 1 ? u"Busca - Softwares"_s : u"Busca - Mídias"_s);
    QCOMPARE(w->statusText(), u"Concluido!"_s);
    QCOMPARE(titlesOf(grid), kind == 1 ? softwareTitles : mediaTitles);
    QCOMPARE(columnOf(grid, 1), found);
    QCOMPARE(textBoxOf(*w)->text(), text);
}

void TestSearchWindow::noSearchWithoutTextOrKind_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("kind");
    QTest::newRow("empty software") << QString() << 1;
    QTest::newRow("empty media") << QString() << 2;
    QTest::newRow("other kind") << u"a"_s << 3;
}

void TestSearchWindow::noSearchWithoutTextOrKind()
{
    QFETCH(QString, text);
    QFETCH(int, kind);
    Fixture f;
    // What the previous window left in the shared query.
    f.open(u"Tetris"_s, 1).reset();
    const QStringList previous = f.dm->ADOQuery6.sql();

    const auto w = f.open(text, kind);
    TDBGrid *grid = gridOf(*w);
    QCOMPARE(w->windowTitle(), u"Busca"_s);
    QCOMPARE(w->statusText(), u"Concluido!"_s);
    QCOMPARE(f.dm->ADOQuery6.sql(), previous);
    QCOMPARE(titlesOf(grid), softwareTitles);
    QCOMPARE(columnOf(grid, 1), QStringList{u"Tetris"_s});
    // No fit ran: every column still has the header's default width.
    for (int c = 0; c < grid->model()->columnCount(); ++c)
        QCOMPARE(grid->columnWidth(c), grid->horizontalHeader()->defaultSectionSize());
}

void TestSearchWindow::repeatSearchFromButtonAndEnter()
{
    Fixture f;
    const auto w = f.open(u"a"_s, 1);
    TDBGrid *grid = gridOf(*w);
    QAbstractItemModelTester tester(grid->model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QLineEdit *box = textBoxOf(*w);
    QSignalSpy enterReached(box, &QLineEdit::returnPressed);

    box->setText(u"zork"_s);
    w->findChild<QPushButton *>(u"BitBtn2"_s)->click();
    QCOMPARE(w->statusText(), u"Pesquisa Concluida!"_s);
    QCOMPARE(w->SqlBusca, repeatSoftware);
    QCOMPARE(w->TextoBusca, u"zork"_s);
    QCOMPARE(f.dm->ADOQuery6.sql(), QStringList({repeatSoftware, softwareFrom, softwareWhere}));
    QCOMPARE(f.dm->ADOQuery6.parameter(u"texto"_s).toString(), u"%zork%"_s);
    QCOMPARE(titlesOf(grid).first(), u"CODIGO"_s);
    QCOMPARE(titlesOf(grid).mid(1), softwareTitles.mid(1));
    QCOMPARE(columnOf(grid, 1), QStringList{u"Zork"_s});

    box->setText(u"'s C"_s);
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(columnOf(grid, 1), QStringList{u"Assassin's Creed"_s});
    QCOMPARE(enterReached.size(), 0);

    // The media window keeps its statement and caption on a repeat search.
    const auto media = f.open(u"x"_s, 2);
    textBoxOf(*media)->setText(u"caixa"_s);
    QTest::keyClick(textBoxOf(*media), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(media->windowTitle(), u"Busca - Mídias"_s);
    QCOMPARE(media->statusText(), u"Pesquisa Concluida!"_s);
    QCOMPARE(titlesOf(gridOf(*media)), mediaTitles);
    QCOMPARE(columnOf(gridOf(*media), 1), QStringList{u"Caixa d'água"_s});
}

void TestSearchWindow::enterInEmptyBoxReachesTheBox()
{
    Fixture f;
    const auto w = f.open(u"a"_s, 1);
    QLineEdit *box = textBoxOf(*w);
    QSignalSpy enterReached(box, &QLineEdit::returnPressed);
    box->clear();
    QTest::keyClick(box, Qt::Key_Return);
    QCOMPARE(enterReached.size(), 1);
    QCOMPARE(w->statusText(), u"Concluido!"_s);
    QCOMPARE(w->SqlBusca, initialSoftware);

    // "&Buscar" has no such test: it searches with nothing between the wildcards.
    w->BitBtn2Click();
    QCOMPARE(w->statusText(), u"Pesquisa Concluida!"_s);
    QCOMPARE(columnOf(gridOf(*w), 1),
             QStringList({u"Assassin's Creed"_s, u"AÇÃO TOTAL"_s, u"Tetris"_s, u"Zork"_s}));
}

void TestSearchWindow::columnsFitTheirWidestText()
{
    Fixture f;
    const QFontMetrics metrics = titleMetrics();
    {
        const auto w = f.open(u"xyz"_s, 1);
        TDBGrid *grid = gridOf(*w);
        QCOMPARE(QFontInfo(grid->titleFont()).family(), u"Carlito"_s);
        QCOMPARE(grid->model()->rowCount(), 0);
        for (int c = 0; c < softwareTitles.size(); ++c)
            QCOMPARE(grid->columnWidth(c), metrics.horizontalAdvance(softwareTitles[c]) + 10);
    }

    f.catalogue.exec(
        u"UPDATE softs SET descricao = 'Ação e aventura em Jerusalém', categoria = 2 WHERE "
        "numero = 1"_s);
    const auto w = f.open(u"Assassin"_s, 1);
    TDBGrid *grid = gridOf(*w);
    const QStringList values{u"1"_s,    u"Assassin's Creed"_s, u"Ação e aventura em Jerusalém"_s,
                             u"Jogo"_s, u"Jogos CD 01"_s,      u"CD"_s};
    for (int c = 0; c < values.size(); ++c) {
        QCOMPARE(grid->model()->index(0, c).data().toString(), values[c]);
        const int widest = std::max(metrics.horizontalAdvance(values[c]),
                                    metrics.horizontalAdvance(softwareTitles[c]));
        QCOMPARE(grid->columnWidth(c), widest + 10);
    }
    // The values that widen their columns here, and the titles that hold theirs.
    QVERIFY(metrics.horizontalAdvance(values[1]) > metrics.horizontalAdvance(softwareTitles[1]));
    QVERIFY(metrics.horizontalAdvance(values[2]) > metrics.horizontalAdvance(softwareTitles[2]));
    QVERIFY(metrics.horizontalAdvance(values[0]) < metrics.horizontalAdvance(softwareTitles[0]));
    QCOMPARE(f.dm->ADOQuery6.recNo(), 0);
    QVERIFY(!f.dm->ADOQuery6.controlsDisabled());
}

void TestSearchWindow::failingFitResumesControls()
{
    Fixture f;
    const auto w = f.open(u"a"_s, 1);
    f.dm->ADOQuery6.close();
    QVERIFY_THROWS_EXCEPTION(EDatabaseError, w->AjustaColunas(*gridOf(*w)));
    QVERIFY(!f.dm->ADOQuery6.controlsDisabled());
}

void TestSearchWindow::constructorFailurePropagates()
{
    Fixture f;
    f.catalogue.exec(u"DROP TABLE softs"_s);
    QVERIFY_THROWS_EXCEPTION(Exception, TForm4(&f.owner, u"a"_s, 1, *f.dm));
    QVERIFY(f.owner.findChildren<TForm4 *>().isEmpty());
    QVERIFY(!f.dm->ADOQuery6.active());
    QCOMPARE(f.dm->ADOQuery6.sql(), QStringList({initialSoftware, softwareFrom, softwareWhere}));
    QCOMPARE(f.dm->ADOQuery6.parameter(u"texto"_s).toString(), u"%a%"_s);
    QVERIFY(!f.dm->ADOQuery6.controlsDisabled());

    // A later window without a search shows the closed query: an empty grid.
    const auto w = f.open(QString(), 1);
    QCOMPARE(gridOf(*w)->model()->rowCount(), 0);
    QCOMPARE(gridOf(*w)->model()->columnCount(), 0);
}

void TestSearchWindow::repeatSearchFailureReachesGeneralHandler()
{
    Fixture f;
    const auto w = f.open(u"a"_s, 1);
    w->show();
    f.catalogue.exec(u"DROP TABLE softs"_s);
    textBoxOf(*w)->setText(u"Zork"_s);
    w->findChild<QPushButton *>(u"BitBtn2"_s)->click();

    QCOMPARE(f.dialogs.boxes.size(), 1);
    QVERIFY(f.dialogs.boxes[0].text.contains(u"softs"_s));
    QCOMPARE(f.dialogs.boxes[0].icon, Dialogs::Icon::Critical);
    QVERIFY(w->isVisible());
    QCOMPARE(w->statusText(), u"AGUARDE... PESQUISANDO..."_s);
    QCOMPARE(w->windowTitle(), u"Busca - Softwares"_s);
    QCOMPARE(gridOf(*w)->model()->rowCount(), 0);
    QCOMPARE(w->TextoBusca, u"Zork"_s);
    QCOMPARE(w->SqlBusca, repeatSoftware);

    // Enter fails the same way and, not consumed, reaches the box.
    QSignalSpy enterReached(textBoxOf(*w), &QLineEdit::returnPressed);
    QTest::keyClick(textBoxOf(*w), Qt::Key_Return);
    QCOMPARE(f.dialogs.boxes.size(), 2);
    QCOMPARE(enterReached.size(), 1);
    QVERIFY(w->isVisible());
}

void TestSearchWindow::layout()
{
    Fixture f;
    const auto w = f.open(u"a"_s, 1);
    QCOMPARE(w->size(), QSize(792, 566));
    QCOMPARE(w->minimumSize(), w->maximumSize());
    QVERIFY(w->windowFlags() & Qt::WindowMinimizeButtonHint);
    QVERIFY(!(w->windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(gridOf(*w)->accessibleName(), u"Resultado da busca"_s);
    QCOMPARE(gridOf(*w)->font().pixelSize(), 16);
    QVERIFY(!gridOf(*w)->font().bold());
    QCOMPARE(gridOf(*w)->titleFont().pixelSize(), 16);
    QVERIFY(gridOf(*w)->titleFont().bold());
    QCOMPARE(w->font().pixelSize(), 11);
    QCOMPARE(textBoxOf(*w)->font().pixelSize(), 16);
    QCOMPARE(w->findChild<QLabel *>(u"Label1"_s)->font().pixelSize(), 16);
    QCOMPARE(w->windowType(), Qt::Dialog);

    // "&OK" closes, Esc does not.
    w->show();
    const QPoint offCentre =
        w->frameGeometry().center() - w->screen()->availableGeometry().center();
    QVERIFY2(offCentre.manhattanLength() <= 1,
             qPrintable(u"%1,%2"_s.arg(offCentre.x()).arg(offCentre.y())));
    QTest::keyClick(w.get(), Qt::Key_Escape);
    QVERIFY(w->isVisible());
    w->findChild<QPushButton *>(u"BitBtn1"_s)->click();
    QVERIFY(!w->isVisible());
}

// A search through many titles counts its rows in the status bar while the previous result
// stays on screen; Esc stops it and leaves that result, and the next search completes.
void TestSearchWindow::escapeStopsALongSearchAndKeepsThePreviousResult()
{
    TempCatalogue catalogue(TempCatalogue::Content::None);
    Catalogue::createLarge(catalogue.path(), 100, 30000);
    const CurrentDirectory cwd(catalogue.directory());
    FakeDialogs dialogs;
    TDm1 dm([&](const QString &m) { dialogs.showMessage(m); });
    QWidget owner;
    TForm4 w(&owner, u"edição 999"_s, 1, dm);
    TADOQuery &query = dm.ADOQuery6;
    const int before = query.recordCount();
    QVERIFY(before > 0 && before < 1000);
    const QStringList statement = query.sql();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    textBoxOf(w)->setText(u"a"_s);
    const auto columnWidths = [&w] {
        QList<int> widths;
        for (int c = 0; c < gridOf(w)->columnCount(); ++c)
            widths.append(gridOf(w)->columnWidth(c));
        return widths;
    };
    const QList<int> widthsBefore = columnWidths();

    QString statusDuring;
    int rowsDuring = -1;
    QTimer::singleShot(0, &w, [&] {
        statusDuring = w.statusText();
        rowsDuring = gridOf(w)->model()->rowCount();
    });
    QCoreApplication::postEvent(textBoxOf(w),
                                new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    w.ExecutaPesquisa();
    QVERIFY2(QRegularExpression(u"^AGUARDE\\.\\.\\. PESQUISANDO\\.\\.\\. [0-9.]+ registros "
                                "encontrados \\(Esc interrompe\\)$"_s)
                 .match(statusDuring)
                 .hasMatch(),
             qPrintable(statusDuring));
    QCOMPARE(rowsDuring, before);
    QCOMPARE(w.statusText(), u"Pesquisa interrompida; o resultado anterior foi mantido."_s);
    QCOMPARE(query.recordCount(), before);
    QCOMPARE(query.sql(), statement);
    QCOMPARE(gridOf(w)->model()->rowCount(), before);
    QCOMPARE(columnWidths(), widthsBefore);

    w.ExecutaPesquisa();
    QCOMPARE(w.statusText(), u"Pesquisa Concluida!"_s);
    QCOMPARE(query.recordCount(), 30000);
    QCOMPARE(gridOf(w)->model()->rowCount(), 30000);
}

// Off at first, so "acao" finds nothing; ticked, it finds "AÇÃO TOTAL", and the next window
// opens ticked and searches so at once.
void TestSearchWindow::ignoringAccentsIsAskedForAndRemembered()
{
    QSettings(u"quivel"_s, u"quivel"_s).clear();
    Fixture f;
    {
        const auto w = f.open(u"acao"_s, 1);
        auto *box = w->findChild<QCheckBox *>(u"IgnorarAcentos"_s);
        QVERIFY(box);
        QCOMPARE(box->text().remove(u'&'), u"Ignorar acentos"_s);
        QCOMPARE(QAccessible::queryAccessibleInterface(box)->text(QAccessible::Name),
                 u"Ignorar acentos"_s);
        QVERIFY(!box->isChecked());
        QCOMPARE(columnOf(gridOf(*w), 1), QStringList{});

        box->setChecked(true);
        w->findChild<QPushButton *>(u"BitBtn2"_s)->click();
        QCOMPARE(columnOf(gridOf(*w), 1), QStringList{u"AÇÃO TOTAL"_s});
        QCOMPARE(w->statusText(), u"Pesquisa Concluida!"_s);
        // The column fit is the same as for any search.
        QVERIFY(gridOf(*w)->columnWidth(1) > titleMetrics().horizontalAdvance(u"AÇÃO TOTAL"_s));
    }
    {
        const auto w = f.open(u"agua"_s, 2);
        QVERIFY(w->findChild<QCheckBox *>(u"IgnorarAcentos"_s)->isChecked());
        QCOMPARE(columnOf(gridOf(*w), 1), QStringList{u"Caixa d'água"_s});
        w->findChild<QCheckBox *>(u"IgnorarAcentos"_s)->setChecked(false);
    }
    const auto w = f.open(u"agua"_s, 2);
    QVERIFY(!w->findChild<QCheckBox *>(u"IgnorarAcentos"_s)->isChecked());
    QCOMPARE(columnOf(gridOf(*w), 1), QStringList{});
}

// The kind stands after the description; a title of any kind is found, even one whose kind
// was removed behind the program's back (its kind is then blank).
void TestSearchWindow::everyKindIsFoundAndShown()
{
    Fixture f;
    f.catalogue.exec(u"UPDATE softs SET categoria = 2 WHERE numero = 1;"
                     "UPDATE softs SET categoria = 4 WHERE numero = 3;"
                     "UPDATE softs SET categoria = 77 WHERE numero = 5;"_s);
    const auto w = f.open(u"%"_s, 1);
    TDBGrid *grid = gridOf(*w);
    QCOMPARE(titlesOf(grid).indexOf(u"CATEGORIA"_s), titlesOf(grid).indexOf(u"DESCRIÇÃO"_s) + 1);
    QCOMPARE(columnOf(grid, 1),
             (QStringList{u"Assassin's Creed"_s, u"AÇÃO TOTAL"_s, u"Tetris"_s, u"Zork"_s}));
    QCOMPARE(columnOf(grid, 3), (QStringList{QString(), u"Jogo"_s, u"Música"_s, u"Software"_s}));
    // A repeat search from within the window shows the same.
    w->ExecutaPesquisa();
    QCOMPARE(titlesOf(grid)[3], u"CATEGORIA"_s);
    QCOMPARE(columnOf(grid, 3), (QStringList{QString(), u"Jogo"_s, u"Música"_s, u"Software"_s}));
}

QTEST_MAIN(TestSearchWindow)
#include "tst_search_window.moc"
