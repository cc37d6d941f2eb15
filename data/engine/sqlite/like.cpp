// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/sqlite/like.h"

#include <QChar>
#include <QList>
#include <QString>

#include <sqlite3.h>

#include <memory>
#include <vector>

namespace {

// Decodes one code point; a malformed byte stands for itself so matching never stalls.
char32_t decode(const unsigned char *&p, const unsigned char *end)
{
    const unsigned char lead = *p++;
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t c = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1;
        c = lead & 0x1F;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        c = lead & 0x0F;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3;
        c = lead & 0x07;
    } else {
        return 0xDC00 + lead;
    }
    if (end - p < extra)
        return 0xDC00 + lead;
    for (int i = 0; i < extra; ++i) {
        if ((p[i] & 0xC0) != 0x80)
            return 0xDC00 + lead;
    }
    for (int i = 0; i < extra; ++i)
        c = (c << 6) | (*p++ & 0x3F);
    return c;
}

inline char32_t fold(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    return QChar::toCaseFolded(c);
}

// Stands for a code point that folds to nothing (a combining accent on its own).
constexpr char32_t dropped = 0xFFFFFFFD;

// The letter without its accents: the canonical decomposition less the combining
// diacritical marks (U+0300..U+036F), composed again. The server's search spells the same
// steps with normalize() and regexp_replace(), so both find the same rows. A letter that
// would not come back as one code point is kept as it is.
char32_t withoutAccentsSlow(char32_t c)
{
    const char32_t one[1] = {c};
    QString decomposed = QString::fromUcs4(one, 1).normalized(QString::NormalizationForm_D);
    decomposed.removeIf([](QChar m) { return m.unicode() >= 0x300 && m.unicode() <= 0x36F; });
    if (decomposed.isEmpty())
        return dropped;
    const QList<uint> composed = decomposed.normalized(QString::NormalizationForm_C).toUcs4();
    return composed.size() == 1 ? char32_t(composed[0]) : c;
}

// Worked out once for the Basic Multilingual Plane: a row's every letter passes here.
char32_t withoutAccents(char32_t c)
{
    if (c < 0xC0)
        return c; // ASCII and Latin-1 signs have no accents to lose
    if (c >= 0x10000 || (c >= 0xD800 && c <= 0xDFFF))
        return c;
    static const std::vector<char32_t> table = [] {
        std::vector<char32_t> t(0x10000);
        for (char32_t i = 0; i < 0x10000; ++i)
            t[i] = (i < 0xC0 || (i >= 0xD800 && i <= 0xDFFF)) ? i : withoutAccentsSlow(i);
        return t;
    }();
    return table[c];
}

inline char32_t foldAccents(char32_t c)
{
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    const char32_t base = withoutAccents(c);
    return base == dropped ? dropped : fold(base);
}

// A pattern decoded and folded once per statement, not once per row.
struct CompiledPattern
{
    static constexpr char32_t anyText = 0xFFFFFFFF;
    static constexpr char32_t oneChar = 0xFFFFFFFE;
    std::vector<char32_t> tokens;
};

template <char32_t (*Fold)(char32_t)>
CompiledPattern compile(std::string_view pattern, char32_t escape)
{
    CompiledPattern compiled;
    const auto *p = reinterpret_cast<const unsigned char *>(pattern.data());
    const auto *end = p + pattern.size();
    while (p < end) {
        char32_t c = decode(p, end);
        if (escape != 0 && c == escape && p < end) {
            if (const char32_t f = Fold(decode(p, end)); f != dropped)
                compiled.tokens.push_back(f);
        } else if (c == U'%') {
            if (compiled.tokens.empty() || compiled.tokens.back() != CompiledPattern::anyText)
                compiled.tokens.push_back(CompiledPattern::anyText);
        } else if (c == U'_') {
            compiled.tokens.push_back(CompiledPattern::oneChar);
        } else if (const char32_t f = Fold(c); f != dropped) {
            compiled.tokens.push_back(f);
        }
    }
    return compiled;
}

// The next letter as matched; `dropped` for one that matches nothing and is stepped over.
template <char32_t (*Fold)(char32_t)>
inline char32_t nextFolded(const unsigned char *&s, const unsigned char *end)
{
    const unsigned char b = *s;
    if (b < 0x80) {
        ++s;
        return (b >= 'A' && b <= 'Z') ? char32_t(b + 32) : char32_t(b);
    }
    return Fold(decode(s, end));
}

// Steps of a match between two questions whether it may go on: about a millisecond.
constexpr unsigned stepsPerCheck = 1u << 20;

enum class Outcome { NoMatch, Match, Stopped };

