// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/like_pattern.h"

#include <QChar>
#include <QList>
#include <QString>

char32_t LikePattern::decode(const unsigned char *&p, const unsigned char *end)
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

namespace {

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

using Outcome = LikePattern::Outcome;
constexpr char32_t anyText = 0xFFFFFFFF;
constexpr char32_t oneChar = 0xFFFFFFFE;

template <char32_t (*Fold)(char32_t)>
std::vector<char32_t> compile(std::string_view pattern, char32_t escape)
{
    std::vector<char32_t> tokens;
    const auto *p = reinterpret_cast<const unsigned char *>(pattern.data());
    const auto *end = p + pattern.size();
    while (p < end) {
        char32_t c = LikePattern::decode(p, end);
        if (escape != 0 && c == escape && p < end) {
            if (const char32_t f = Fold(LikePattern::decode(p, end)); f != dropped)
                tokens.push_back(f);
        } else if (c == U'%') {
            if (tokens.empty() || tokens.back() != anyText)
                tokens.push_back(anyText);
        } else if (c == U'_') {
            tokens.push_back(oneChar);
        } else if (const char32_t f = Fold(c); f != dropped) {
            tokens.push_back(f);
        }
    }
    return tokens;
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
    return Fold(LikePattern::decode(s, end));
}

// Steps of a match between two questions whether it may go on: about a millisecond.
constexpr unsigned stepsPerCheck = 1u << 20;

template <char32_t (*Fold)(char32_t)>
Outcome matchCompiled(const std::vector<char32_t> &tokens, std::string_view text,
                      const std::function<bool()> *goesOn)
{
    unsigned steps = 0;
    const char32_t *p = tokens.data();
    const char32_t *pEnd = p + tokens.size();
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
            if (*p == anyText) {
                starP = ++p;
                starS = s;
                continue;
            }
            if (*p == oneChar || *p == sc) {
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
    while (p < pEnd && *p == anyText)
        ++p;
    return p == pEnd ? Outcome::Match : Outcome::NoMatch;
}

} // namespace

LikePattern::LikePattern(std::string_view pattern, Folding folding, char32_t escape)
    : m_folding(folding)
    , m_tokens(folding == Folding::Case ? compile<fold>(pattern, escape)
                                        : compile<foldAccents>(pattern, escape))
{}

LikePattern::Outcome LikePattern::match(std::string_view text,
                                        const std::function<bool()> *goesOn) const
{
    return m_folding == Folding::Case ? matchCompiled<fold>(m_tokens, text, goesOn)
                                      : matchCompiled<foldAccents>(m_tokens, text, goesOn);
}

bool likeMatch(std::string_view pattern, std::string_view text, char32_t escape)
{
    return LikePattern(pattern, LikePattern::Folding::Case, escape).match(text) ==
           LikePattern::Outcome::Match;
}

bool likeMatchIgnoringAccents(std::string_view pattern, std::string_view text)
{
    return LikePattern(pattern, LikePattern::Folding::CaseAndAccents).match(text) ==
           LikePattern::Outcome::Match;
}
