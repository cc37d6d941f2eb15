// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/like.h"

#include <QChar>

#include <sqlite3.h>

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
    const std::string_view p(pattern, size_t(sqlite3_value_bytes(argv[0])));
    const std::string_view t(text, size_t(sqlite3_value_bytes(argv[1])));
    sqlite3_result_int(context, likeMatch(p, t, escape) ? 1 : 0);
}

} // namespace

bool likeMatch(std::string_view pattern, std::string_view text, char32_t escape)
{
    const auto *p = reinterpret_cast<const unsigned char *>(pattern.data());
    const auto *pEnd = p + pattern.size();
    const auto *s = reinterpret_cast<const unsigned char *>(text.data());
    const auto *sEnd = s + text.size();
    const unsigned char *starP = nullptr;
    const unsigned char *starS = nullptr;

    while (s < sEnd) {
        if (p < pEnd) {
            const unsigned char *next = p;
            char32_t pc = decode(next, pEnd);
            bool literal = false;
            if (escape != 0 && pc == escape && next < pEnd) {
                pc = decode(next, pEnd);
                literal = true;
            }
            if (!literal && pc == U'%') {
                starP = next;
                starS = s;
                p = next;
                continue;
            }
            const unsigned char *sNext = s;
            const char32_t sc = decode(sNext, sEnd);
            if ((!literal && pc == U'_') || fold(pc) == fold(sc)) {
                p = next;
                s = sNext;
                continue;
            }
        }
        if (!starP)
            return false;
        // Let the last '%' swallow one more character and try again from there.
        p = starP;
        decode(starS, sEnd);
        s = starS;
    }
    while (p < pEnd) {
        const unsigned char *next = p;
        if (decode(next, pEnd) != U'%')
            return false;
        p = next;
    }
    return true;
}

void registerLike(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr,
                               nullptr);
    sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr,
                               nullptr);
}
