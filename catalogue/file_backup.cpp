// SPDX-License-Identifier: GPL-3.0-or-later
#include "catalogue/file_backup.h"

#include "core/exceptions.h"
#include "core/schema.h"
#include "data/engine/sqlite/sqlite_file.h"
#include "data/engine/sqlite/statement.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>

namespace {

// Long enough for another program to finish any one save, or a run of them.
constexpr int busyTimeoutMs = 30000;

std::unique_ptr<SqliteFile> openFile(const QString &path, SqliteFile::Options options = {})
{
    auto file = std::make_unique<SqliteFile>(path, options);
    file->waitForWriters(busyTimeoutMs);
    return file;
}

FileBackup::Counts countRows(SqliteFile &file)
{
    FileBackup::Counts counts;
    Statement media(
        file, QStringLiteral("SELECT count(*) FROM %1").arg(Schema::name(Schema::media.name)));
    if (media.step())
        counts.media = media.integer(0);
    Statement titles(
        file, QStringLiteral("SELECT count(*) FROM %1").arg(Schema::name(Schema::titles.name)));
    if (titles.step())
        counts.titles = titles.integer(0);
    return counts;
}

} // namespace

QStringList FileBackup::check(const QString &path)
{
    QStringList problems;
    if (!QFileInfo(path).isFile())
        return {QStringLiteral("O arquivo '%1' não existe").arg(path)};
    try {
        const auto db = openFile(path, SqliteFile::Option::ReadOnly);
        {
            Statement integrity(*db, QStringLiteral("PRAGMA integrity_check(20)"));
            while (integrity.step()) {
                const QString line = integrity.text(0);
                if (line != u"ok")
                    problems.append(QStringLiteral("Dano no arquivo: %1").arg(line));
            }
        }
        const int version = db->userVersion();
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
                Statement(*db, QStringLiteral("SELECT %1 FROM %2 LIMIT 0")
                                   .arg(columns.join(u','), Schema::name(table.name)));
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
    return countRows(*openFile(path, SqliteFile::Option::ReadOnly));
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
            const auto from = openFile(source, SqliteFile::Option::ReadOnly);
            const auto to = openFile(temporary, SqliteFile::Option::Create);
            // The counts and the copy come from one snapshot: the read lock taken here lasts
            // until the copy is done.
            Statement(*from, QStringLiteral("BEGIN")).execute();
            counts = countRows(*from);
            from->copyInto(*to);
            Statement(*from, QStringLiteral("COMMIT")).execute();
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
        const auto from = openFile(backup, SqliteFile::Option::ReadOnly);
        const auto to = openFile(target);
        from->copyInto(*to);
    }
    const Counts restored = counts(target);
    if (restored.media != expected.media || restored.titles != expected.titles)
        throw Exception(QStringLiteral("O catálogo restaurado não tem as mesmas mídias e títulos "
                                       "da cópia"));
    return restored;
}
