// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/record_store.h"

#include <QTest>

#include <cstdint>

class TestRecordStore : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void textsReadBackAcrossTheOffsetWidths_data();
    void textsReadBackAcrossTheOffsetWidths();
    void integersReadBackAcrossTheirWidths_data();
    void integersReadBackAcrossTheirWidths();
    void textsReadBackAcrossBlocks_data();
    void textsReadBackAcrossBlocks();
};

void TestRecordStore::textsReadBackAcrossTheOffsetWidths_data()
{
    QTest::addColumn<qulonglong>("narrowLimit");
    QTest::newRow("32-bit offsets") << qulonglong(UINT32_MAX);
    QTest::newRow("outgrows 32 bits early") << qulonglong(100);
}

// Whatever the offsets' width, every value reads back the same as text, as UTF-8 and as a
// value, including rows inserted and replaced after the text column changed width, and
// after the store gave back its spare room.
void TestRecordStore::textsReadBackAcrossTheOffsetWidths()
{
    QFETCH(qulonglong, narrowLimit);
    using Kind = RecordStore::Kind;
    RecordStore store({Kind::Integer, Kind::Text, Kind::Real}, narrowLimit);
    const auto text = [](int i) {
        return i % 7 == 0 ? QString() : QStringLiteral("Ação nº %1").arg(i);
    };
    for (int i = 0; i < 200; ++i) {
        store.insertRow(store.rowCount(),
                        {QVariant::fromValue<qlonglong>(-1000000000000LL + i),
                         text(i).isNull() ? QVariant() : QVariant(text(i)), i * 0.5});
    }
    store.insertRow(0, {QVariant(), QStringLiteral("primeira"), QVariant()});
    store.removeRow(50);
    store.replaceRow(100, {7, QStringLiteral("trocada"), 1.25});
    // Giving back the spare room may move the text; every read must still find it.
    store.shrinkToFit();

    QCOMPARE(store.rowCount(), 200);
    QCOMPARE(store.text(0, 1), QStringLiteral("primeira"));
    QVERIFY(store.isNull(0, 0));
    QCOMPARE(store.text(100, 1), QStringLiteral("trocada"));
    RecordStore::Scratch scratch;
    for (int row = 1; row < store.rowCount(); ++row) {
        const int i = row <= 49 ? row - 1 : row;
        if (row != 100) {
            QCOMPARE(store.text(row, 1), text(i));
            QCOMPARE(store.isNull(row, 1), text(i).isNull());
            QCOMPARE(store.text(row, 0), QString::number(-1000000000000LL + i));
        }
        for (int column : {0, 1}) {
            std::string_view utf8;
            QVERIFY(store.utf8(row, column, scratch, utf8));
            QCOMPARE(QString::fromUtf8(utf8.data(), qsizetype(utf8.size())),
                     store.text(row, column));
        }
        std::string_view real;
        QVERIFY(!store.utf8(row, 2, scratch, real));
    }
    QVERIFY(store.memoryUsage() > 0);
}

void TestRecordStore::integersReadBackAcrossTheirWidths_data()
{
    QTest::addColumn<QList<qlonglong>>("values");
    QTest::newRow("all fit in 32 bits") << QList<qlonglong>{0, 1, -1, INT32_MAX, INT32_MIN, 42};
    QTest::newRow("outgrows 32 bits after some")
        << QList<qlonglong>{5, INT32_MAX, qlonglong(INT32_MAX) + 1, -7, qlonglong(INT32_MIN) - 1};
    QTest::newRow("wide from the first") << QList<qlonglong>{-1000000000000LL, 3, INT64_MAX};
}

