// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

struct sqlite3;

// The plainest fast copy of a result: a prepared statement stepped into typed arenas, int64
// for INTEGER columns and one UTF-8 arena with end offsets for every other column.
struct BareResult
{
    struct Column
    {
        bool integer = false;
        std::vector<std::int64_t> integers;
        std::string arena;
        std::vector<std::uint32_t> ends;
    };
    std::vector<Column> columns;
    size_t rows = 0;

    size_t memoryUsage() const;
};

BareResult bareRead(sqlite3 *db, const char *sql);

// The same for a run of statements, as start-up reads them.
std::vector<BareResult> bareReadAll(sqlite3 *db, std::span<const char *const> statements);
