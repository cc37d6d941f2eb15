// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/result_reader.h"

#include "data/connection.h"

#include <QElapsedTimer>

#include <exception>
#include <optional>

#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

// Rows read between two looks at the clock.
constexpr int rowsPerClockCheck = 256;

// A result this large has been read once. What the columns left behind in the heap while
// growing goes back to the system rather than stay with the process beside the rows.
constexpr size_t largeResultBytes = size_t(64) << 20;

void releaseReadMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// Lets a long statement report how far it got and be stopped, from inside the engine's
// steps, so a statement that finds few rows among many is as responsive as one that finds
// many. It rides on the connection's own check, which also keeps the time limit. Exceptions
// from the report are carried past the engine, never through it.
class ProgressWatch
{
public:
    ProgressWatch(TADOConnection &connection, const ResultReader::Progress &progress,
                  const std::shared_ptr<RecordStore> &rows)
        : m_connection(connection)
        , m_progress(progress)
        , m_rows(rows)
    {
        if (m_progress)
            m_connection.setProgressCheck([this] { return check(); });
    }
    ~ProgressWatch()
    {
        if (m_progress)
            m_connection.setProgressCheck({});
    }
    ProgressWatch(const ProgressWatch &) = delete;
    ProgressWatch &operator=(const ProgressWatch &) = delete;

    bool stopped() const { return m_stopped; }
    void rethrow() const
    {
        if (m_failure)
            std::rethrow_exception(m_failure);
    }

private:
    // The engine asks often (the file every thousand steps); the report wants far fewer calls.
    // A server that works long before its rows come is asked only every few milliseconds, so
    // the report also comes when enough time has passed, whatever the count.
    static constexpr int checksPerReport = 25;
    static constexpr qint64 reportIntervalMs = 10;

    bool check()
    {
        // A statement run from inside the report shares the connection: it is not watched.
        if (m_reporting)
            return !m_stopped;
        if (++m_checks % checksPerReport != 0 && m_sinceReport.isValid() &&
            m_sinceReport.elapsed() < reportIntervalMs)
            return !m_stopped;
        m_sinceReport.start();
        m_reporting = true;
        try {
            m_stopped = !m_progress(m_rows ? m_rows->rowCount() : 0);
        } catch (...) {
            m_failure = std::current_exception();
            m_stopped = true;
        }
        m_reporting = false;
        return !m_stopped;
    }

    TADOConnection &m_connection;
    const ResultReader::Progress &m_progress;
    const std::shared_ptr<RecordStore> &m_rows;
    int m_checks = 0;
    QElapsedTimer m_sinceReport;
    bool m_reporting = false;
    bool m_stopped = false;
    std::exception_ptr m_failure;
};

} // namespace

ResultReader::ResultReader(TADOConnection &connection, const QString &sql,
                           const Parameters &parameters)
    : m_connection(connection)
{
    const TADOConnection::StatementTimer timer(m_connection);
    m_statement = m_connection.backend().prepare(sql);
    for (auto it = parameters.cbegin(); it != parameters.cend(); ++it)
        m_statement->bind(it.key(), it.value());
}

ResultReader::~ResultReader() = default;

ResultReader::Outcome ResultReader::read(const Limits &limits)
{
    if (!m_statement)
        return Outcome::Complete;
    std::optional<TADOConnection::StatementTimer> timer;
    if (!limits.progress)
        timer.emplace(m_connection);
    ProgressWatch watch(m_connection, limits.progress, m_rows);
    // A stop asked for by the progress report ends the statement as an interruption.
    const auto step = [&]() -> std::optional<bool> {
        try {
            return m_statement->step();
        } catch (...) {
            watch.rethrow();
            if (watch.stopped())
                return std::nullopt;
            throw;
        }
    };

    // A slice never waits past its end for a server still working: the read goes on at the
    // next call, and the event loop is served in between. Until the columns are known the
    // first row is waited for.
    const bool sliced = !limits.slice.isForever() && (m_started || m_described);
    int rows = 0;
    for (;;) {
        if (sliced && !m_statement->waitReady(limits.slice))
            return Outcome::Partial;
        const std::optional<bool> row = step();
        if (!row) {
            m_statement.reset();
            return Outcome::Stopped;
        }
        if (!m_started) {
            // The first step may prepare the statement again when another connection changed
            // the schema, so the columns are read after it.
            m_started = true;
            if (!m_described)
                describe();
        }
        if (!*row)
            break;
        m_statement->appendRow(*m_rows);
        ++rows;
        if (rows == limits.maxRows || (rows % rowsPerClockCheck == 0 && limits.slice.hasExpired()))
            return Outcome::Partial;
    }
    finish();
    return Outcome::Complete;
}

void ResultReader::describeBeforeRows()
{
    if (m_started || m_described || !m_statement)
        return;
    const TADOConnection::StatementTimer timer(m_connection);
    if (!m_statement->describeBeforeRows())
        return;
    describe();
    m_described = true;
}

void ResultReader::describe()
{
    const int count = m_statement->columnCount();
    m_columns.clear();
    std::vector<RecordStore::Kind> kinds;
    for (int i = 0; i < count; ++i) {
        m_columns.push_back(m_statement->column(i));
        kinds.push_back(m_columns.back().kind);
    }
    m_rows = std::make_shared<RecordStore>(kinds);
}

void ResultReader::finish()
{
    m_statement.reset();
    m_rows->shrinkToFit();
    if (m_rows->memoryUsage() >= largeResultBytes)
        releaseReadMemory();
}
