// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/column_fit.h"

#include "controls/shown_text.h"
#include "data/query.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QHash>
#include <QScopeGuard>
#include <QTextLayout>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

namespace ColumnFit {

namespace {

// Printable Latin-1 without the soft hyphen, which shows only where a line breaks.
bool covered(char16_t u)
{
    return (u >= 0x20 && u < 0x7f) || (u >= 0xa0 && u <= 0xff && u != 0xad);
}

std::int32_t toFixed(qreal pixels)
{
    return std::int32_t(qRound(pixels * 64));
}

int glyphCount(const QString &text, const QFont &font)
{
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    int count = 0;
    const QList<QGlyphRun> runs = layout.glyphRuns();
    for (const QGlyphRun &run : runs)
        count += int(run.glyphIndexes().size());
    return count;
}

// Texts measured exactly because their bound exceeded the column, so a repeat of one is not
// measured again. Bounded, as such texts are few unless the font kerns a lot.
constexpr size_t measuredLimit = 4096;
constexpr int tickRecords = 16384;

// A font's engines are per thread, and QFont shares its data between copies: another thread
// gets a font of its own, used and let go only there. Null when no copy equal to font can be
// made.
std::shared_ptr<QFont> fontForThread(const QFont &font)
{
    QFont copy(font.families());
    copy.fromString(font.toString());
    copy.setKerning(font.kerning());
    copy.setHintingPreference(font.hintingPreference());
    if (!(copy == font) || copy.key() != font.key())
        return nullptr;
    return std::make_shared<QFont>(std::move(copy));
}

// The widest text of each column over runs of records, for one thread.
struct RowsFit
{
    explicit RowsFit(const std::vector<int> &start)
        : widths(start)
        , measured(start.size())
    {}

    void widen(const RecordStore &store, const std::vector<int> &columns, int begin, int end,
               const FontBounds &bounds, const QFontMetrics &metrics,
               const std::function<void()> &tick)
    {
        for (size_t column = 0; column < widths.size(); ++column) {
            if (tick)
                tick();
            int &widest = widths[column];
            std::unordered_map<std::string, int> &known = measured[column];
            const int storeColumn = columns[column];
            for (int record = begin; record < end; ++record) {
                std::string_view text;
                if (!store.utf8(record, storeColumn, scratch, text)) {
                    widest = std::max(widest,
                                      metrics.horizontalAdvance(store.text(record, storeColumn)));
                    continue;
                }
                text = ShownText::prefix(text);
                const int bound = bounds.upperBound(text);
                if (bound >= 0 && bound <= widest)
                    continue;
                std::string key(text);
                const auto found = known.find(key);
                if (found != known.end()) {
                    widest = std::max(widest, found->second);
                    continue;
                }
                const int width = metrics.horizontalAdvance(
                    QString::fromUtf8(text.data(), qsizetype(text.size())));
                widest = std::max(widest, width);
                if (known.size() < measuredLimit)
                    known.emplace(std::move(key), width);
            }
        }
    }

    void takeWider(const RowsFit &other)
    {
        for (size_t column = 0; column < widths.size(); ++column)
            widths[column] = std::max(widths[column], other.widths[column]);
    }

