// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "data/backend.h"

struct sqlite3;

// The catalogue file through SQLite. The connection owns the handle; this only borrows it.
class SqliteBackend : public Backend
{
public:
    SqliteBackend(sqlite3 *db, const QString &path);

    std::unique_ptr<BackendStatement> prepare(const QString &sql) override;
    qint64 lastInsertKey() override;
    QString sameValueOperator() const override { return QStringLiteral("IS"); }
    // A file made by another tool may hold text that is not valid UTF-8: match its bytes.
    QString storedText(const QString &column) const override
    {
        return QStringLiteral("CAST(%1 AS BLOB)").arg(column);
    }
    // A function of the connection's (data/like.h).
    QString accentFreeLike(const QString &text, const QString &pattern) const override
    {
        return QStringLiteral("like_sem_acentos(%1, %2)").arg(pattern, text);
    }
    QString displayName() const override { return m_path; }

private:
    sqlite3 *m_db;
    QString m_path;
};