template <char32_t (*Fold)(char32_t)>
Outcome matchCompiled(const CompiledPattern &pattern, std::string_view text,
                      const std::function<bool()> *goesOn = nullptr)
{
    unsigned steps = 0;
    const char32_t *p = pattern.tokens.data();
    const char32_t *pEnd = p + pattern.tokens.size();
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const auto *sEnd = s + text.size();
    const char32_t *starP = nullptr;
    const unsigned char *starS = nullptr;

    while (s < sEnd) {
        if (goesOn && ++steps == stepsPerCheck) {
            steps = 0;
            if (!(*goesOn)())
                return Outcome::Stopped;
        }
        const unsigned char *sNext = s;
        const char32_t sc = nextFolded<Fold>(sNext, sEnd);
        if (sc == dropped) {
            s = sNext;
            continue;
        }
        if (p < pEnd) {
            if (*p == CompiledPattern::anyText) {
                starP = ++p;
                starS = s;
                continue;
            }
            if (*p == CompiledPattern::oneChar || *p == sc) {
                ++p;
                s = sNext;
                continue;
            }
        }
        if (!starP)
            return Outcome::NoMatch;
        // Let the last '%' swallow one more character and try again from there.
        p = starP;
        nextFolded<Fold>(starS, sEnd);
        s = starS;
    }
    while (p < pEnd && *p == CompiledPattern::anyText)
        ++p;
    return p == pEnd ? Outcome::Match : Outcome::NoMatch;
}

void answer(sqlite3_context *context, Outcome outcome)
{
    if (outcome == Outcome::Stopped)
        sqlite3_result_error_code(context, SQLITE_INTERRUPT);
    else
        sqlite3_result_int(context, outcome == Outcome::Match ? 1 : 0);
}

void deleteCheck(void *goesOn)
{
    delete static_cast<std::function<bool()> *>(goesOn);
}

void deletePattern(void *pattern)
{
    delete static_cast<CompiledPattern *>(pattern);
}

template <char32_t (*Fold)(char32_t)>
void likeFunction(sqlite3_context *context, int argc, sqlite3_value **argv)
{
    const auto *pattern = reinterpret_cast<const char *>(sqlite3_value_text(argv[0]));
    const auto *text = reinterpret_cast<const char *>(sqlite3_value_text(argv[1]));
    if (!pattern || !text)
        return; // NULL LIKE anything is NULL
    char32_t escape = 0;
    if (argc == 3) {
        const auto *e = sqlite3_value_text(argv[2]);
        const unsigned char *end = e ? e + sqlite3_value_bytes(argv[2]) : nullptr;
        if (e && e < end)
            escape = decode(e, end);
        if (escape == 0 || e != end) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return;
        }
    }
    const std::string_view t(text, size_t(sqlite3_value_bytes(argv[1])));
    const auto *goesOn = static_cast<const std::function<bool()> *>(sqlite3_user_data(context));
    // The engine keeps the compiled pattern while the pattern argument stays the same.
    if (const auto *cached = static_cast<CompiledPattern *>(sqlite3_get_auxdata(context, 0))) {
        answer(context, matchCompiled<Fold>(*cached, t, goesOn));
        return;
    }
    auto compiled = std::make_unique<CompiledPattern>(
        compile<Fold>(std::string_view(pattern, size_t(sqlite3_value_bytes(argv[0]))), escape));
    answer(context, matchCompiled<Fold>(*compiled, t, goesOn));
    // May delete the pattern at once, so it is handed over last.
    sqlite3_set_auxdata(context, 0, compiled.release(), deletePattern);
}

} // namespace

bool likeMatch(std::string_view pattern, std::string_view text, char32_t escape)
{
    return matchCompiled<fold>(compile<fold>(pattern, escape), text) == Outcome::Match;
}

bool likeMatchIgnoringAccents(std::string_view pattern, std::string_view text)
{
    return matchCompiled<foldAccents>(compile<foldAccents>(pattern, 0), text) == Outcome::Match;
}

void registerLike(sqlite3 *db, std::function<bool()> goesOn)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    // Each registration owns its copy of the check; the engine deletes it with the function.
    const auto check = [&]() -> void * {
        return goesOn ? new std::function<bool()>(goesOn) : nullptr;
    };
    sqlite3_create_function_v2(db, "like", 2, flags, check(), likeFunction<fold>, nullptr, nullptr,
                               deleteCheck);
    sqlite3_create_function_v2(db, "like", 3, flags, check(), likeFunction<fold>, nullptr, nullptr,
                               deleteCheck);
    sqlite3_create_function_v2(db, "like_sem_acentos", 2, flags, check(), likeFunction<foldAccents>,
                               nullptr, nullptr, deleteCheck);
}