    std::vector<int> widths;
    // Texts measured exactly, per column.
    std::vector<std::unordered_map<std::string, int>> measured;
    RecordStore::Scratch scratch;
};

} // namespace

FontBounds::FontBounds(const QFont &font, const std::function<void()> &tick)
    : FontBounds(std::make_shared<const Tables>(learn(font, tick)), font)
{}

FontBounds::FontBounds(std::shared_ptr<const Tables> tables, const QFont &font)
    : m_metrics(font)
    , m_tables(std::move(tables))
{}

FontBounds::Tables FontBounds::learn(const QFont &font, const std::function<void()> &tick)
{
    const QFontMetricsF metrics(font);
    Tables learnt;
    std::array<std::int32_t, 256> &advance = learnt.advance;
    std::u16string characters;
    advance.fill(-1);
    for (char16_t u = 0; u < 256; ++u) {
        if (!covered(u) || !metrics.inFont(QChar(u)))
            continue;
        advance[u] = toFixed(metrics.horizontalAdvance(QString(QChar(u))));
        characters.push_back(u);
    }
    // Measured pair by pair, as shaping does it: whatever a pair adds to or takes from its two
    // characters is its kerning, and a pair shaped as fewer glyphs is a ligature.
    std::vector<std::int32_t> kerning(256 * 256, 0);
    bool any = false;
    QString pair(2, QChar());
    for (const char16_t a : characters) {
        if (tick)
            tick();
        pair[0] = QChar(a);
        for (const char16_t b : characters) {
            pair[1] = QChar(b);
            const std::int32_t extra =
                toFixed(metrics.horizontalAdvance(pair)) - advance[a] - advance[b];
            if (extra == 0)
                continue;
            any = true;
            kerning[size_t(a) * 256 + b] = extra;
            if (glyphCount(pair, font) < 2)
                learnt.ligature.set(size_t(a) * 256 + b);
        }
    }
    if (any)
        learnt.kerning = std::move(kerning);
    return learnt;
}

FontBounds::FontBounds(const FontBounds &learnt, const QFont &font)
    : m_metrics(font)
    , m_tables(learnt.m_tables)
{}

std::shared_ptr<const FontBounds::Tables> FontBounds::tables(const QFont &font, bool learnHere,
                                                             const std::function<void()> &tick)
{
    // Never destroyed: a thread may still be learning when the program ends.
    static std::mutex *const mutex = new std::mutex;
    static auto *const learnt = new QHash<QString, std::shared_ptr<const Tables>>;
    const QString key = font.key();
    {
        const std::lock_guard lock(*mutex);
        if (std::shared_ptr<const Tables> known = learnt->value(key))
            return known;
    }
    if (!learnHere)
        return nullptr;
    // Learnt unlocked: no thread waits tens of milliseconds on another's learning.
    auto made = std::make_shared<const Tables>(learn(font, tick));
    const std::lock_guard lock(*mutex);
    if (std::shared_ptr<const Tables> known = learnt->value(key))
        return known;
    learnt->insert(key, made);
    return made;
}

const FontBounds &FontBounds::of(const QFont &font, const std::function<void()> &tick)
{
    thread_local QHash<QString, std::shared_ptr<const FontBounds>> known;
    const QString key = font.key();
    auto it = known.constFind(key);
    if (it == known.cend()) {
        it = known.insert(
            key, std::shared_ptr<const FontBounds>(new FontBounds(tables(font, true, tick), font)));
    }
    return **it;
}

namespace {

// Ends a learning no longer wanted.
struct Stopped
{
};

} // namespace

Learning::Learning(const QFont &font)
{
    if (QThread::idealThreadCount() < 2 || FontBounds::tables(font, false))
        return;
    std::shared_ptr<QFont> own = fontForThread(font);
    if (!own)
        return;
    m_thread.reset(QThread::create([this, own = std::move(own)]() mutable {
        try {
            FontBounds::tables(*own, true, [this] {
                if (m_stop)
                    throw Stopped();
            });
        } catch (...) {
            // Stopped, or failed: a fit learns on its own thread as before.
        }
        // Its engines belong to this thread: let go of them here.
        own.reset();
    }));
    m_thread->start();
}

Learning::~Learning()
{
    if (!m_thread)
        return;
    m_stop = true;
    m_thread->wait();
}

void Learning::wait(const std::function<void()> &tick)
{
    if (!m_thread)
        return;
    while (!m_thread->wait(QDeadlineTimer(5))) {
        if (tick)
            tick();
    }
}

std::int64_t FontBounds::wordWidth(std::string_view word, std::int64_t loose) const
{
    const auto known = m_words.find(std::string(word));
    if (known != m_words.end())
        return known->second;
    if (m_words.size() >= wordLimit)
        return loose;
    const std::int64_t width = toFixed(
        m_metrics.horizontalAdvance(QString::fromUtf8(word.data(), qsizetype(word.size()))));
    m_words.emplace(std::string(word), width);
    return width;
}

int FontBounds::upperBound(std::string_view utf8) const
{
    // Words are bounded alone and joined by their spaces. A pair's negative kerning counts
    // only when neither it nor a neighbouring pair is a ligature, which would put another
    // glyph in its place, so it waits for the next character; a word that lost some is
    // measured once, exactly, and remembered.
    const Tables &learnt = *m_tables;
    std::int64_t total = 0;
    std::int64_t word = 0;
    size_t wordStart = 0;
    bool inWord = false;
    bool wordLoose = false;
    unsigned previous = 256;
    std::int32_t pending = 0;
    bool pendingInWord = false;
    bool previousLigature = false;
    const auto endWord = [&](size_t end) {
        total += wordLoose ? wordWidth(utf8.substr(wordStart, end - wordStart), word) : word;
        inWord = false;
    };
    const size_t size = utf8.size();
    for (size_t i = 0; i < size; ++i) {
        const size_t start = i;
        unsigned u = static_cast<unsigned char>(utf8[i]);
        if (u >= 0x80) {
            // Two-byte sequences from 0xC2 0x80 to 0xC3 0xBF are Latin-1's upper half.
            if ((u != 0xc2 && u != 0xc3) || i + 1 == size)
                return -1;
            const unsigned next = static_cast<unsigned char>(utf8[++i]);
            if ((next & 0xc0) != 0x80)
                return -1;
            u = ((u & 0x1f) << 6) | (next & 0x3f);
        }
        const std::int32_t advance = learnt.advance[u];
        if (advance < 0)
            return -1;
        const bool space = u == 0x20;
        bool pairInWord = false;
        if (previous < 256 && !learnt.kerning.empty()) {
            const size_t at = size_t(previous) * 256 + u;
            const bool ligature = learnt.ligature.test(at);
            if (pending != 0) {
                if (!ligature)
                    (pendingInWord ? word : total) += pending;
                else if (pendingInWord)
                    wordLoose = true;
                pending = 0;
            }
            pairInWord = inWord && !space;
            const std::int32_t kerning = learnt.kerning[at];
            if (kerning > 0) {
                (pairInWord ? word : total) += kerning;
            } else if (kerning < 0) {
                if (!ligature && !previousLigature) {
                    pending = kerning;
                    pendingInWord = pairInWord;
                } else if (pairInWord) {
                    wordLoose = true;
                }
            }
            previousLigature = ligature;
        }
        if (space) {
            if (inWord)
                endWord(start);
            total += advance;
        } else {
            if (!inWord) {
                inWord = true;
                wordStart = start;
                word = 0;
                wordLoose = false;
            }
            word += advance;
        }
        previous = u;
    }
    if (pending != 0)
        (pendingInWord ? word : total) += pending;
    if (inWord)
        endWord(size);
    // Rounded as QFontMetrics rounds a width.
    return int((total + 32) >> 6);
}

void widenToTexts(TADOQuery &dataSet, int firstRecord, const QFont &font, std::vector<int> &widths,
                  const Options &options)
{
    if (widths.size() > size_t(dataSet.fieldCount()))
        widths.resize(size_t(dataSet.fieldCount()));
    const int from = std::max(0, firstRecord);
    const int to = dataSet.recordCount();
    if (from >= to || widths.empty())
        return;
    const QFontMetrics metrics(font);
    if (!options.cheapBound) {
        for (size_t column = 0; column < widths.size(); ++column) {
            for (int record = from; record < to; ++record) {
                if (options.tick && (record - from) % tickRecords == 0)
                    options.tick();
                widths[column] = std::max(widths[column], metrics.horizontalAdvance(ShownText::of(
                                                              dataSet, record, int(column))));
            }
        }
        return;
    }

    const FontBounds &bounds = FontBounds::of(font, options.tick);
    // The result as read: immutable, so a second thread may read it beside this one.
    const std::shared_ptr<const RecordStore> store = dataSet.resultSnapshot();
    std::vector<int> columns;
    for (size_t column = 0; column < widths.size(); ++column)
        columns.push_back(dataSet.storeColumn(int(column)));
    const int perRun = std::max(1, options.recordsPerRun);
    const int runs = (to - from + perRun - 1) / perRun;
    std::atomic<int> nextRun{0};
    const auto fitRuns = [&](const FontBounds &ownBounds, const QFontMetrics &ownMetrics,
                             RowsFit &fit, const std::function<void()> &tick) {
        for (int run = nextRun++; run < runs; run = nextRun++) {
            const int begin = from + run * perRun;
            fit.widen(*store, columns, begin, std::min(to, begin + perRun), ownBounds, ownMetrics,
                      tick);
        }
    };

    RowsFit mine(widths);
    RowsFit helped(widths);
    std::exception_ptr helperFailed;
    std::unique_ptr<QThread> helper;
    // Should this thread's part throw, the helper still reads what this frame holds.
    const auto joinHelper = qScopeGuard([&helper] {
        if (helper)
            helper->wait();
    });
    if (options.secondThread && runs >= 2 && QThread::idealThreadCount() > 1) {
        if (std::shared_ptr<QFont> helperFont = fontForThread(font)) {
            helper.reset(QThread::create([&, helperFont = std::move(helperFont)]() mutable {
                try {
                    {
                        const FontBounds helperBounds(bounds, *helperFont);
                        const QFontMetrics helperMetrics(*helperFont);
                        fitRuns(helperBounds, helperMetrics, helped, {});
                    }
                    // Its engines belong to this thread: let go of them here.
                    helperFont.reset();
                } catch (...) {
                    helperFailed = std::current_exception();
                }
            }));
            helper->start();
        }
    }
    fitRuns(bounds, metrics, mine, options.tick);
    if (helper) {
        // The runs are all taken; the helper finishes its last, the window painting meanwhile.
        while (!helper->wait(QDeadlineTimer(5))) {
            if (options.tick)
                options.tick();
        }
        helper->wait();
        if (helperFailed)
            std::rethrow_exception(helperFailed);
        mine.takeWider(helped);
    }
    widths = mine.widths;
}

} // namespace ColumnFit
