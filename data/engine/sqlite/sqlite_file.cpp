// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/sqlite/sqlite_file.h"

#include "core/exceptions.h"
#include "data/engine/sqlite/statement.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <sqlite3.h>

SqliteFile::OpenError::OpenError(const QString &path, const QString &engineText)
    : EOleException(
          QStringLiteral("Não foi possível abrir o catálogo '%1' (%2)").arg(path, engineText))
    , m_engineText(engineText)
{}

SqliteFile::SqliteFile(const QString &path, Options options)
    : m_path(path)
{
    int flags = options.testFlag(Option::ReadOnly) ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE;
    if (options.testFlag(Option::Create))
        flags |= SQLITE_OPEN_CREATE;
    if (options.testFlag(Option::OneThread))
        flags |= SQLITE_OPEN_NOMUTEX;
    QByteArray name = QFile::encodeName(path);
    if (options.testFlag(Option::Immutable)) {
        QUrl uri = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        uri.setQuery(QStringLiteral("mode=ro&immutable=1"));
        name = uri.toEncoded();
        flags |= SQLITE_OPEN_URI;
    }
    const int rc = sqlite3_open_v2(name.constData(), &m_db, flags, nullptr);
    if (rc != SQLITE_OK) {
        const QString text =
            m_db ? QString::fromUtf8(sqlite3_errmsg(m_db)) : QString::fromUtf8(sqlite3_errstr(rc));
        sqlite3_close(m_db);
        throw OpenError(path, text);
    }
    sqlite3_extended_result_codes(m_db, 1);
    if (options.testFlag(Option::UntrustedSchema))
        sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
}

SqliteFile::~SqliteFile()
{
    // The _v2 close waits for statements still open instead of failing.
    sqlite3_close_v2(m_db);
}

void SqliteFile::close()
{
    if (!m_db)
        return;
    const int rc = sqlite3_close(m_db);
    if (rc != SQLITE_OK)
        throw EngineError(rc, QString::fromUtf8(sqlite3_errmsg(m_db)), m_path, true);
    m_db = nullptr;
}

void SqliteFile::run(const QString &sql)
{
    char *error = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    const QString text = QString::fromUtf8(error ? error : sqlite3_errstr(rc));
    sqlite3_free(error);
    if (rc != SQLITE_OK)
        throw EngineError(sqlite3_extended_errcode(m_db), text, m_path, true);
}

int SqliteFile::userVersion()
{
    Statement statement(m_db, QStringLiteral("PRAGMA user_version"), m_path);
    return statement.step() ? int(statement.integer(0)) : 0;
}

bool SqliteFile::isReadOnly() const
{
    return sqlite3_db_readonly(m_db, "main") != 0;
}

bool SqliteFile::inTransaction() const
{
    return !sqlite3_get_autocommit(m_db);
}

int SqliteFile::keepWaiting(void *file, int attempt)
{
    if (attempt >= static_cast<SqliteFile *>(file)->m_waitMs)
        return 0;
    sqlite3_sleep(1);
    return 1;
}

void SqliteFile::waitForWriters(int ms)
{
    m_waitMs = ms;
    sqlite3_busy_handler(m_db, ms > 0 ? keepWaiting : nullptr, this);
}

int SqliteFile::interrupt(void *file)
{
    return static_cast<SqliteFile *>(file)->m_stop() ? 1 : 0;
}

void SqliteFile::stopWhen(std::function<bool()> stop)
{
    m_stop = std::move(stop);
    sqlite3_progress_handler(m_db, 1000, m_stop ? interrupt : nullptr, this);
}

void SqliteFile::copyInto(SqliteFile &destination)
{
    sqlite3 *to = destination.m_db;
    sqlite3_backup *backup = sqlite3_backup_init(to, "main", m_db, "main");
    if (!backup)
        throw EngineError(sqlite3_extended_errcode(to), QString::fromUtf8(sqlite3_errmsg(to)),
                          destination.path(), true);
    int rc = SQLITE_OK;
    do {
        rc = sqlite3_backup_step(backup, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(50);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE || finished != SQLITE_OK)
        throw EngineError(rc != SQLITE_DONE ? rc : finished, QString::fromUtf8(sqlite3_errmsg(to)),
                          destination.path(), true);
}

SqliteFile::ColumnFacts SqliteFile::columnFacts(const QString &table, const QString &column) const
{
    ColumnFacts facts;
    const char *collation = nullptr;
    int primaryKey = 0;
    facts.found = sqlite3_table_column_metadata(m_db, "main", table.toUtf8().constData(),
                                                column.toUtf8().constData(), nullptr, &collation,
                                                nullptr, &primaryKey, nullptr) == SQLITE_OK;
    if (facts.found) {
        facts.primaryKey = primaryKey != 0;
        facts.collation = QString::fromUtf8(collation ? collation : "");
    }
    return facts;
}
