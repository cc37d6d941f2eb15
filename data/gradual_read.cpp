// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/gradual_read.h"

#include "data/connection.h"
#include "data/query.h"

namespace {

// A slice read between other events: as long as a report's layout slice, so the two share
// the time evenly, and short enough for the event loop to stay live.
constexpr int backgroundSliceMs = 20;
// The same while the result has a reader (a report), which reads on as it needs rows and has
// its own slices in the same passes of the event loop: the two together stay short.
constexpr int besideReaderSliceMs = 4;

} // namespace

void GrowingResult::readMore()
{
    if (m_failure)
        std::rethrow_exception(m_failure);
    if (m_query)
        m_query->readSlice(GradualRead::readerSliceMs);
}

std::shared_ptr<GrowingResult> GrowingResult::whole(std::shared_ptr<const RecordStore> rows)
{
    auto result = std::make_shared<GrowingResult>();
    result->m_rows = std::move(rows);
    result->m_complete = true;
    return result;
}

GradualRead::GradualRead(TADOConnection &connection, TADOQuery &query, const QString &sql,
                         const ResultReader::Parameters &parameters)
    : m_connection(connection)
    , m_query(query)
    , m_reader(connection, sql, parameters)
{
    // A server that works long before its first row (a join) is not waited for: its columns
    // come first, and its rows between other events like the rest.
    m_reader.describeBeforeRows();
    ResultReader::Limits firstRow;
    firstRow.maxRows = 1;
    firstRow.slice = QDeadlineTimer(readerSliceMs);
    m_finished = m_reader.read(firstRow) == ResultReader::Outcome::Complete;
    if (m_finished)
        return;
    m_growing = std::make_shared<GrowingResult>();
    m_growing->m_query = &query;
    m_growing->m_rows = m_reader.rows();
    m_connection.addPendingRead(&query);
    // A read left pending (its report closed early) goes on between other events, so its
    // statement never holds the file against other programs for long.
    m_background.setInterval(0);
    QObject::connect(&m_background, &QTimer::timeout, &m_background, [this] {
        if (m_connection.statementRunning())
            return;
        // Whoever else holds the growing result reads it.
        const bool read = m_growing.use_count() > 1;
        try {
            m_query.readSlice(read ? besideReaderSliceMs : backgroundSliceMs);
        } catch (...) {
            // The query is closed and the result's reader, if any, is handed the failure.
        }
    });
}

GradualRead::~GradualRead()
{
    if (!m_growing)
        return;
    m_connection.removePendingRead(&m_query);
    m_growing->m_query = nullptr;
    m_growing->m_failure = m_failure;
    m_growing->m_complete = !m_failure;
}

bool GradualRead::read(int milliseconds, int maxRows)
{
    ResultReader::Limits limits;
    limits.slice = QDeadlineTimer(milliseconds);
    limits.maxRows = maxRows;
    m_finished = m_reader.read(limits) == ResultReader::Outcome::Complete;
    return m_finished;
}
