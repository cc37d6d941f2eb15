// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/exceptions.h"
#include "data/engine/record_store.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QDeadlineTimer>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

// What a result column is made of: enough for fields and for writing a row back.
struct ResultColumn
{
    QString name;
    QString table;  // base table, empty for an expression
    QString origin; // column name in the base table
    RecordStore::Kind kind = RecordStore::Kind::Text;
    int size = 0;     // limited text only
    bool key = false; // numbered by the engine itself
};

// One statement of a backend. Parameters are ":name" or "?"; the first step() runs the
// statement, after which the columns are known.
class BackendStatement
{
public:
    virtual ~BackendStatement() = default;

    // Parameters count from 1. An invalid or null value binds NULL.
    virtual void bind(int index, const QVariant &value) = 0;
    // A name the statement does not use is ignored.
    virtual void bind(const QString &name, const QVariant &value) = 0;

    // True while a row is ready, false once the statement is done.
    virtual bool step() = 0;
    // Waits until step() can go on without waiting for another process, or until `until`;
    // false when the time ran out first. The first call runs the statement. An engine that
    // reads its own file is always ready.
    virtual bool waitReady(const QDeadlineTimer &until)
    {
        Q_UNUSED(until);
        return true;
    }
    // Runs a statement that returns no rows; returns how many rows it changed.
    virtual int execute() = 0;
    // Learns the columns before the statement runs, for an engine that would otherwise know
    // them only with its first row, which a server may take long to send. False where they
    // come with the first step, which does not wait (the file).
    virtual bool describeBeforeRows() { return false; }

    virtual int columnCount() const = 0;
    virtual ResultColumn column(int index) const = 0;
    // The current row's value: invalid for NULL, qlonglong, double or QString.
    virtual QVariant value(int column) const = 0;
    // The current row's value as UTF-8 text, valid until the next step; a null view for
    // NULL. An engine that keeps text as UTF-8 hands it over without a copy; others make it
    // in scratch.
    virtual QByteArrayView utf8(int column, QByteArray &scratch) const
    {
        const QVariant v = value(column);
        if (v.isNull())
            return {};
        scratch = v.toString().toUtf8();
        return scratch;
    }
    // Appends the current row to a store laid out by this statement's columns.
    virtual void appendRow(RecordStore &store) = 0;
};

// A change another program made to the catalogue: its table and, when one row changed, that
// row's key (invalid otherwise).
struct CatalogueChange
{
    QString table;
    QVariant key;
};

// What an engine asks of the one connection that owns it while a statement runs.
class EngineWatch
{
public:
    virtual ~EngineWatch() = default;
    // Whether the running statement may go on: within its time limit and not stopped. Asked
    // now and then by both engines; false interrupts the statement.
    virtual bool goesOn() = 0;
    // A statement is waiting for another program to finish its write. Returns false once it
    // has waited long enough and should give up as busy.
    virtual bool waitForWriter(int attempt) = 0;
    // How long a server may stay silent while a command waits for its answer before the
    // command is given up, in milliseconds; negative when goesOn alone decides.
    virtual int silenceLimitMs() const { return -1; }
    // The engine heard of other programs' changes while it ran a statement; they wait in
    // Backend::takeChanges. Never runs a statement itself.
    virtual void changesHeard() {}
    // A server asks for an account and password that libpq found nowhere (.pgpass, service
    // file, PGPASSWORD) or did not accept: `server` names it, `reason` says why, in
    // Portuguese; `user` comes filled with the account tried. False when there is nobody to
    // ask; a user who gives up makes it throw SignInCancelled.
    virtual bool signIn(const QString &server, const QString &reason, QString &user,
                        QByteArray &password)
    {
        Q_UNUSED(server);
        Q_UNUSED(reason);
        Q_UNUSED(user);
        Q_UNUSED(password);
        return false;
    }
};

// Who changed a row last and when, as the server recorded it; empty when nobody is known.
struct RowChange
{
    QString account;
    QDateTime when;
    bool known() const { return !account.isEmpty(); }
};

