// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVariant>

class TADOConnection;

// One save or delete as one transaction. It begins before the catalogue's schema is looked
// at, so nothing can slip in a trigger between the look and the write; a write the schema
// makes unsafe is refused before it runs; and nothing is kept unless it is committed, so a
// write that changed other rows than the one it aimed at is undone whole.
class WriteTransaction
{
public:
    // Begins, holding the catalogue against other writers, and refuses (EOleException) a
    // write to `table` that the catalogue's schema makes unsafe.
    WriteTransaction(TADOConnection &connection, const QString &table);
    // Rolls back unless committed.
    ~WriteTransaction();
    WriteTransaction(const WriteTransaction &) = delete;
    WriteTransaction &operator=(const WriteTransaction &) = delete;

    // A write meant for one row that changed more: refused, and undone with the transaction.
    void refuseSeveralRows(int changedRows) const;

    // Refuses the write, while it can still be undone, when the row whose `keyColumn` is
    // `key` breaks `condition` (SQL on `table`). Checked after the write, in its transaction,
    // so the condition sees every other program's committed change and none can come between.
    void require(const QString &keyColumn, const QVariant &key, const QString &condition,
                 const QString &message) const;

    void commit();

private:
    void run(const QString &sql) const;
    void rollback();

    TADOConnection &m_connection;
    QString m_table;
    bool m_open = false;
};
