// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QFontMetricsF>

#include <array>
#include <bitset>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TADOQuery;

namespace ColumnFit {

// Cheap upper bounds of text widths in one font, learnt once per font: the advance of each
// printable Latin-1 character the font draws itself, and the kerning of each pair of them.
// A text's bound is its characters' advances plus the kerning of its adjacent pairs, shaping
// being pairwise; negative kerning counts only where no ligature is next to the pair (a
// ligature may take the place of a kerned glyph), and ligatures only narrow a text. A word
// that loses kerning that way is measured exactly once and remembered. So the bound never
// falls below QFontMetrics::horizontalAdvance, and equals it for most texts, which is what
// lets the fit skip nearly all of them.
class FontBounds
{
public:
    // Learning takes tens of milliseconds: tick, when given, is called between rows of
    // pairs, so that a window can keep painting meanwhile.
    explicit FontBounds(const QFont &font, const std::function<void()> &tick = {});
    // What learnt has learnt, for another thread: font is that thread's own copy of the same
    // font, which its exact measurements use.
    FontBounds(const FontBounds &learnt, const QFont &font);
    // Learnt once per font, for the thread that calls it (a font's engine is per thread).
    static const FontBounds &of(const QFont &font, const std::function<void()> &tick = {});

    // The bound in pixels for UTF-8 text; -1 when the text holds a character the bound does
    // not cover (tab, control, beyond Latin-1, drawn by a fallback font).
    int upperBound(std::string_view utf8) const;

private:
    // The exact width of a word, in 1/64 pixel, measured once; loose past the memory bound.
    std::int64_t wordWidth(std::string_view word, std::int64_t loose) const;
    static constexpr size_t wordLimit = 1 << 16;

    QFontMetricsF m_metrics;
    std::array<std::int32_t, 256> m_advance{}; // 1/64 pixel; -1 where not covered
    std::vector<std::int32_t> m_kerning;       // 256 × 256 in 1/64 pixel; empty when none
    std::bitset<256 * 256> m_ligature;         // pairs shaped as one glyph
    mutable std::unordered_map<std::string, std::int64_t> m_words;
};

struct Options
{
    // Measures exactly only the texts whose cheap bound exceeds their column's width so far.
    bool cheapBound = true;
    // Called every few thousand records, so a long fit can keep its window painting.
    std::function<void()> tick;
    // Records handed out at a time when a second thread shares a cheap-bound fit; the second
    // thread helps only when there are at least two such runs and more than one processor.
    int recordsPerRun = 16384;
    bool secondThread = true;
};

// Widens each entry of widths to the pixel width, in font, of the text of the field at the
// same position in every record from firstRecord to the last, as a cell shows it (a huge
// value's start, ShownText). The result equals measuring every such text with
// QFontMetrics::horizontalAdvance; the options only avoid measurements that cannot change it. Reads
// the dataset by position without moving it.
void widenToTexts(TADOQuery &dataSet, int firstRecord, const QFont &font, std::vector<int> &widths,
                  const Options &options = {});

} // namespace ColumnFit
