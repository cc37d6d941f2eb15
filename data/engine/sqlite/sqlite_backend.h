// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/engine/backend.h"

#include <memory>

class SqliteFile;

// The catalogue file through SQLite. Owns the engine's handle from a successful open to its
// destruction; statements prepared from it must go first.
class SqliteBackend : public Backend
{
public:
    // Opens an existing catalogue file read-write (read-only when write protected), never
    // creating one; every failure is an EOleException in Portuguese naming the file.
    SqliteBackend(const QString &path, EngineWatch &watch);
    ~SqliteBackend() override;
    SqliteBackend(const SqliteBackend &) = delete;
    SqliteBackend &operator=(const SqliteBackend &) = delete;

    std::unique_ptr<BackendStatement> prepare(const QString &sql) override;
    QString beginWrite() const override { return QStringLiteral("BEGIN IMMEDIATE"); }
    void run(const QString &sql) override;
    bool inTransaction() const override;
    QString writeRefusal(const QString &table) override;
    QString sameValueOperator() const override { return QStringLiteral("IS"); }
    // A file made by another tool may hold text that is not valid UTF-8: match its bytes.
    QString storedText(const QString &column) const override
    {
        return QStringLiteral("CAST(%1 AS BLOB)").arg(column);
    }
    // A function of the connection's (like.h).
    QString accentFreeLike(const QString &text, const QString &pattern) const override
    {
        return QStringLiteral("like_sem_acentos(%1, %2)").arg(pattern, text);
    }
    QString displayName() const override { return m_path; }

private:
    QString m_path;
    std::unique_ptr<SqliteFile> m_file;
};
