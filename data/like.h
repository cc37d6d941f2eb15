// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string_view>

struct sqlite3;

// LIKE that ignores letter case for every letter, accented ones included ("ação" matches
// "AÇÃO"); '%' and '_' stay wildcards. Both texts are UTF-8.
bool likeMatch(std::string_view pattern, std::string_view text, char32_t escape = 0);

// Replaces the engine's LIKE, which folds ASCII letters only, on this connection. A match
// over a long value asks `goesOn` now and then and, once it answers false, ends the statement
// as interrupted: one call on a value of any length can then be stopped.
void registerLike(sqlite3 *db, std::function<bool()> goesOn = {});
