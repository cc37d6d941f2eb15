// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/row_index.h"

#include <QTest>

#include <random>
#include <vector>

class TestRowIndex : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsAPlainVector_data();
    void followsAPlainVector();
};

void TestRowIndex::followsAPlainVector_data()
{
    QTest::addColumn<int>("initialRows");
    QTest::addColumn<int>("insertPercent");
    // Growth splits chunks, shrinking empties and drops them, and both mixed.
    QTest::newRow("growing") << 100 << 90;
    QTest::newRow("shrinking") << 20000 << 10;
    QTest::newRow("mixed") << 9000 << 50;
}

void TestRowIndex::followsAPlainVector()
{
    QFETCH(int, initialRows);
    QFETCH(int, insertPercent);
    RowIndex index;
    std::vector<std::uint32_t> model;
    std::uint32_t next = 0;
    for (int i = 0; i < initialRows; ++i) {
        index.pushBack(next);
        model.push_back(next++);
    }
    std::mt19937 random(7);
    for (int op = 0; op < 30000; ++op) {
        const bool insert = model.empty() || int(random() % 100) < insertPercent;
        if (insert) {
            // Front, back and middle all happen.
            const size_t row = random() % 3 == 0 ? (random() % 2 ? 0 : model.size())
                                                 : random() % (model.size() + 1);
            index.insert(row, next);
            model.insert(model.begin() + std::ptrdiff_t(row), next++);
        } else {
            const size_t row = random() % model.size();
            index.erase(row);
            model.erase(model.begin() + std::ptrdiff_t(row));
        }
        if (!model.empty() && op % 7 == 0) {
            const size_t row = random() % model.size();
            index.set(row, next);
            model[row] = next++;
        }
    }
    QCOMPARE(index.size(), model.size());
    for (size_t row = 0; row < model.size(); ++row)
        QCOMPARE(index.at(row), model[row]);
}

QTEST_APPLESS_MAIN(TestRowIndex)
#include "tst_row_index.moc"