// Integers are kept in 32 bits while they fit; a value that does not fit widens the column
// without changing any value read before or after, whichever way the rows arrive.
void TestRecordStore::integersReadBackAcrossTheirWidths()
{
    QFETCH(QList<qlonglong>, values);
    using Kind = RecordStore::Kind;
    RecordStore store({Kind::Integer, Kind::Integer});
    for (qlonglong v : values) {
        // The first column as a server sends it (text), the second as an edit stores it.
        const QByteArray digits = QByteArray::number(v);
        store.appendTextCell(0, digits.constData(), size_t(digits.size()));
        store.appendTextCell(1, nullptr, 0);
        store.endRow();
        store.insertRow(store.rowCount(), {QVariant(), v});
    }
    store.replaceRow(1, {QVariant(), QVariant::fromValue<qlonglong>(INT64_MIN)});
    store.shrinkToFit();

    RecordStore::Scratch scratch;
    for (int i = 0; i < values.size(); ++i) {
        const int sent = 2 * i, edited = 2 * i + 1;
        QCOMPARE(store.value(sent, 0).toLongLong(), values[i]);
        QVERIFY(store.isNull(sent, 1));
        QVERIFY(store.isNull(edited, 0));
        const qlonglong expected = i == 0 ? INT64_MIN : values[i];
        QCOMPARE(store.value(edited, 1).toLongLong(), expected);
        QCOMPARE(store.text(edited, 1), QString::number(expected));
        std::string_view utf8;
        QVERIFY(store.utf8(sent, 0, scratch, utf8));
        QCOMPARE(QByteArray(utf8.data(), qsizetype(utf8.size())), QByteArray::number(values[i]));
    }
}

void TestRecordStore::textsReadBackAcrossBlocks_data()
{
    // Text is kept in blocks of 1 MiB; each row lists value sizes appended in turn.
    QTest::addColumn<QList<int>>("sizes");
    QTest::addColumn<qulonglong>("narrowLimit");
    constexpr int block = 1 << 20;
    QTest::newRow("values that do not fit a block's end start the next")
        << QList<int>{block - 10, 0, 5, 20, 0, 7, block - 30, 31} << qulonglong(UINT32_MAX);
    QTest::newRow("a value that fills a block exactly, then one larger than a block")
        << QList<int>{block, 0, 3 * block + 17, 0, 1, block + 1, 2} << qulonglong(UINT32_MAX);
    QTest::newRow("an empty value ends the first block before a value that does not fit")
        << QList<int>{block - 4, 0, 9, 0} << qulonglong(UINT32_MAX);
    QTest::newRow("the same with 64-bit offsets")
        << QList<int>{block - 10, 0, 5, 3 * block, 20, 0} << qulonglong(block / 2);
}

// Every value reads back whole and alone, wherever it fell among the blocks, also after the
// store gave back its spare room and after a copy of it.
void TestRecordStore::textsReadBackAcrossBlocks()
{
    QFETCH(QList<int>, sizes);
    QFETCH(qulonglong, narrowLimit);
    RecordStore store({RecordStore::Kind::Text}, narrowLimit);
    std::vector<QByteArray> values;
    for (int i = 0; i < sizes.size(); ++i) {
        // Each value's bytes say which value they are, so a read of a neighbour's shows.
        QByteArray value(sizes[i], char('a' + i % 26));
        if (!value.isEmpty())
            value[value.size() - 1] = 'Z';
        store.appendTextCell(0, value.constData(), size_t(value.size()));
        store.endRow();
        values.push_back(value);
    }
    store.shrinkToFit();
    const RecordStore copy = store;
    RecordStore::Scratch scratch;
    for (const RecordStore *s : {static_cast<const RecordStore *>(&store), &copy}) {
        QCOMPARE(s->rowCount(), int(values.size()));
        for (int row = 0; row < s->rowCount(); ++row) {
            QCOMPARE(s->bytes(row, 0), values[size_t(row)]);
            std::string_view utf8;
            QVERIFY(s->utf8(row, 0, scratch, utf8));
            QCOMPARE(qsizetype(utf8.size()), values[size_t(row)].size());
            QVERIFY(!s->isNull(row, 0));
        }
    }
}

QTEST_APPLESS_MAIN(TestRecordStore)
#include "tst_record_store.moc"
