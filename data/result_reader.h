// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/engine/backend.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <vector>

class TADOConnection;

// Reads one statement's rows into a store: prepares it, binds its parameters, takes the first
// step, describes the columns, then appends rows until the end, the end of a slice, or a stop.
// A whole read is one call without a slice; a gradual read is several calls with one; a
// stepped read passes a progress report that may stop it.
class ResultReader
{
public:
    using Parameters = QHash<QString, QVariant>;
    // Called now and then while the statement runs, with the rows read so far; returning
    // false stops it.
    using Progress = std::function<bool(int rowsRead)>;

    struct Limits
    {
        // When this slice of the read ends; the read goes on at the next call.
        QDeadlineTimer slice = QDeadlineTimer(QDeadlineTimer::Forever);
        // A bound on the rows of one slice, besides its time; 0 for none.
        int maxRows = 0;
        // A stepped read: the statement has no time limit of its own, as the user watches it
        // and can stop it.
        Progress progress;
    };

    enum class Outcome { Complete, Partial, Stopped };

    // Prepares the statement; nothing runs yet. A parameter the statement does not use is
    // ignored.
    ResultReader(TADOConnection &connection, const QString &sql, const Parameters &parameters);
    ~ResultReader();
    ResultReader(const ResultReader &) = delete;
    ResultReader &operator=(const ResultReader &) = delete;

    // Reads on within the limits. After Complete or Stopped the statement is finished; a
    // failure is thrown and leaves the rows short.
    Outcome read(const Limits &limits);

    // Makes the columns and the empty store before any row, where the engine can tell them
    // without waiting for one; a slice may then end before the first row comes.
    void describeBeforeRows();

    // Known after the first read, or after describeBeforeRows.
    const std::vector<ResultColumn> &columns() const { return m_columns; }
    const std::shared_ptr<RecordStore> &rows() const { return m_rows; }

private:
    void describe();
    void finish();

    TADOConnection &m_connection;
    std::unique_ptr<BackendStatement> m_statement;
    std::vector<ResultColumn> m_columns;
    std::shared_ptr<RecordStore> m_rows;
    bool m_started = false;
    bool m_described = false;
};
