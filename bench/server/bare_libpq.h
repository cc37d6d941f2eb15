// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <libpq-fe.h>

#include <string>
#include <vector>

// The plainest fast read of a whole result with bare libpq, the server benchmarks' baseline: row
// by row in single-row mode (so the result is never held twice), every value copied into one
// vector of strings; `parameter`, when given, is bound to $1.
std::vector<std::string> bareRead(PGconn *conn, const char *sql, const char *parameter = nullptr);
