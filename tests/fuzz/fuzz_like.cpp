// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/like_pattern.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

// Input: pattern, a zero byte, text.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view all(reinterpret_cast<const char *>(data), size);
    const size_t split = all.find('\0');
    const std::string_view pattern = all.substr(0, split);
    const std::string_view text =
        split == std::string_view::npos ? std::string_view() : all.substr(split + 1);
    const bool matched = likeMatch(pattern, text);
    // A lone '%' matches everything; the text always matches itself when it has no wildcards.
    if (!likeMatch("%", text))
        __builtin_trap();
    if (text.find_first_of("%_") == std::string_view::npos && !likeMatch(text, text))
        __builtin_trap();
    // The same for the match that ignores accents, which also drops lone combining marks.
    const bool loosely = likeMatchIgnoringAccents(pattern, text);
    if (!likeMatchIgnoringAccents("%", text))
        __builtin_trap();
    if (text.find_first_of("%_") == std::string_view::npos && !likeMatchIgnoringAccents(text, text))
        __builtin_trap();
    (void)matched;
    (void)loosely;
    return 0;
}
