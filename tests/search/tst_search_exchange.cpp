// SPDX-License-Identifier: GPL-3.0-or-later
// The search grid's ways out: sorting by a column, exporting what it shows, opening a result.
#include "search/search_window.h"

#include "controls/db_grid.h"
#include "data/data_module.h"
#include "exchange/formats/sheet_reader.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace Qt::StringLiterals;

namespace {

struct Fixture
{
    Fixture()
    {
        catalogue.exec(u"INSERT INTO cds (codigo, titulo, obs, tipo, local) VALUES "
                       "(1, 'Jogos CD 01', NULL, 'CD', 'Sala'),"
                       "(2, 'Caixa d''água', 'Backup', 'DVD', 'Cofre');"
                       "INSERT INTO softs (numero, nome, descricao, midia) VALUES "
                       "(1, 'Assassin''s Creed', 'Aventura', 1),"
                       "(2, 'Banco; \"Imobiliário\"', NULL, 2),"
                       "(3, 'Zork', 'Texto', 1),"
                       "(4, 'Orphan Game', 'Sem mídia', 99),"
                       "(5, 'Tetris', 'Blocos', 2);"_s);
        dm = std::make_unique<TDm1>([this](const QString &m) { dialogs.showMessage(m); });
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

QStringList columnOf(TDBGrid *grid, int column)
{
    QStringList texts;
    for (int r = 0; r < grid->model()->rowCount(); ++r)
        texts << grid->model()->index(r, column).data().toString();
    return texts;
}

void clickTitle(TDBGrid *grid, int column)
{
    QHeaderView *header = grid->horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(x, header->height() / 2));
}

} // namespace

class TestSearchExchange : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void clickOnTitleSortsThenReverses();
    void sortKeepsColumnWidthsAndNewSearchUnsorts();
    void exportWritesWhatTheGridShows_data();
    void exportWritesWhatTheGridShows();
    void exportIsInTheMenuAndOnCtrlE();
    void doubleClickOpensTheResult_data();
    void doubleClickOpensTheResult();
};

void TestSearchExchange::clickOnTitleSortsThenReverses()
{
    Fixture f;
    TForm4 window(&f.owner, u"%"_s, SoftwareSearch, *f.dm);
    window.show();
    TDBGrid *grid = gridOf(window);
    clickTitle(grid, 0);
    QCOMPARE(window.sortColumn(), 0);
    QVERIFY(!window.sortDescending());
    QCOMPARE(columnOf(grid, 0), (QStringList{u"1"_s, u"2"_s, u"3"_s, u"5"_s}));
    clickTitle(grid, 0);
    QVERIFY(window.sortDescending());
    QCOMPARE(columnOf(grid, 0), (QStringList{u"5"_s, u"3"_s, u"2"_s, u"1"_s}));
    QCOMPARE(grid->horizontalHeader()->sortIndicatorSection(), 0);
    QCOMPARE(grid->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);

    // Another column starts the other way round again.
    clickTitle(grid, 4);
    QCOMPARE(window.sortColumn(), 4);
    QVERIFY(!window.sortDescending());
    QCOMPARE(columnOf(grid, 4), (QStringList{u"Caixa d'água"_s, u"Caixa d'água"_s, u"Jogos CD 01"_s,
                                             u"Jogos CD 01"_s}));
    QCOMPARE(window.statusText(), u"Ordenado por MÍDIA (crescente)."_s);
}

void TestSearchExchange::sortKeepsColumnWidthsAndNewSearchUnsorts()
{
    Fixture f;
    TForm4 window(&f.owner, u"%"_s, MediaSearch, *f.dm);
    TDBGrid *grid = gridOf(window);
    grid->setColumnWidth(1, 333);
    window.sortByColumn(1);
    QCOMPARE(grid->columnWidth(1), 333);
    QCOMPARE(columnOf(grid, 1), (QStringList{u"Caixa d'água"_s, u"Jogos CD 01"_s}));
    window.ExecutaPesquisa();
    QCOMPARE(window.sortColumn(), -1);
    QCOMPARE(f.dm->ADOQuery6.sql().size(), 3);
    // A window opened without a search sorts what the shared query holds.
    TForm4 plain(&f.owner, QString(), MediaSearch, *f.dm);
    plain.sortByColumn(0);
    plain.sortByColumn(0);
    QCOMPARE(columnOf(gridOf(plain), 0), (QStringList{u"2"_s, u"1"_s}));
}

