// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string_view>
#include <vector>

// LIKE as the catalogue's searches mean it, on UTF-8 texts: letter case ignored for every
// letter, accented ones included ("ação" matches "AÇÃO"), and optionally the accents too
// ("acao" matches "Ação", "café" matches "CAFE"); '%' and '_' stay wildcards. The file engine
// calls it for every row; the server spells the same folding in SQL.
class LikePattern
{
public:
    enum class Folding { Case, CaseAndAccents };
    enum class Outcome { NoMatch, Match, Stopped };

    // Decoded and folded once, so a statement does it once and not once per row.
    LikePattern(std::string_view pattern, Folding folding, char32_t escape = 0);

    // A match over a long text asks `goesOn` about every millisecond and ends as Stopped once
    // it answers false: one call on a value of any length can then be stopped.
    Outcome match(std::string_view text, const std::function<bool()> *goesOn = nullptr) const;

    // Decodes one code point and steps past it; a malformed byte stands for itself so
    // matching never stalls.
    static char32_t decode(const unsigned char *&p, const unsigned char *end);

private:
    Folding m_folding;
    std::vector<char32_t> m_tokens;
};

// One-off matches, for tests and callers outside a statement.
bool likeMatch(std::string_view pattern, std::string_view text, char32_t escape = 0);
// As likeMatch, and letters also match without regard to their accents; a combining accent on
// its own matches nothing.
bool likeMatchIgnoringAccents(std::string_view pattern, std::string_view text);
