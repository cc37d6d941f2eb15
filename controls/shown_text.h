// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstddef>
#include <string_view>

class TADOQuery;

// A stored value may be of any length, a file made elsewhere holding hundreds of millions of
// characters in one name. What a cell shows and what a column fit measures is the value's
// start, more than any screen shows, so a huge value costs no more than a long one.
namespace ShownText {

inline constexpr std::size_t maxBytes = 16 * 1024;

// The start of UTF-8 text, at most maxBytes, never cut inside a character.
std::string_view prefix(std::string_view utf8);

// A field's text as shown in a cell: the value's start.
QString of(TADOQuery &dataSet, int record, int fieldIndex);

} // namespace ShownText
