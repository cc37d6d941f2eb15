// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/exceptions.h"

#include <QByteArrayView>
#include <QString>
#include <QVariant>

class SqliteFile;
struct sqlite3;
struct sqlite3_stmt;

// A failure of the engine, described for the user with the catalogue's name; the engine's
// own code and text stay at hand for callers that word it their own way.
class EngineError : public EOleException
{
public:
    // `writing`: the failing statement writes, so an interruption is not a slow read.
    EngineError(int resultCode, const QString &engineText, const QString &catalogue,
                bool writing = false);
    int resultCode() const { return m_resultCode; }
    const QString &engineText() const { return m_engineText; }
    // Stopped by the time limit or the user.
    bool wasInterrupted() const;
    // A read-only connection met the journal of an interrupted write, which only a writer can
    // roll back.
    bool leftUnfinishedWrite() const;

private:
    int m_resultCode;
    QString m_engineText;
};

// One prepared statement, finalized on every path out. Every failure throws EngineError.
class Statement
{
public:
    // Prepares the first statement of `sql`; `catalogue` names the file in messages.
    Statement(sqlite3 *db, const QString &sql, const QString &catalogue = {});
    // The same on an open catalogue file, named in messages by its path.
    Statement(SqliteFile &file, const QString &sql);
    ~Statement();
    Statement(const Statement &) = delete;
    Statement &operator=(const Statement &) = delete;

    // Parameters count from 1. An invalid or null value binds NULL; integers bind as
    // integers, doubles as reals, byte arrays as blobs, anything else as text.
    void bind(int index, const QVariant &value);
    // A name the statement does not use (":name") is ignored.
    void bind(const QString &name, const QVariant &value);

    // Runs to the next row: true while a row is ready, false once the statement is done.
    bool step();
    // Runs a statement that returns no rows; returns how many rows it changed.
    int execute();
    // Makes the statement ready to run again; the bindings stay.
    void reset();

    int columnCount() const;
    bool isNull(int column) const;
    qint64 integer(int column) const;
    QString text(int column) const; // empty for NULL
    // The value as the engine's UTF-8 text, valid until the next step; null for NULL.
    QByteArrayView utf8(int column) const;
    // By the value's own storage: invalid for NULL, qlonglong, double or QString.
    QVariant value(int column) const;

    // For column metadata and bulk copies inside the data layer.
    sqlite3_stmt *handle() const { return m_statement; }

private:
    [[noreturn]] void fail(int resultCode) const;

    sqlite3 *m_db;
    sqlite3_stmt *m_statement = nullptr;
    QString m_catalogue;
};
