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

BareResult bareRead(sqlite3 *db, const char *sql)
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

std::vector<BareResult> bareReadAll(sqlite3 *db, std::span<const char *const> statements)
{
    std::vector<BareResult> results;
    results.reserve(statements.size());
    for (const char *sql : statements)
        results.push_back(bareRead(db, sql));
    return results;
}
