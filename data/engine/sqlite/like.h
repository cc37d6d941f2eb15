// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string_view>

struct sqlite3;

// LIKE that ignores letter case for every letter, accented ones included ("ação" matches
// "AÇÃO"); '%' and '_' stay wildcards. Both texts are UTF-8.
bool likeMatch(std::string_view pattern, std::string_view text, char32_t escape = 0);

// As likeMatch, and letters also match without regard to their accents ("acao" matches
// "Ação", "café" matches "CAFE"); a combining accent on its own matches nothing.
bool likeMatchIgnoringAccents(std::string_view pattern, std::string_view text);

// Replaces the engine's LIKE, which folds ASCII letters only, on this connection, and adds
// like_sem_acentos(pattern, text), which also ignores accents. A match over a long value asks
// `goesOn` now and then and, once it answers false, ends the statement as interrupted: one
// call on a value of any length can then be stopped.
void registerLike(sqlite3 *db, std::function<bool()> goesOn = {});
