// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

class Backend;
class SqliteFile;

// What a catalogue holds besides what the program made, and whether that makes it unsafe to
// write. A trigger runs on every save, a view or an index on an expression or with a
// condition runs code the program never wrote; a table whose key is not the program's one
// integer key lets one save touch several rows. The writer refuses, and the checker reports,
// from these very functions.
namespace SchemaObjects {

struct Finding
{
    QString kind;  // "gatilho", "visão", "índice", "tabela", "regra", "chave"
    QString name;  // the object, or the table whose key is wrong
    QString table; // the table it belongs to, when it belongs to one
    // True when the program refuses to write while it exists; false when it is only reported.
    bool refusesWrites = false;
    // For the user: what it is, what it does to the program, what to do.
    QString description;
};

// Every object of the file's schema the program's own schema does not make, and every table of
// the program whose key is not its single integer key. Engine failures throw EngineError.
QList<Finding> inspectFile(SqliteFile &file);

// The same for the server catalogue's "quivel" schema, through its open backend.
QList<Finding> inspectServer(Backend &backend);

// The statement that inspection runs before every server save.
QString serverInspection();

// The refusal for a write to `table`, or empty when nothing stops it: any finding that refuses
// writes, and a wrong key of that table. On a server the remedy is its administrator's.
QString writeRefusal(const QList<Finding> &findings, const QString &table, const QString &catalogue,
                     bool server = false);

// One line per finding, as the checker prints them.
QStringList describe(const QList<Finding> &findings, bool server = false);

// The statements that remove from a file what makes the program refuse to write, but for a
// wrong key, which no removal mends. Harmless extra tables and indexes stay.
QStringList removalStatements(const QList<Finding> &findings);

} // namespace SchemaObjects
