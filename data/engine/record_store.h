// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/engine/row_index.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The rows of a static result, stored column by column: integers in one array (32-bit while
// they fit), text as UTF-8 in blocks per column. Whole-table results may hold millions of rows,
// so a row costs a few bytes of bookkeeping beyond its text, and every array grows by blocks
// so that no append copies what was stored before.
class RecordStore
{
public:
    enum class Kind { Integer, Real, Text };

    // Text offsets take 32 bits while a column's text stays under narrowLimit bytes, 64 past it.
    explicit RecordStore(std::vector<Kind> kinds, std::uint64_t narrowLimit = UINT32_MAX);

    int rowCount() const { return int(m_order.size()); }
    int columnCount() const { return int(m_columns.size()); }
    Kind kind(int column) const { return m_columns[size_t(column)].kind; }

    bool isNull(int row, int column) const;
    QVariant value(int row, int column) const;
    // Plain text: decimal for numbers, empty for null.
    QString text(int row, int column) const;
    // The same text as UTF-8 without making a QString: a view into the store for text, the
    // digits written into scratch for integers. Reals are not served: returns false.
    using Scratch = std::array<char, 24>;
    bool utf8(int row, int column, Scratch &scratch, std::string_view &text) const;
    // A text column's value exactly as the engine gave it, which need not be valid UTF-8.
    QByteArray bytes(int row, int column) const;

    // A row cell by cell, in column order, then endRow(), from an engine that gives each value
    // with its type (the file's rows). A value that does not fit its column's kind turns the
    // column into text, so every value is kept faithfully.
    void appendNullCell(int column);
    void appendIntegerCell(int column, std::int64_t value);
    void appendRealCell(int column, double value);
    void appendUtf8Cell(int column, const char *data, size_t size);
    // Gives back what the columns reserved while growing; for the end of a read.
    void shrinkToFit();
    // A row cell by cell, in column order, then endRow(): for readers that get every value as
    // text (a server's rows). Null data is NULL; numbers come in decimal.
    void appendTextCell(int column, const char *data, size_t size);
    void endRow();
    void insertRow(int row, const std::vector<QVariant> &values);
    void replaceRow(int row, const std::vector<QVariant> &values);
    void removeRow(int row);
    std::vector<QVariant> rowValues(int row) const;
    // The row as the engine holds it, text as its bytes (valid UTF-8 or not), for matching it
    // in a write.
    std::vector<QVariant> storedRow(int row) const;
    // The first row whose value in `column` equals `value` (numbers as numbers, text as
    // text); -1 when none does or `value` is null.
    int findRow(int column, const QVariant &value) const;

    size_t memoryUsage() const;

private:
    // An array grown in blocks of a fixed number of elements: a push never copies more than
    // one block, whatever the size, and a read is two indexings.
    template <typename T> class Blocks
    {
    public:
        size_t size() const { return m_size; }
        bool empty() const { return m_size == 0; }
        const T &operator[](size_t i) const { return m_blocks[i >> shift][i & mask]; }
        void push_back(T value)
        {
            if ((m_size & mask) == 0 && m_size > 0)
                m_blocks.emplace_back().reserve(blockSize);
            else if (m_blocks.empty())
                m_blocks.emplace_back();
            m_blocks.back().push_back(value);
            ++m_size;
        }
        template <typename U> void assignFrom(const Blocks<U> &other)
        {
            *this = {};
            for (size_t i = 0; i < other.size(); ++i)
                push_back(T(other[i]));
        }
        void shrink_to_fit()
        {
            if (!m_blocks.empty())
                m_blocks.back().shrink_to_fit();
        }
        size_t capacity() const
        {
            size_t total = 0;
            for (const std::vector<T> &block : m_blocks)
                total += block.capacity();
            return total;
        }

    private:
        static constexpr unsigned shift = 16;
        static constexpr size_t blockSize = size_t(1) << shift;
        static constexpr size_t mask = blockSize - 1;
        std::vector<std::vector<T>> m_blocks;
        size_t m_size = 0;
    };

    // A column's text in blocks of a megabyte that never move once full, so an append costs
    // at most one block's copy however large the column. A value never straddles two blocks:
    // one that does not fit the rest of a block starts the next, and one larger than a block
    // gets a block of its own size, the next value starting on a fresh block after the
    // positions it covers. Positions are counted as if the blocks lay end to end, a
    // position's block being position / blockSize.
    class TextBlocks
    {
    public:
        // Stores the bytes, which end at end() afterwards.
        void append(const char *data, size_t size);
        // The end of the last value stored.
        std::uint64_t end() const { return m_end; }
        // The value stored between the end of the one before (begin) and its own end: it
        // starts on the next block when nothing of it is in begin's block, and ends no later
        // than its block's bytes.
        std::string_view view(std::uint64_t begin, std::uint64_t end) const
        {
            if (end == begin)
                return {"", 0};
            size_t block = size_t(begin >> shift);
            if (begin == m_used[block])
                begin = std::uint64_t(++block) << shift;
            return {m_blocks[block].data() + (begin & mask),
                    size_t(std::min(end, m_used[block]) - begin)};
        }
        void shrinkToFit();
        size_t capacity() const;

    private:
        static constexpr unsigned shift = 20;
        static constexpr std::uint64_t blockSize = std::uint64_t(1) << shift;
        static constexpr std::uint64_t mask = blockSize - 1;
        // One entry per block position; a large value's block holds its first position,
        // the positions after it stay empty.
        std::vector<std::vector<char>> m_blocks;
        // Where each block's bytes end, as a position.
        std::vector<std::uint64_t> m_used;
        std::uint64_t m_end = 0;
    };

    struct Column
    {
        Kind kind = Kind::Text;
        // An integer column's values, 32-bit while they all fit, then in integers; a real
        // column's values are in integers, bit-for-bit.
        Blocks<std::int32_t> narrowIntegers;
        Blocks<std::int64_t> integers;
        TextBlocks text;
        // Position of each slot's text in the blocks, the end being the next slot's start:
        // 32-bit while the text fits, in wideOffsets once it has outgrown that.
        Blocks<std::uint32_t> offsets;
        Blocks<std::uint64_t> wideOffsets;
        std::vector<bool> nulls;

        std::uint64_t offset(size_t i) const
        {
            return wideOffsets.empty() ? offsets[i] : wideOffsets[i];
        }
        std::string_view textAt(size_t i) const { return text.view(offset(i), offset(i + 1)); }
        std::int64_t integer(size_t i) const
        {
            return integers.empty() ? narrowIntegers[i] : integers[i];
        }
        double real(size_t i) const { return std::bit_cast<double>(integers[i]); }
    };

    // Storage slots are appended only; m_order maps a row's position to its slot, so an
    // insert or an update never moves another row's data.
    std::uint32_t appendSlot(const std::vector<QVariant> &values);
    void appendValue(Column &column, const QVariant &value);
    void appendText(Column &column, const char *data, size_t size) const;
    // A real's value comes as its bits.
    static void appendNumber(Column &column, std::int64_t value);
    void convertToText(Column &column) const;
    std::uint32_t slot(int row) const { return m_order.at(size_t(row)); }

    std::vector<Column> m_columns;
    std::uint64_t m_narrowLimit;
    RowIndex m_order;
    std::uint32_t m_slotCount = 0;
};