// What a refused write says, wherever it is refused.
inline QString readOnlyAccountText()
{
    return QStringLiteral("Sua conta pode apenas consultar o catálogo");
}

// The user gave up signing in: the program ends quietly, with nothing to report.
class SignInCancelled : public EOleException
{
public:
    SignInCancelled();
};

// The engine that holds the catalogue: the file or a server. Windows and reports never see
// which; only the connection and the queries talk to it.
class Backend
{
public:
    virtual ~Backend() = default;

    // Opens the catalogue a connection string names: a libpq URI or keyword string names a
    // server, anything else a file through its "Data Source=" piece (or dataSourcePath,
    // when the caller knows the path exactly). The watch must outlive the backend.
    static std::unique_ptr<Backend> open(const QString &connectionString,
                                         const QString &dataSourcePath, EngineWatch &watch);
    // Whether a connection string names a server rather than a file.
    static bool namesServer(const QString &connectionString);
    // The file path of the "Data Source=" piece, exactly as written.
    static QString dataSourcePath(const QString &connectionString);

    virtual std::unique_ptr<BackendStatement> prepare(const QString &sql) = 0;
    // A statement the program runs again and again, unchanged and on the engine's own
    // catalogue (the check before every save): an engine may keep its plan for the session.
    virtual std::unique_ptr<BackendStatement> prepareRepeated(const QString &sql)
    {
        return prepare(sql);
    }
    // The comparison that holds when both sides are equal or both are NULL.
    virtual QString sameValueOperator() const = 0;
    // A text column as compared with the row's stored bytes (TADOQuery::storedValue).
    virtual QString storedText(const QString &column) const { return column; }
    // A condition that holds when `text` matches the LIKE `pattern` without regard to case or
    // accents; both are SQL expressions. File and server find the same rows.
    virtual QString accentFreeLike(const QString &text, const QString &pattern) const = 0;
    // Runs SQL that returns no rows (transaction control), outside the statements above; a
    // failure is thrown as for a write.
    virtual void run(const QString &sql) = 0;
    // Whether a transaction is open: the engine may have ended one itself (an interrupted
    // write on the file, a lost connection to the server).
    virtual bool inTransaction() const = 0;
    // Why the catalogue's schema makes a write to `table` unsafe (a trigger, a view, an
    // expression index, a wrong key), worded for the user; empty when nothing does.
    virtual QString writeRefusal(const QString &table) = 0;
    // The statement that starts a transaction that will write: on a file it takes the write
    // lock at once, so no other writer slips in between its reads and its writes.
    virtual QString beginWrite() const { return QStringLiteral("BEGIN"); }
    // The statement that starts one consistent read of the whole catalogue.
    virtual QString beginSnapshot() const { return QStringLiteral("BEGIN"); }
    // How messages name the catalogue: the file's path, or server/database.
    virtual QString displayName() const = 0;
    // Whether the account may change the catalogue, so a window can say so before the user
    // types; the engine refuses a write all the same.
    virtual bool mayWrite() { return true; }
    // The server account the catalogue is open with; empty for a file, which has none.
    virtual QString account() const { return {}; }
    // The account and time of the last change to the row of `table` with this key; a file
    // keeps no such record.
    virtual RowChange lastChange(const QString &table, const QVariant &key)
    {
        Q_UNUSED(table);
        Q_UNUSED(key);
        return {};
    }
    // The socket on which other programs' changes are heard; -1 when the engine hears none
    // (a file) or has lost its server.
    virtual int changeSocket() const { return -1; }
    // Reads what arrived on that socket and hands over the changes heard so far. Runs no
    // statement, so it may be called while one is running.
    virtual std::vector<CatalogueChange> takeChanges() { return {}; }
    // The account in use changes its own password; a file has no password to change.
    virtual void changeOwnPassword(const QByteArray &password)
    {
        Q_UNUSED(password);
        throw EOleException(QStringLiteral("Um catálogo em arquivo não tem senha"));
    }
};
