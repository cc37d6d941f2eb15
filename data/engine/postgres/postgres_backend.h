// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/engine/backend.h"

#include <QDeadlineTimer>
#include <QHash>

#include <memory>
#include <vector>

struct pg_conn;
struct pg_result;

// A server's answer, freed with it.
struct PgResultFree
{
    void operator()(pg_result *r) const;
};
using PgResult = std::unique_ptr<pg_result, PgResultFree>;

// The catalogue on a PostgreSQL server, through libpq. The tables, the version and the
// search's case folding live in the server's "quivel" schema; the session looks there
// first, so the program's SQL runs unchanged.
class PostgresBackend : public Backend
{
public:
    // Connects and checks the catalogue; every failure names server and database only.
    PostgresBackend(const QString &conninfo, EngineWatch &watch);
    ~PostgresBackend() override;

    std::unique_ptr<BackendStatement> prepare(const QString &sql) override;
    std::unique_ptr<BackendStatement> prepareRepeated(const QString &sql) override;
    QString beginSnapshot() const override
    {
        return QStringLiteral("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
    }
    QString sameValueOperator() const override { return QStringLiteral("IS NOT DISTINCT FROM"); }
    QString accentFreeLike(const QString &text, const QString &pattern) const override;
    QString displayName() const override { return m_name; }
    QString account() const override;
    bool mayWrite() override;
    void changeOwnPassword(const QByteArray &password) override;
    RowChange lastChange(const QString &table, const QVariant &key) override;

    // Server and database a connection string names, for messages: never its password.
    static QString describe(const QString &conninfo);
    // Whether libpq reads the text as a keyword string of its own ("host=... dbname=...").
    static bool isKeywordString(const QString &text);
    // For the companion tool, whose statements nobody stops.
    static EngineWatch &unwatched();
    // For the companion tool: connects without looking for the catalogue's tables.
    static std::unique_ptr<PostgresBackend> connectOnly(const QString &conninfo);

    // The connection, for a command about to be sent: a read whose rows are still arriving
    // is read to its end first (Stream::setAside).
    pg_conn *handle();
    // The connection as it is, for the statement whose rows are arriving.
    pg_conn *connection() const { return m_conn; }

    // A statement whose rows are still arriving. The server answers one command at a time, so
    // before another command is sent the rows still to come are read and kept by the
    // statement, whose reader goes on with them as if they came from the server.
    class Stream
    {
    public:
        virtual void setAside() = 0;

    protected:
        ~Stream() = default;
    };
    void streamStarted(Stream *stream);
    void streamEnded(Stream *stream);

    int changeSocket() const override;
    std::vector<CatalogueChange> takeChanges() override;
    // The key column of one of the catalogue's tables; empty when unknown.
    QString keyColumn(const QString &table) const;
    // Tells the other programs listening that this one wrote `table` (one row: `key`). Sent
    // in the write's transaction, so they hear of it only once it is committed.
    void announce(const QString &table, const QByteArray &key);
    // Takes the changes libpq received while a statement ran; tells the watch of new ones.
    void collectChanges();
    // Runs SQL with no parameters and no result, reconnecting first when the connection was
    // found lost; throws on failure.
    void run(const QString &sql) override;
    bool inTransaction() const override;
    QString writeRefusal(const QString &table) override;
    // Throws the failure of the last command, worded for the user; a refused write says the
    // account may only consult.
    [[noreturn]] void fail(const char *sqlState, const QString &serverText,
                           bool writing = false) const;
    // The SQLSTATE of the last failure fail() worded; empty before any.
    const char *lastState() const { return m_lastState; }

    struct TableColumn
    {
        QString name;
        bool key = false;
    };
    struct Table
    {
        QString name;
        QHash<int, TableColumn> columns; // by column number
    };
    const Table *table(unsigned oid) const;
    // Waits for the running statement's next result; a stop or the time limit of the watch
    // cancels the statement on the server and throws.
    void awaitResult();
    // A command answered whole, waited for as every command is (time limit, stop); a failure
    // is thrown, worded by fail().
    PgResult query(const QByteArray &sql);
    // The answer to the command just sent (`sent`, what libpq's send call returned), waited
    // for as awaitResult does: as PQexec gives it, the first failure, else the last result;
    // the caller owns it.
    struct pg_result *answer(int sent);
    // A command must stop when the watch says so, or when the server has been silent for
    // longer than the watch allows while an answer is owed.
    void checkGoesOn();
    // The server was just sent a command or said something: its silence starts again.
    void heard();
    // While the companion tool lifts the server's own statement limit, a long silence is
    // waited for as well.
    void liftSilenceLimit(bool lifted);
    // Stops the statement running on the server and reads what it still sends, or, when the
    // server does not answer in a moment, cuts the session off.
    void stopRunning();
    // Writes are prepared once per session: a save then costs one round trip and no parse.
    QByteArray preparedName(const QByteArray &sql, int parameterCount);

private:
    struct ConnectOnly
    {
    };
    PostgresBackend(const QString &conninfo, EngineWatch &watch, ConnectOnly);
    void connect();
    void startSession();
    void checkCatalogue();
    void checkTables();
    void reconnectIfLost();
    bool askToCancel(const QDeadlineTimer &until);
    bool drainResults(const QDeadlineTimer &until);
    void execute(const QString &sql);
    // PQexec's work (PQexecParams' with parameters), waiting on the socket so that the time
    // limit and a stop apply; the caller owns the result.
    struct pg_result *exec(const char *sql, int parameterCount = 0,
                           const char *const *values = nullptr);
    QString inFileOrder(const QString &sql) const;
    // Moves the changes libpq holds into m_changes; true when there were any.
    bool gatherNotifies();
    // The statements that send the announcements kept for the transaction's commit.
    QByteArray announcements();

    QString m_conninfo;
    EngineWatch &m_watch;
    pg_conn *m_conn = nullptr;
    QString m_name;
    QHash<unsigned, Table> m_tables;
    QHash<QByteArray, QByteArray> m_prepared; // statement text to its name on the server
    int m_mayWrite = -1;                      // not yet asked of the server
    mutable char m_lastState[6] = {};         // SQLSTATE of the last failure
    mutable bool m_lost = false;              // set by a failure that left the connection unusable
    Stream *m_streaming = nullptr;            // the statement whose rows are arriving
    std::vector<CatalogueChange> m_changes;   // heard from other programs, not yet taken
    QHash<QString, QByteArray> m_announcements;        // tables written in the open transaction
    QDeadlineTimer m_silence{QDeadlineTimer::Forever}; // when a silent server is given up
    bool m_silenceLifted = false;
};
