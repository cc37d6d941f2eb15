// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/file_backup.h"

#include "core/exceptions.h"
#include "core/schema.h"
#include "data/engine/sqlite/statement.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

// Long enough for another program to finish any one save, or a run of them.
constexpr int busyTimeoutMs = 30000;

// A writer that saves again and again leaves the file free only for moments between its
// saves; waits of a millisecond catch them where the engine's growing waits would miss them.
int waitBriefly(void *, int attempt)
{
    if (attempt >= busyTimeoutMs)
        return 0;
    sqlite3_sleep(1);
    return 1;
}

struct Closer
{
    void operator()(sqlite3 *db) const { sqlite3_close(db); }
};
using Database = std::unique_ptr<sqlite3, Closer>;

Database openFile(const QString &path, int flags)
{
    sqlite3 *raw = nullptr;
    const int rc = sqlite3_open_v2(QFile::encodeName(path).constData(), &raw, flags, nullptr);
    Database db(raw);
    if (rc != SQLITE_OK) {
        throw Exception(
            QStringLiteral("Não foi possível abrir o catálogo '%1' (%2)")
                .arg(path, QString::fromUtf8(raw ? sqlite3_errmsg(raw) : sqlite3_errstr(rc))));
    }
    sqlite3_extended_result_codes(db.get(), 1);
    sqlite3_busy_handler(db.get(), waitBriefly, nullptr);
    return db;
}

FileBackup::Counts countRows(sqlite3 *db, const QString &path)
{
    FileBackup::Counts counts;
    Statement media(
        db, QStringLiteral("SELECT count(*) FROM %1").arg(Schema::name(Schema::media.name)), path);
    if (media.step())
        counts.media = media.integer(0);
    Statement titles(
        db, QStringLiteral("SELECT count(*) FROM %1").arg(Schema::name(Schema::titles.name)), path);
    if (titles.step())
        counts.titles = titles.integer(0);
    return counts;
}

// Runs the whole backup in one step: a step at a time would let a writer in between, and the
// engine would then start the copy over, perhaps for ever.
void runBackup(sqlite3 *destination, sqlite3 *source, const QString &path)
{
    sqlite3_backup *backup = sqlite3_backup_init(destination, "main", source, "main");
    if (!backup)
        throw EngineError(sqlite3_errcode(destination),
                          QString::fromUtf8(sqlite3_errmsg(destination)), path);
    int rc = SQLITE_OK;
    do {
        rc = sqlite3_backup_step(backup, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(50);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    const int finished = sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE || finished != SQLITE_OK)
        throw EngineError(rc != SQLITE_DONE ? rc : finished,
                          QString::fromUtf8(sqlite3_errmsg(destination)), path);
}

int userVersion(sqlite3 *db, const QString &path)
{
    Statement statement(db, QStringLiteral("PRAGMA user_version"), path);
    return statement.step() ? int(statement.integer(0)) : 0;
}

} // namespace

QStringList FileBackup::check(const QString &path)
{
    QStringList problems;
    if (!QFileInfo(path).isFile())
        return {QStringLiteral("O arquivo '%1' não existe").arg(path)};
    try {
        Database db = openFile(path, SQLITE_OPEN_READONLY);
        {
            Statement integrity(db.get(), QStringLiteral("PRAGMA integrity_check(20)"), path);
            while (integrity.step()) {
                const QString line = integrity.text(0);
                if (line != u"ok")
                    problems.append(QStringLiteral("Dano no arquivo: %1").arg(line));
            }
        }
        const int version = userVersion(db.get(), path);
        if (version != Schema::version) {
            problems.append(QStringLiteral("O catálogo '%1' é da versão %2; esta versão do Quivel "
                                           "usa a %3")
                                .arg(path)
                                .arg(version)
                                .arg(Schema::version));
        }
        for (const Schema::Table &table : Schema::tables) {
            QStringList columns;
            for (const Schema::Column &c : table.columns)
                columns.append(Schema::name(c.name));
            try {
                Statement(db.get(),
                          QStringLiteral("SELECT %1 FROM %2 LIMIT 0")
                              .arg(columns.join(u','), Schema::name(table.name)),
                          path);
            } catch (const Exception &) {
                problems.append(
                    QStringLiteral("A tabela '%1' falta ou não tem as colunas %2")
                        .arg(Schema::name(table.name), columns.join(QStringLiteral(", "))));
            }
        }
    } catch (const Exception &e) {
        problems.append(e.message());
    }
    return problems;
}

FileBackup::Counts FileBackup::counts(const QString &path)
{
    Database db = openFile(path, SQLITE_OPEN_READONLY);
    return countRows(db.get(), path);
}

FileBackup::Counts FileBackup::copy(const QString &source, const QString &destination)
{
    if (QFileInfo::exists(destination))
        throw Exception(
            QStringLiteral("O arquivo '%1' já existe; nada foi alterado").arg(destination));
    if (!QFileInfo(source).isFile())
        throw Exception(QStringLiteral("Não foi possível encontrar o arquivo '%1'").arg(source));
    const QString temporary =
        destination + QStringLiteral(".tmp-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(temporary);
    Counts counts;
    try {
        {
            Database from = openFile(source, SQLITE_OPEN_READONLY);
            Database to = openFile(temporary, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            // The counts and the copy come from one snapshot: the read lock taken here lasts
            // until the copy is done.
            Statement(from.get(), QStringLiteral("BEGIN"), source).execute();
            counts = countRows(from.get(), source);
            runBackup(to.get(), from.get(), destination);
            Statement(from.get(), QStringLiteral("COMMIT"), source).execute();
        }
        const QStringList problems = check(temporary);
        if (!problems.isEmpty())
            throw Exception(QStringLiteral("A cópia não passou na verificação: %1")
                                .arg(problems.join(QStringLiteral("; "))));
        const Counts copied = FileBackup::counts(temporary);
        if (copied.media != counts.media || copied.titles != counts.titles)
            throw Exception(QStringLiteral("A cópia não tem as mesmas mídias e títulos do "
                                           "catálogo"));
    } catch (...) {
        QFile::remove(temporary);
        throw;
    }
    // A link never replaces a file that appeared meanwhile.
    if (::link(QFile::encodeName(temporary).constData(),
               QFile::encodeName(destination).constData()) != 0) {
        const int error = errno;
        QFile::remove(temporary);
        throw Exception(QStringLiteral("Não foi possível criar o arquivo '%1' (%2)")
                            .arg(destination, QString::fromLocal8Bit(std::strerror(error))));
    }
    QFile::remove(temporary);
    return counts;
}

FileBackup::Counts FileBackup::restoreInto(const QString &backup, const QString &target)
{
    const QStringList problems = check(backup);
    if (!problems.isEmpty())
        throw Exception(QStringLiteral("A cópia '%1' não pode ser restaurada: %2")
                            .arg(backup, problems.join(QStringLiteral("; "))));
    if (!QFileInfo(target).isFile())
        throw Exception(QStringLiteral("Não foi possível encontrar o arquivo '%1'").arg(target));
    const Counts expected = counts(backup);
    {
        Database from = openFile(backup, SQLITE_OPEN_READONLY);
        Database to = openFile(target, SQLITE_OPEN_READWRITE);
        runBackup(to.get(), from.get(), target);
    }
    const Counts restored = counts(target);
    if (restored.media != expected.media || restored.titles != expected.titles)
        throw Exception(QStringLiteral("O catálogo restaurado não tem as mesmas mídias e títulos "
                                       "da cópia"));
    return restored;
}
