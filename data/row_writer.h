// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/engine/backend.h"

#include <QString>
#include <QVariant>

#include <vector>

class TADOConnection;

// Writes one record of a one-table result back to its table: INSERT, UPDATE or DELETE, each
// one statement in its own transaction within the connection's time limit, after every
// pending read on the connection has finished. The transaction refuses a table whose schema
// makes the write unsafe and undoes a write that changed more than the one row. An UPDATE or
// DELETE matches the row by its key and by every value as it was read, so a row changed
// meanwhile by another program is never overwritten unseen.
class RowWriter
{
public:
    // An SQL condition on the written row that must hold after a write of `column` (of any
    // column when empty), in its transaction; a write it stops is undone and throws `message`.
    // No condition: no guard.
    struct Guard
    {
        QString column;
        QString condition;
        QString message;
    };

    // Writes to the one table `columns` come from, by its key column.
    RowWriter(TADOConnection &connection, const std::vector<ResultColumn> &columns);

    // The one table a result's columns come from, or empty when it joins or computes.
    static QString tableOf(const std::vector<ResultColumn> &columns);
    // The result's key column, or -1 when it has none.
    static int keyColumnOf(const std::vector<ResultColumn> &columns);
    // A result can be written back when it has both.
    static bool canWrite(const std::vector<ResultColumn> &columns)
    {
        return !tableOf(columns).isEmpty() && keyColumnOf(columns) >= 0;
    }

    // Inserts the non-null values but the key; returns the key the engine gave the row.
    qint64 insert(const std::vector<QVariant> &values, const Guard &guard = {});
    // Writes the changed columns; `stored` is the row as read (RecordStore::bytes for text).
    // Returns how many rows it changed: 1, or 0 when the row no longer matches (nothing is
    // kept then).
    int update(const std::vector<QVariant> &values, const std::vector<QVariant> &stored,
               const std::vector<int> &changed, const Guard &guard = {});
    // Deletes the row as read, only where `condition` (SQL, may be empty) holds. Returns how
    // many rows it deleted.
    int remove(const std::vector<QVariant> &stored, const QString &condition);
    // Whether the row with this key exists and `condition` does not hold for it.
    bool conditionRefuses(const QVariant &key, const QString &condition);
    // Who last changed the row read as `stored`, and when, as the catalogue recorded it:
    // "por maria às 14:32"; empty when it keeps no record.
    QString changedBy(const std::vector<QVariant> &stored) const;

private:
    QString column(int index) const;
    // The guard when the write covers its column; none otherwise.
    Guard guardFor(const Guard &guard, const std::vector<int> &written) const;
    // Compares a column with its stored value, text as its bytes.
    QString matchCondition(int index) const;

    TADOConnection &m_connection;
    QString m_table;
    QString m_quotedTable;
    const std::vector<ResultColumn> &m_columns;
    int m_key;
};
