// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/write_transaction.h"

#include "data/backend.h"
#include "data/connection.h"
#include "data/exceptions.h"
#include "data/schema_objects.h"
#include "data/statement.h"

#include <sqlite3.h>

namespace {

QString quoted(QString identifier)
{
    return u'"' + identifier.replace(u'"', QStringLiteral("\"\"")) + u'"';
}

} // namespace

WriteTransaction::WriteTransaction(TADOConnection &connection, const QString &table)
    : m_connection(connection)
    , m_table(table)
{
    // IMMEDIATE takes the write lock now: the schema read next stays as read until the end.
    run(connection.handle() ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    m_open = true;
    try {
        const QString refusal =
            SchemaObjects::writeRefusal(SchemaObjects::inspect(connection), table,
                                        connection.backend().displayName(), !connection.handle());
        if (!refusal.isEmpty())
            throw EOleException(refusal);
    } catch (...) {
        rollback();
        throw;
    }
}

WriteTransaction::~WriteTransaction()
{
    rollback();
}

void WriteTransaction::rollback()
{
    if (!m_open)
        return;
    m_open = false;
    if (sqlite3 *db = m_connection.handle()) {
        // The engine may have rolled back already (an interrupted write does).
        if (!sqlite3_get_autocommit(db))
            sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return;
    }
    try {
        run(QStringLiteral("ROLLBACK"));
    } catch (...) {
        // A lost server connection has ended the transaction with it.
    }
}

void WriteTransaction::run(const QString &sql) const
{
    if (sqlite3 *db = m_connection.handle()) {
        const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
        if (rc != SQLITE_OK)
            throw EngineError(rc, QString::fromUtf8(sqlite3_errmsg(db)), m_connection.path(), true);
        return;
    }
    m_connection.backend().prepare(sql)->execute();
}

void WriteTransaction::refuseSeveralRows(int changedRows) const
{
    throw EOleException(QStringLiteral("A gravação alteraria %1 registros da tabela '%2' em vez "
                                       "de um só; nada foi salvo. Verifique o catálogo com o "
                                       "comando: quivel-catalogue check \"%3\"")
                            .arg(changedRows)
                            .arg(m_table, m_connection.backend().displayName()));
}

void WriteTransaction::require(const QString &keyColumn, const QVariant &key,
                               const QString &condition, const QString &message) const
{
    const auto statement =
        m_connection.backend().prepare(QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? AND NOT (%3)")
                                           .arg(quoted(m_table), quoted(keyColumn), condition));
    statement->bind(1, key);
    if (statement->step())
        throw EOleException(message);
}

void WriteTransaction::commit()
{
    run(QStringLiteral("COMMIT"));
    m_open = false;
}
