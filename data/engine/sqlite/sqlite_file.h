// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/exceptions.h"

#include <QFlags>
#include <QString>

#include <functional>

struct sqlite3;

// One open catalogue file, and the one owner of the engine's handle: the backend holds one for
// the program, and the catalogue tools (create, check, upgrade, clean, copy, back up, convert)
// one each. Above this folder nothing sees the engine itself.
class SqliteFile
{
public:
    enum class Option {
        ReadOnly = 0x1,
        Create = 0x2, // read-write, made when missing
        // Opened as unchanging: nothing is written beside it, not even a lock file's companions.
        Immutable = 0x4,
        // Views and triggers of a file made elsewhere may call no function with side effects.
        UntrustedSchema = 0x8,
        // Used from one thread only, so the engine's lock on every call is pure cost.
        OneThread = 0x10,
    };
    Q_DECLARE_FLAGS(Options, Option)

    // A file the engine could not open: "Não foi possível abrir o catálogo '<path>' (<the
    // engine's text>)"; the engine's text stays at hand for callers that word it their own way.
    class OpenError : public EOleException
    {
    public:
        OpenError(const QString &path, const QString &engineText);
        const QString &engineText() const { return m_engineText; }

    private:
        QString m_engineText;
    };

    // Read-write unless told otherwise, never creating the file unless told to; a failure
    // throws OpenError.
    SqliteFile(const QString &path, Options options = {});
    ~SqliteFile();
    SqliteFile(const SqliteFile &) = delete;
    SqliteFile &operator=(const SqliteFile &) = delete;

    const QString &path() const { return m_path; }

    // Runs one or more statements that return no rows; failures throw EngineError naming the
    // file as a write.
    void run(const QString &sql);
    // The schema version the catalogue records (0 for a new file).
    int userVersion();
    bool isReadOnly() const;
    bool inTransaction() const;

    // Another program's write lock is waited for up to `ms`, polled every millisecond: a writer
    // that saves again and again leaves the file free only for moments between its saves,
    // which the engine's own growing waits would miss.
    void waitForWriters(int ms);
    // Asked between the engine's steps; true stops the statement (SQLITE_INTERRUPT).
    void stopWhen(std::function<bool()> stop);

    // The whole file copied into `destination` in one step: a step at a time would let a
    // writer in between, and the engine would then start the copy over, perhaps for ever.
    // Failures throw EngineError naming the destination.
    void copyInto(SqliteFile &destination);

    // What the schema declares for a column of the main database; `found` is false when the
    // table or the column does not exist.
    struct ColumnFacts
    {
        bool found = false;
        bool primaryKey = false;
        QString collation;
    };
    ColumnFacts columnFacts(const QString &table, const QString &column) const;

    // Closes now, reporting a failure the destructor would have to swallow.
    void close();

    // For the engine's own classes in this folder (statements, the LIKE functions).
    sqlite3 *handle() const { return m_db; }

private:
    static int keepWaiting(void *file, int attempt);
    static int interrupt(void *file);

    sqlite3 *m_db = nullptr;
    QString m_path;
    int m_waitMs = 0;
    std::function<bool()> m_stop;
};

Q_DECLARE_OPERATORS_FOR_FLAGS(SqliteFile::Options)
