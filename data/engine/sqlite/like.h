// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

struct sqlite3;

// Replaces the engine's LIKE, which folds ASCII letters only, on this connection, by
// core/like_pattern.h's, and adds like_sem_acentos(pattern, text), which also ignores accents. A
// match over a long value asks `goesOn` now and then and, once it answers false, ends the statement
// as interrupted: one call on a value of any length can then be stopped.
void registerLike(sqlite3 *db, std::function<bool()> goesOn = {});
