// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/sqlite/like.h"

#include "core/like_pattern.h"

#include <sqlite3.h>

#include <memory>

namespace {

void answer(sqlite3_context *context, LikePattern::Outcome outcome)
{
    if (outcome == LikePattern::Outcome::Stopped)
        sqlite3_result_error_code(context, SQLITE_INTERRUPT);
    else
        sqlite3_result_int(context, outcome == LikePattern::Outcome::Match ? 1 : 0);
}

void deleteCheck(void *goesOn)
{
    delete static_cast<std::function<bool()> *>(goesOn);
}

void deletePattern(void *pattern)
{
    delete static_cast<LikePattern *>(pattern);
}

template <LikePattern::Folding folding>
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
            escape = LikePattern::decode(e, end);
        if (escape == 0 || e != end) {
            sqlite3_result_error(context, "ESCAPE expression must be a single character", -1);
            return;
        }
    }
    const std::string_view t(text, size_t(sqlite3_value_bytes(argv[1])));
    const auto *goesOn = static_cast<const std::function<bool()> *>(sqlite3_user_data(context));
    // The engine keeps the compiled pattern while the pattern argument stays the same.
    if (const auto *cached = static_cast<LikePattern *>(sqlite3_get_auxdata(context, 0))) {
        answer(context, cached->match(t, goesOn));
        return;
    }
    auto compiled = std::make_unique<LikePattern>(
        std::string_view(pattern, size_t(sqlite3_value_bytes(argv[0]))), folding, escape);
    answer(context, compiled->match(t, goesOn));
    // May delete the pattern at once, so it is handed over last.
    sqlite3_set_auxdata(context, 0, compiled.release(), deletePattern);
}

} // namespace

void registerLike(sqlite3 *db, std::function<bool()> goesOn)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    // Each registration owns its copy of the check; the engine deletes it with the function.
    const auto check = [&]() -> void * {
        return goesOn ? new std::function<bool()>(goesOn) : nullptr;
    };
    sqlite3_create_function_v2(db, "like", 2, flags, check(),
                               likeFunction<LikePattern::Folding::Case>, nullptr, nullptr,
                               deleteCheck);
    sqlite3_create_function_v2(db, "like", 3, flags, check(),
                               likeFunction<LikePattern::Folding::Case>, nullptr, nullptr,
                               deleteCheck);
    sqlite3_create_function_v2(db, "like_sem_acentos", 2, flags, check(),
                               likeFunction<LikePattern::Folding::CaseAndAccents>, nullptr, nullptr,
                               deleteCheck);
}
