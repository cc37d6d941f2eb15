// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class PostgresBackend;

// A transaction of the companion tool on a server: rolled back unless committed, so a failure
// or a kill leaves the server as it was.
class ServerTransaction
{
public:
    enum class StatementLimit {
        Session, // each statement keeps the session's time limit
        None,    // for work that moves a whole table in one statement; the lock wait still applies
    };

    explicit ServerTransaction(PostgresBackend &server,
                               StatementLimit limit = StatementLimit::Session,
                               const char *begin = "BEGIN");
    ~ServerTransaction();
    ServerTransaction(const ServerTransaction &) = delete;
    ServerTransaction &operator=(const ServerTransaction &) = delete;

    void commit();

private:
    PostgresBackend &m_server;
    bool m_done = false;
};
