// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QFontMetricsF>

#include <array>
#include <atomic>
#include <bitset>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class QThread;
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
    // Learnt once per font, for the thread that calls it (a font's engine is per thread),
    // from what the process learnt of the font (see Learning).
    static const FontBounds &of(const QFont &font, const std::function<void()> &tick = {});

    // The bound in pixels for UTF-8 text; -1 when the text holds a character the bound does
    // not cover (tab, control, beyond Latin-1, drawn by a fallback font).
    int upperBound(std::string_view utf8) const;

private:
    friend class Learning;
    // What a font's bounds learn: plain numbers, kept for the process, so that any thread may
    // use what another learnt.
    struct Tables
    {
        std::array<std::int32_t, 256> advance{}; // 1/64 pixel; -1 where not covered
        std::vector<std::int32_t> kerning;       // 256 × 256 in 1/64 pixel; empty when none
        std::bitset<256 * 256> ligature;         // pairs shaped as one glyph
    };
    static Tables learn(const QFont &font, const std::function<void()> &tick);
    // The process's tables for font; unless learnt already, learnt here when asked to, else
    // null.
    static std::shared_ptr<const Tables> tables(const QFont &font, bool learnHere,
                                                const std::function<void()> &tick = {});
    FontBounds(std::shared_ptr<const Tables> tables, const QFont &font);

    // The exact width of a word, in 1/64 pixel, measured once; loose past the memory bound.
    std::int64_t wordWidth(std::string_view word, std::int64_t loose) const;
    static constexpr size_t wordLimit = 1 << 16;

    QFontMetricsF m_metrics;
    std::shared_ptr<const Tables> m_tables; // shared by every thread's bounds of the font
    mutable std::unordered_map<std::string, std::int64_t> m_words;
};

// Learns a font's bounds for the process on a thread of its own, so that a fit to come finds
// them learnt instead of learning them on the window's thread: a search starts it when its
// rows begin to be read. Nothing starts when the bounds are learnt already, or the machine has
// one processor, or the font cannot be copied for another thread. Destroying it stops the
// learning, unfinished if need be; a fit then learns as before.
class Learning
{
public:
    explicit Learning(const QFont &font);
    ~Learning();
    Learning(const Learning &) = delete;
    Learning &operator=(const Learning &) = delete;

    // Whether a thread is learning or has learnt.
    bool started() const { return m_thread != nullptr; }
    // Waits until the learning has ended, calling tick every few milliseconds meanwhile.
    void wait(const std::function<void()> &tick = {});

private:
    std::unique_ptr<QThread> m_thread;
    std::atomic<bool> m_stop{false};
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
