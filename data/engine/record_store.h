// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/engine/row_index.h"

#include <QByteArray>
#include <QString>
#include <QVariant>

#include <array>
#include <bit>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The rows of a static result, stored column by column: integers in one array (32-bit while
// they fit), text as UTF-8 in one arena per column. Whole-table results may hold millions of rows,
// so a row costs a few bytes of bookkeeping beyond its text.
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

    size_t memoryUsage() const;

private:
    struct Column
    {
        Kind kind = Kind::Text;
        // An integer column's values, 32-bit while they all fit, then in integers; a real
        // column's values are in integers, bit-for-bit.
        std::vector<std::int32_t> narrowIntegers;
        std::vector<std::int64_t> integers;
        // Grown and shrunk with realloc, which moves a large arena's pages instead of
        // copying them: growth at a million rows costs no pause.
        QByteArray arena;
        // Start of each slot's text, the end being the next start: 32-bit while the arena
        // fits, in wideOffsets once it has outgrown that.
        std::vector<std::uint32_t> offsets;
        std::vector<std::uint64_t> wideOffsets;
        std::vector<bool> nulls;

        std::uint64_t offset(size_t i) const
        {
            return wideOffsets.empty() ? offsets[i] : wideOffsets[i];
        }
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
