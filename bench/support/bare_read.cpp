// SPDX-License-Identifier: GPL-3.0-or-later
#include "bench/support/bare_read.h"

#include <sqlite3.h>

#include <cstring>

size_t BareResult::memoryUsage() const
{
    size_t total = columns.capacity() * sizeof(Column);
    for (const Column &c : columns) {
        total += c.integers.capacity() * sizeof(std::int64_t) + c.arena.capacity() +
                 c.ends.capacity() * sizeof(std::uint32_t);
    }
    return total;
}

BareShape shapeOf(const BareResult &result)
{
    BareShape shape;
    shape.rows = result.rows;
    for (const BareResult::Column &c : result.columns)
        shape.textBytes.push_back(c.arena.size());
    return shape;
}

BareResult bareRead(sqlite3 *db, const char *sql, const BareShape &shape)
{
    BareResult result;
    sqlite3_stmt *statement = nullptr;
    sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    const int count = sqlite3_column_count(statement);
    result.columns.resize(size_t(count));
    for (int c = 0; c < count; ++c) {
        BareResult::Column &column = result.columns[size_t(c)];
        const char *declared = sqlite3_column_decltype(statement, c);
        column.integer = declared && std::strstr(declared, "INT");
        if (column.integer) {
            column.integers.reserve(shape.rows);
        } else {
            column.ends.reserve(shape.rows);
            if (size_t(c) < shape.textBytes.size())
                column.arena.reserve(shape.textBytes[size_t(c)]);
        }
    }
    while (sqlite3_step(statement) == SQLITE_ROW) {
        for (int c = 0; c < count; ++c) {
            BareResult::Column &column = result.columns[size_t(c)];
            if (column.integer) {
                column.integers.push_back(sqlite3_column_int64(statement, c));
            } else {
                const auto *text =
                    reinterpret_cast<const char *>(sqlite3_column_text(statement, c));
                column.arena.append(text ? text : "", size_t(sqlite3_column_bytes(statement, c)));
                column.ends.push_back(std::uint32_t(column.arena.size()));
            }
        }
        ++result.rows;
    }
    sqlite3_finalize(statement);
    return result;
}

std::vector<BareShape> shapesOf(sqlite3 *db, std::span<const char *const> statements)
{
    std::vector<BareShape> shapes;
    for (const char *sql : statements)
        shapes.push_back(shapeOf(bareRead(db, sql)));
    return shapes;
}

std::vector<BareResult> bareReadAll(sqlite3 *db, std::span<const char *const> statements,
                                    const std::vector<BareShape> &shapes)
{
    std::vector<BareResult> results;
    results.reserve(statements.size());
    for (size_t i = 0; i < statements.size(); ++i)
        results.push_back(bareRead(db, statements[i], shapes[i]));
    return results;
}
