// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/column_fit.h"

#include "data/query.h"

#include <QFont>
#include <QFontMetrics>
#include <QSet>

#include <algorithm>
#include <exception>
#include <thread>

namespace {

// Below this many cells a second thread costs more than it saves.
constexpr qint64 parallelCells = 20000;
// A column whose texts rarely repeat stops remembering them, so memory stays bounded.
constexpr int cacheProbe = 4096;
constexpr int cacheLimit = 1 << 16;

// Printable Latin-1 only: these are drawn by the font itself (no fallback font with wider
// glyphs) and hold no tab, whose width is a tab stop rather than a glyph.
bool plainLatin1(const QString &text)
{
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7f && u < 0xa0) || u > 0xff)
            return false;
    }
    return true;
}

// The narrow-text bound holds only if the font draws every plain Latin-1 character itself
// and none is wider than the font's widest character; otherwise it is not used.
int narrowBound(const QFontMetrics &metrics)
{
    const int widest = metrics.maxWidth();
    if (widest <= 0)
        return 0;
    for (char16_t u = 0x20; u <= 0xff; ++u) {
        if (u >= 0x7f && u < 0xa0)
            continue;
        if (!metrics.inFont(QChar(u)) || metrics.horizontalAdvance(QChar(u)) > widest)
            return 0;
    }
    return widest;
}

struct ColumnCache
{
    QSet<QString> seen;
    int lookups = 0;
    int hits = 0;
    bool active = true;
};

void measureRange(const TADOQuery &dataSet, int from, int to, const QFont &font, int bound,
                  bool skipRepeats, std::vector<int> &widths)
{
    const QFontMetrics metrics(font);
    const int columns = int(widths.size());
    std::vector<ColumnCache> caches(static_cast<size_t>(columns));
    for (int record = from; record < to; ++record) {
        for (int column = 0; column < columns; ++column) {
            int &widest = widths[size_t(column)];
            const QString text = dataSet.textAt(record, column);
            if (bound > 0 && qint64(text.size()) * bound <= widest && plainLatin1(text))
                continue;
            ColumnCache &cache = caches[size_t(column)];
            if (skipRepeats && cache.active) {
                ++cache.lookups;
                if (cache.seen.contains(text)) {
                    ++cache.hits;
                    continue;
                }
                if (cache.seen.size() < cacheLimit)
                    cache.seen.insert(text);
                if (cache.lookups == cacheProbe && cache.hits * 4 < cache.lookups) {
                    cache.active = false;
                    cache.seen = {};
                }
            }
            widest = std::max(widest, metrics.horizontalAdvance(text));
        }
    }
}

} // namespace

void ColumnFit::widenToTexts(const TADOQuery &dataSet, int firstRecord, const QFont &font,
                             std::vector<int> &widths, const Options &options)
{
    if (widths.size() > size_t(dataSet.fieldCount()))
        widths.resize(size_t(dataSet.fieldCount()));
    const int from = std::max(0, firstRecord);
    const int to = dataSet.recordCount();
    if (from >= to || widths.empty())
        return;
    const int bound = options.skipNarrow ? narrowBound(QFontMetrics(font)) : 0;

    const qint64 cells = qint64(to - from) * qint64(widths.size());
    if (options.threads < 2 || cells < parallelCells) {
        measureRange(dataSet, from, to, font, bound, options.skipRepeats, widths);
        return;
    }

    // The second half goes to another thread with a font of its own: a QFont's engine
    // cache must not be shared between threads. Both only read the dataset.
    const int middle = from + (to - from) / 2;
    QFont otherFont;
    otherFont.fromString(font.toString());
    std::vector<int> otherWidths = widths;
    std::exception_ptr otherFailure;
    std::thread other([&, otherFont = std::move(otherFont)] {
        try {
            measureRange(dataSet, middle, to, otherFont, bound, options.skipRepeats, otherWidths);
        } catch (...) {
            otherFailure = std::current_exception();
        }
    });
    try {
        measureRange(dataSet, from, middle, font, bound, options.skipRepeats, widths);
    } catch (...) {
        other.join();
        throw;
    }
    other.join();
    if (otherFailure)
        std::rethrow_exception(otherFailure);
    for (size_t i = 0; i < widths.size(); ++i)
        widths[i] = std::max(widths[i], otherWidths[i]);
}
