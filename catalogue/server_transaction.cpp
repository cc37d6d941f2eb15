// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/server_transaction.h"

#include "data/engine/postgres/postgres_backend.h"

ServerTransaction::ServerTransaction(PostgresBackend &server, StatementLimit limit,
                                     const char *begin)
    : m_server(server)
{
    m_server.query(begin);
    if (limit == StatementLimit::None) {
        m_server.query("SET LOCAL statement_timeout TO 0");
        m_server.liftSilenceLimit(true);
    }
}

ServerTransaction::~ServerTransaction()
{
    if (m_done)
        return;
    try {
        m_server.query("ROLLBACK");
    } catch (...) {
        // A lost connection has ended the transaction with it.
    }
    m_server.liftSilenceLimit(false);
}

void ServerTransaction::commit()
{
    m_server.query("COMMIT");
    m_done = true;
    m_server.liftSilenceLimit(false);
}
