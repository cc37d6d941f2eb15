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
#include <condition_variable>
#include <cstring>
#include <deque>
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

// The cheap-bound rule for one text of a column: measured exactly only when its bound
// (or its characters) say it might be wider than the column so far.
inline void widenWith(int &widest, std::unordered_map<std::string, int> &known,
                      std::string_view text, const FontBounds &bounds, const QFontMetrics &metrics)
{
    const int bound = bounds.upperBound(text);
    if (bound >= 0 && bound <= widest)
        return;
    std::string key(text);
    const auto found = known.find(key);
    if (found != known.end()) {
        widest = std::max(widest, found->second);
        return;
    }
    const int width =
        metrics.horizontalAdvance(QString::fromUtf8(text.data(), qsizetype(text.size())));
    widest = std::max(widest, width);
    if (known.size() < measuredLimit)
        known.emplace(std::move(key), width);
}

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
                widenWith(widest, known, ShownText::prefix(text), bounds, metrics);
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
    : FontBounds(learn(font, tick), font)
{}

FontBounds::FontBounds(const Tables &tables, const QFont &font)
    : m_metrics(font)
    , m_advance(tables.advance)
    , m_kerning(tables.kerning)
    , m_ligature(tables.ligature)
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
    , m_advance(learnt.m_advance)
    , m_kerning(learnt.m_kerning)
    , m_ligature(learnt.m_ligature)
{}

FontBounds FontBounds::shared(const QFont &font, const std::function<void()> &tick)
{
    static std::mutex mutex;
    static QHash<QString, std::shared_ptr<const Tables>> learnt;
    const QString key = font.key();
    std::shared_ptr<const Tables> tables;
    {
        const std::lock_guard lock(mutex);
        tables = learnt.value(key);
    }
    if (!tables) {
        // Learnt unlocked, so that no thread waits tens of milliseconds on another's learning.
        auto made = std::make_shared<const Tables>(learn(font, tick));
        const std::lock_guard lock(mutex);
        tables = learnt.value(key);
        if (!tables) {
            tables = made;
            learnt.insert(key, std::move(made));
        }
    }
    return FontBounds(*tables, font);
}

