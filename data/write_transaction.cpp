// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/write_transaction.h"

#include "core/exceptions.h"
#include "data/connection.h"
#include "data/engine/backend.h"
#include "data/engine/sql_text.h"

WriteTransaction::WriteTransaction(TADOConnection &connection, const QString &table)
    : m_connection(connection)
    , m_table(table)
{
    // IMMEDIATE takes the write lock now: the schema read next stays as read until the end.
    run(connection.backend().beginWrite());
    m_open = true;
    try {
        const QString refusal = connection.backend().writeRefusal(table);
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
    // The engine may have rolled back already (an interrupted write does).
    if (!m_connection.backend().inTransaction())
        return;
    try {
        run(QStringLiteral("ROLLBACK"));
    } catch (...) {
        // A lost server connection has ended the transaction with it.
    }
}

void WriteTransaction::run(const QString &sql) const
{
    m_connection.backend().run(sql);
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
    const auto statement = m_connection.backend().prepare(
        QStringLiteral("SELECT 1 FROM %1 WHERE %2 = ? AND NOT (%3)")
            .arg(quotedIdentifier(m_table), quotedIdentifier(keyColumn), condition));
    statement->bind(1, key);
    if (statement->step())
        throw EOleException(message);
}

void WriteTransaction::commit()
{
    run(QStringLiteral("COMMIT"));
    m_open = false;
}