void TestSearchExchange::exportWritesWhatTheGridShows_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("csv") << u"r.csv"_s;
    QTest::newRow("xlsx") << u"r.xlsx"_s;
    QTest::newRow("ods") << u"r.ods"_s;
}

void TestSearchExchange::exportWritesWhatTheGridShows()
{
    QFETCH(QString, name);
    Fixture f;
    TForm4 window(&f.owner, u"%"_s, SoftwareSearch, *f.dm);
    window.sortByColumn(0);
    window.sortByColumn(0);
    QTemporaryDir dir;
    const QString path = dir.filePath(name);
    QVERIFY(window.exportResults(path));
    const auto reader = Exchange::SheetReader::open(path);
    QList<QStringList> rows;
    Exchange::SheetRow row;
    while (reader->next(row)) {
        while (row.cells.size() < 6)
            row.cells << QString();
        rows << row.cells;
    }
    const QList<QStringList> expected{
        {u"CÓDIGO"_s, u"APLICATIVO"_s, u"DESCRIÇÃO"_s, u"CATEGORIA"_s, u"MÍDIA"_s, u"TIPO_MÍDIA"_s},
        {u"5"_s, u"Tetris"_s, u"Blocos"_s, u"Software"_s, u"Caixa d'água"_s, u"DVD"_s},
        {u"3"_s, u"Zork"_s, u"Texto"_s, u"Software"_s, u"Jogos CD 01"_s, u"CD"_s},
        {u"2"_s, u"Banco; \"Imobiliário\""_s, QString(), u"Software"_s, u"Caixa d'água"_s,
         u"DVD"_s},
        {u"1"_s, u"Assassin's Creed"_s, u"Aventura"_s, u"Software"_s, u"Jogos CD 01"_s, u"CD"_s},
    };
    QCOMPARE(rows, expected);
}

void TestSearchExchange::exportIsInTheMenuAndOnCtrlE()
{
    Fixture f;
    TForm4 window(&f.owner, u"%"_s, MediaSearch, *f.dm);
    auto *action = window.findChild<QAction *>(u"ExportarResultados"_s);
    QVERIFY(action);
    QCOMPARE(action->text(), u"E&xportar resultados..."_s);
    QCOMPARE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_E));
    QVERIFY(window.actions().contains(action));
    QCOMPARE(gridOf(window)->contextMenuPolicy(), Qt::CustomContextMenu);

    // Ctrl+E reaches the window from the search box, where the focus starts; the file
    // dialog it opens is closed unanswered.
    window.show();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    auto *box = window.findChild<QLineEdit *>(u"PesquisaAtual"_s);
    box->setFocus();
    box->setCursorPosition(0);
    QSignalSpy triggered(action, &QAction::triggered);
    QTimer::singleShot(300, &window, [] {
        if (QWidget *dialog = QApplication::activeModalWidget())
            dialog->close();
    });
    QTest::keyClick(box, Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(triggered.count(), 1);
    QCOMPARE(box->cursorPosition(), 0);
}

void TestSearchExchange::doubleClickOpensTheResult_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("row");
    QTest::addColumn<qint64>("code");
    QTest::newRow("title") << int(SoftwareSearch) << 2 << qint64(3);
    QTest::newRow("medium") << int(MediaSearch) << 1 << qint64(2);
}

void TestSearchExchange::doubleClickOpensTheResult()
{
    QFETCH(int, kind);
    QFETCH(int, row);
    QFETCH(qint64, code);
    Fixture f;
    TForm4 window(&f.owner, u"%"_s, kind, *f.dm);
    window.show();
    QList<std::pair<int, qint64>> opened;
    window.setOpenRecord([&opened](int k, qint64 c) { opened.append({k, c}); });
    TDBGrid *grid = gridOf(window);
    const QRect cell = grid->visualRect(grid->model()->index(row, 1));
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, cell.center());
    QCOMPARE(opened, (QList<std::pair<int, qint64>>{{kind, code}}));
}

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestSearchExchange test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_search_exchange.moc"
