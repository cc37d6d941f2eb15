// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/db_grid.h"
#include "data/data_module.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::StringLiterals;

// A grid bound to Dm1's search data source over a catalogue of a few media.
struct GridFixture
{
    GridFixture()
    {
        for (int i = 1; i <= 30; ++i)
            catalogue.exec(u"INSERT INTO cds (titulo, obs, tipo, local) VALUES "
                           "('Mídia %1', NULL, 'CD', 'Sala')"_s.arg(i));
        dm = std::make_unique<TDm1>([this](const QString &m) { dialogs.showMessage(m); });
        grid.resize(400, 300);
        grid.setDataSource(&dm->DataSource6);
    }

    TADOQuery &query() { return dm->ADOQuery6; }

    TempCatalogue catalogue;
    CurrentDirectory cwd{catalogue.directory()};
    FakeDialogs dialogs;
    std::unique_ptr<TDm1> dm;
    TDBGrid grid;
};

class TestDBGrid : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsEveryFieldAndRecordReadOnly();
    void resetsOnReopenAndClose();
    void currentIndexAndRecordFollowEachOther();
    void quietWhileControlsSuspended();
    void indicatorMarksTheCurrentRow();
};

void TestDBGrid::showsEveryFieldAndRecordReadOnly()
{
    GridFixture f;
    QAbstractItemModelTester tester(f.grid.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QAbstractItemModel *model = f.grid.model();
    QCOMPARE(model->rowCount(), 30);
    QCOMPARE(model->columnCount(), 5);
    QStringList titles;
    for (int c = 0; c < model->columnCount(); ++c)
        titles << model->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(titles, QStringList({u"codigo"_s, u"titulo"_s, u"obs"_s, u"tipo"_s, u"local"_s}));
    QCOMPARE(f.grid.columnTitle(1), u"titulo"_s);
    QCOMPARE(model->index(6, 1).data().toString(), u"Mídia 7"_s);
    QCOMPARE(model->index(6, 2).data().toString(), QString());
    QCOMPARE(model->index(6, 0).data(Qt::TextAlignmentRole).value<Qt::Alignment>() & Qt::AlignRight,
             Qt::AlignRight);

    const QModelIndex cell = model->index(2, 1);
    QVERIFY(!(model->flags(cell) & Qt::ItemIsEditable));
    QCOMPARE(f.grid.editTriggers(), QAbstractItemView::NoEditTriggers);
    QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
    f.grid.edit(cell);
    QVERIFY(f.grid.findChildren<QLineEdit *>().isEmpty());
    QCOMPARE(f.grid.horizontalHeader()->sectionResizeMode(1), QHeaderView::Interactive);
    QCOMPARE(f.grid.verticalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
}

void TestDBGrid::resetsOnReopenAndClose()
{
    GridFixture f;
    QAbstractItemModelTester tester(f.grid.model(),
                                    QAbstractItemModelTester::FailureReportingMode::QtTest);
    QSignalSpy resets(f.grid.model(), &QAbstractItemModel::modelReset);
    f.query().close();
    QCOMPARE(f.grid.model()->rowCount(), 0);
    QCOMPARE(f.grid.model()->columnCount(), 0);
    f.query().setSql({u"SELECT titulo AS DESCRIÇÃO FROM cds WHERE codigo <= 3"_s});
    f.query().open();
    QCOMPARE(resets.size(), 2);
    QCOMPARE(f.grid.model()->rowCount(), 3);
    QCOMPARE(f.grid.columnTitle(0), u"DESCRIÇÃO"_s);
    QCOMPARE(f.grid.currentIndex().row(), 0);
}

void TestDBGrid::currentIndexAndRecordFollowEachOther()
{
    GridFixture f;
    f.query().next();
    f.query().next();
    QCOMPARE(f.grid.currentIndex().row(), 2);
    f.query().last();
    QCOMPARE(f.grid.currentIndex().row(), 29);

    f.grid.setCurrentIndex(f.grid.model()->index(4, 3));
    QCOMPARE(f.query().recNo(), 4);
    QCOMPARE(f.grid.currentIndex().column(), 3);
    f.query().prior();
    QCOMPARE(f.grid.currentIndex(), f.grid.model()->index(3, 3));
}

void TestDBGrid::quietWhileControlsSuspended()
{
    GridFixture f;
    QSignalSpy resets(f.grid.model(), &QAbstractItemModel::modelReset);
    f.query().disableControls();
    f.query().next();
    f.query().close();
    QCOMPARE(resets.size(), 0);
    QCOMPARE(f.grid.currentIndex().row(), 0);
    // The last announced shape stays, and reading it does not touch the closed dataset.
    QCOMPARE(f.grid.model()->rowCount(), 30);
    QCOMPARE(f.grid.model()->index(5, 1).data().toString(), QString());
    f.query().open();
    f.query().setRecNo(7);
    f.query().enableControls();
    QCOMPARE(resets.size(), 1);
    QCOMPARE(f.grid.currentIndex().row(), 7);
}

void TestDBGrid::indicatorMarksTheCurrentRow()
{
    GridFixture f;
    f.grid.show();
    QHeaderView *rows = f.grid.verticalHeader();
    QCOMPARE(rows->width(), TDBGrid::indicatorWidth);
    const auto darkPixelsInRow = [&](int row) {
        const QImage image = rows->viewport()->grab().toImage();
        const int top = rows->sectionViewportPosition(row);
        int dark = 0;
        for (int y = top + 2; y < top + rows->sectionSize(row) - 2; ++y)
            for (int x = 2; x < image.width() - 2; ++x)
                dark += qGray(image.pixel(x, y)) < 80;
        return dark;
    };
    f.query().setRecNo(3);
    QVERIFY(darkPixelsInRow(3) > 4);
    QCOMPARE(darkPixelsInRow(1), 0);
    f.query().setRecNo(1);
    QVERIFY(darkPixelsInRow(1) > 4);
    QCOMPARE(darkPixelsInRow(3), 0);
}

QTEST_MAIN(TestDBGrid)
#include "tst_db_grid.moc"