const FontBounds &FontBounds::of(const QFont &font, const std::function<void()> &tick)
{
    thread_local QHash<QString, std::shared_ptr<const FontBounds>> known;
    const QString key = font.key();
    auto it = known.constFind(key);
    if (it == known.cend())
        it = known.insert(key, std::make_shared<const FontBounds>(shared(font, tick)));
    return **it;
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
        const std::int32_t advance = m_advance[u];
        if (advance < 0)
            return -1;
        const bool space = u == 0x20;
        bool pairInWord = false;
        if (previous < 256 && !m_kerning.empty()) {
            const size_t at = size_t(previous) * 256 + u;
            const bool ligature = m_ligature.test(at);
            if (pending != 0) {
                if (!ligature)
                    (pendingInWord ? word : total) += pending;
                else if (pendingInWord)
                    wordLoose = true;
                pending = 0;
            }
            pairInWord = inWord && !space;
            const std::int32_t kerning = m_kerning[at];
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

namespace {

// What the reading thread copies for the fitting thread at a time, at most.
constexpr int rowsPerBatch = 16384;
constexpr size_t bytesPerBatch = size_t(4) << 20;
// Copied texts the fitting thread has yet to fit, past which rows wait in the result instead
// (a busy machine may leave that thread little time while the result is read).
constexpr size_t waitingBytesLimit = size_t(64) << 20;
// Texts fitted between two looks at whether the fit is still wanted.
constexpr int textsPerStopCheck = 1024;
// Fitted batches kept for the reading thread to fill again.
constexpr size_t maxSpareBatches = 4;

// Ends the fitting thread's work when its fit is no longer wanted.
struct Stopped
{
};

} // namespace

// Rows' shown texts, row by row, each text ending where the next begins. Its memory is made
// once and used again for later batches, so copying into it costs no allocation and no page
// faults: a row is started only while bytesPerBatch remain free, and no row holds more than
// room.
struct ReadingFit::Batch
{
    explicit Batch(size_t columns)
        : room(bytesPerBatch + columns * ShownText::maxBytes)
        , bytes(std::make_unique_for_overwrite<char[]>(room))
        , ends(size_t(rowsPerBatch) * columns)
    {}

    const size_t room;
    std::unique_ptr<char[]> bytes;
    size_t size = 0;
    std::vector<std::uint32_t> ends;
    size_t texts = 0;
    // Columns whose values are not served as UTF-8 (reals): measured exactly, as a fit does.
    std::vector<bool> exact;
};

struct ReadingFit::Worker
{
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::unique_ptr<Batch>> batches;
    // Batches fitted, for the reading thread to fill again.
    std::vector<std::unique_ptr<Batch>> spare;
    bool closed = false;
    std::atomic<bool> stop{false};
    std::atomic<size_t> waitingBytes{0};
    // The fitting thread's own, read by the reading thread only once it has ended.
    std::vector<int> widths;
    std::exception_ptr failure;
    std::unique_ptr<QThread> thread;

    void run(std::shared_ptr<QFont> font)
    {
        try {
            {
                const FontBounds bounds = FontBounds::shared(*font, [this] {
                    if (stop)
                        throw Stopped();
                });
                const QFontMetrics metrics(*font);
                std::vector<std::unordered_map<std::string, int>> measured;
                while (std::unique_ptr<Batch> batch = next()) {
                    fit(*batch, bounds, metrics, measured);
                    waitingBytes -= batch->size;
                    const std::lock_guard lock(mutex);
                    if (spare.size() < maxSpareBatches)
                        spare.push_back(std::move(batch));
                }
            }
            // Its engines belong to this thread: let go of them here.
            font.reset();
        } catch (const Stopped &) {
            font.reset();
        } catch (...) {
            failure = std::current_exception();
            font.reset();
        }
    }

    // The next batch; null once the fit is stopped, or closed with every batch fitted.
    std::unique_ptr<Batch> next()
    {
        std::unique_lock lock(mutex);
        wake.wait(lock, [this] { return stop || closed || !batches.empty(); });
        if (stop || batches.empty())
            return nullptr;
        std::unique_ptr<Batch> batch = std::move(batches.front());
        batches.pop_front();
        return batch;
    }

    void fit(const Batch &batch, const FontBounds &bounds, const QFontMetrics &metrics,
             std::vector<std::unordered_map<std::string, int>> &measured)
    {
        const size_t columns = batch.exact.size();
        if (widths.size() < columns) {
            widths.resize(columns, 0);
            measured.resize(columns);
        }
        std::uint32_t begin = 0;
        size_t column = columns - 1;
        for (size_t i = 0; i < batch.texts; ++i) {
            if (i % textsPerStopCheck == 0 && stop)
                throw Stopped();
            column = column + 1 == columns ? 0 : column + 1;
            const std::string_view text(batch.bytes.get() + begin, batch.ends[i] - begin);
            begin = batch.ends[i];
            if (batch.exact[column]) {
                widths[column] =
                    std::max(widths[column], metrics.horizontalAdvance(QString::fromUtf8(
                                                 text.data(), qsizetype(text.size()))));
                continue;
            }
            widenWith(widths[column], measured[column], text, bounds, metrics);
        }
    }

    // An empty batch for rows of so many columns, used before when one is free.
    std::unique_ptr<Batch> emptyBatch(size_t columns)
    {
        {
            const std::lock_guard lock(mutex);
            while (!spare.empty()) {
                std::unique_ptr<Batch> batch = std::move(spare.back());
                spare.pop_back();
                if (batch->exact.size() == columns) {
                    batch->size = 0;
                    batch->texts = 0;
                    return batch;
                }
            }
        }
        auto batch = std::make_unique<Batch>(columns);
        batch->exact.resize(columns);
        return batch;
    }

    void push(std::unique_ptr<Batch> batch)
    {
        waitingBytes += batch->size;
        {
            const std::lock_guard lock(mutex);
            batches.push_back(std::move(batch));
        }
        wake.notify_one();
    }

    void close()
    {
        {
            const std::lock_guard lock(mutex);
            closed = true;
        }
        wake.notify_one();
    }

    void stopAndWait()
    {
        {
            const std::lock_guard lock(mutex);
            stop = true;
        }
        wake.notify_one();
        thread->wait();
    }
};

ReadingFit::ReadingFit(const QFont &font)
    : m_font(font)
{
    if (QThread::idealThreadCount() < 2)
        return;
    std::shared_ptr<QFont> own = fontForThread(font);
    if (!own)
        return;
    m_worker = std::make_unique<Worker>();
    Worker *worker = m_worker.get();
    worker->thread.reset(
        QThread::create([worker, own = std::move(own)]() mutable { worker->run(std::move(own)); }));
    worker->thread->start();
}

ReadingFit::~ReadingFit()
{
    if (m_worker)
        m_worker->stopAndWait();
}

void ReadingFit::take(const RecordStore &rows, const std::function<void()> &tick)
{
    if (!m_worker)
        return;
    if (!m_rows)
        m_rows = &rows;
    // Rows of another result are not the ones taken so far: finish fits that one itself. A
    // column that turns to text while read keeps its values' texts, so what was taken holds.
    if (&rows != m_rows)
        return;
    takeRows(rows, rows.rowCount(), false, tick);
}

void ReadingFit::takeRows(const RecordStore &rows, int end, bool all,
                          const std::function<void()> &tick)
{
    const int columns = rows.columnCount();
    if (columns == 0) {
        m_taken = end;
        return;
    }
    RecordStore::Scratch scratch;
    while (m_taken < end) {
        if (!all && m_worker->waitingBytes >= waitingBytesLimit)
            return;
        std::unique_ptr<Batch> batch = m_worker->emptyBatch(size_t(columns));
        for (int column = 0; column < columns; ++column)
            batch->exact[size_t(column)] = rows.kind(column) == RecordStore::Kind::Real;
        char *const bytes = batch->bytes.get();
        std::uint32_t *const ends = batch->ends.data();
        size_t size = 0;
        size_t texts = 0;
        const int last = std::min(end, m_taken + rowsPerBatch);
        for (; m_taken < last && size < bytesPerBatch; ++m_taken) {
            for (int column = 0; column < columns; ++column) {
                std::string_view text;
                QByteArray real;
                if (rows.utf8(m_taken, column, scratch, text)) {
                    text = ShownText::prefix(text);
                } else {
                    // A real's text: a few characters, far within a row's room.
                    real = rows.text(m_taken, column).toUtf8();
                    text =
                        ShownText::prefix(std::string_view(real.constData(), size_t(real.size())));
                }
                std::memcpy(bytes + size, text.data(), text.size());
                size += text.size();
                ends[texts++] = std::uint32_t(size);
            }
        }
        batch->size = size;
        batch->texts = texts;
        m_worker->push(std::move(batch));
        if (tick)
            tick();
    }
}

void ReadingFit::finish(TADOQuery &dataSet, int firstRecord, const QFont &font,
                        std::vector<int> &widths, const Options &options)
{
    std::shared_ptr<const RecordStore> result;
    bool usable = m_worker && firstRecord == 0 && options.cheapBound && font == m_font &&
                  font.key() == m_font.key();
    if (usable) {
        result = dataSet.resultSnapshot();
        if (result)
            take(*result, options.tick);
        usable = result && result.get() == m_rows;
    }
    if (!usable) {
        if (m_worker) {
            m_worker->stopAndWait();
            m_worker.reset();
        }
        widenToTexts(dataSet, firstRecord, font, widths, options);
        return;
    }
    takeRows(*result, result->rowCount(), true, options.tick);
    m_worker->close();
    // The window keeps painting while the thread fits what it has left.
    while (!m_worker->thread->wait(QDeadlineTimer(5))) {
        if (options.tick)
            options.tick();
    }
    const std::unique_ptr<Worker> worker = std::move(m_worker);
    if (worker->failure)
        std::rethrow_exception(worker->failure);
    if (widths.size() > size_t(dataSet.fieldCount()))
        widths.resize(size_t(dataSet.fieldCount()));
    for (size_t column = 0; column < widths.size(); ++column) {
        const size_t stored = size_t(dataSet.storeColumn(int(column)));
        if (stored < worker->widths.size())
            widths[column] = std::max(widths[column], worker->widths[stored]);
    }
}

} // namespace ColumnFit
