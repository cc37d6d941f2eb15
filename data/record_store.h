// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/row_index.h"

#include <QString>
#include <QVariant>

#include <cstdint>
#include <string>
#include <vector>

struct sqlite3_stmt;

// The rows of a static result, stored column by column: integers in one array, text as
// UTF-8 in one arena per column. Whole-table results may hold millions of rows, so a row
// costs a few bytes of bookkeeping beyond its text.
class RecordStore
{
public:
    enum class Kind { Integer, Real, Text };

    explicit RecordStore(std::vector<Kind> kinds);

    int rowCount() const { return int(m_order.size()); }
    int columnCount() const { return int(m_columns.size()); }
    Kind kind(int column) const { return m_columns[size_t(column)].kind; }

    bool isNull(int row, int column) const;
    QVariant value(int row, int column) const;
    // Plain text: decimal for numbers, empty for null.
    QString text(int row, int column) const;

    // Appends the statement's current row; the statement's column order is the store's.
    void appendFromStatement(sqlite3_stmt *statement);
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
        std::vector<std::int64_t> integers; // also holds doubles bit-for-bit for Real
        std::string arena;
        std::vector<std::uint64_t> offsets; // start of each slot's text; end is the next start
        std::vector<bool> nulls;
    };

    // Storage slots are appended only; m_order maps a row's position to its slot, so an
    // insert or an update never moves another row's data.
    std::uint32_t appendSlot(const std::vector<QVariant> &values);
    void appendValue(Column &column, const QVariant &value);
    void appendText(Column &column, const char *data, size_t size);
    void convertToText(Column &column);
    std::uint32_t slot(int row) const { return m_order.at(size_t(row)); }

    std::vector<Column> m_columns;
    RowIndex m_order;
    std::uint32_t m_slotCount = 0;
};
