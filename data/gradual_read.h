// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/result_reader.h"

#include <QTimer>

#include <exception>
#include <memory>

class TADOConnection;
class TADOQuery;

// A result that a query is still reading, as its one reader that may see it grow (a report)
// sees it: the rows so far, whether they are all, and a way to read on.
class GrowingResult
{
public:
    // Shared with the query while it reads; the rows stay valid after it closes.
    const std::shared_ptr<const RecordStore> &rows() const { return m_rows; }
    bool complete() const { return m_complete; }
    // Reads on for about one short slice. A failure of the read, now or met earlier by
    // someone else, is thrown: the rows are then never complete.
    void readMore();

    // A result read whole.
    static std::shared_ptr<GrowingResult> whole(std::shared_ptr<const RecordStore> rows);

private:
    friend class GradualRead;
    TADOQuery *m_query = nullptr; // null once the query stopped reading
    std::shared_ptr<const RecordStore> m_rows;
    bool m_complete = false;
    std::exception_ptr m_failure;
};

// The rest of a result a query opened gradually: read in short slices between other events or
// as its growing result's reader asks, until the end. While it lasts the connection knows of
// it, so every write and every other use of the query reads it to the end first.
class GradualRead
{
public:
    // A slice asked for by the result's reader, who has other work in the same pass of the
    // event loop.
    static constexpr int readerSliceMs = 8;

    // Runs the statement to its first row, so the columns and something to show are there at
    // once; on a server, only for as long as one slice, the columns being learnt first.
    GradualRead(TADOConnection &connection, TADOQuery &query, const QString &sql,
                const ResultReader::Parameters &parameters);
    // Ends the read; its growing result is complete unless end() handed it a failure.
    ~GradualRead();
    GradualRead(const GradualRead &) = delete;
    GradualRead &operator=(const GradualRead &) = delete;

    const std::vector<ResultColumn> &columns() const { return m_reader.columns(); }
    const std::shared_ptr<RecordStore> &rows() const { return m_reader.rows(); }
    bool finished() const { return m_finished; }
    const std::shared_ptr<GrowingResult> &growing() const { return m_growing; }

    // From now on the rest is also read between other events.
    void readInBackground() { m_background.start(); }
    // Reads for about `milliseconds` (and at most `maxRows` rows, 0 for no bound); true once
    // every row is in. A failure is thrown.
    bool read(int milliseconds, int maxRows);
    // The read stopped short: its growing result's reader is handed `failure`.
    void end(std::exception_ptr failure) { m_failure = failure; }

private:
    TADOConnection &m_connection;
    TADOQuery &m_query;
    ResultReader m_reader;
    bool m_finished = false;
    std::shared_ptr<GrowingResult> m_growing;
    std::exception_ptr m_failure;
    QTimer m_background;
};
