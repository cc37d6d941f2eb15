// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// A catalogue on a PostgreSQL server, named by a libpq URI or keyword string: made, filled,
// checked and copied to and from a file. Each write is one transaction: all or nothing.
namespace ServerCatalogue {

// Makes the tables in a database that has none of the catalogue's.
void create(const QString &conninfo);
// Makes the tables and fills them like the file versions.
void createSample(const QString &conninfo);
void createLarge(const QString &conninfo, int mediaCount, int titleCount);

// Copies a file catalogue into a server database with no catalogue yet, keeping codes,
// NULLs and the next code each table will give. Returns what was copied differently: texts
// holding a NUL, which the server cannot keep, go without it, each named by table, code and
// column.
QStringList copyFromFile(const QString &path, const QString &conninfo);
// Copies a server catalogue into a new file.
void copyToFile(const QString &conninfo, const QString &path);

struct Upgrade
{
    int fromVersion = 0;
    int toVersion = 0; // equal to fromVersion when nothing changed
    // The server now refuses titles on media that do not exist (catalogues made before it).
    bool mediumKeyAdded = false;
    // The server now records who changed each medium and title (catalogues made before it).
    bool changesAdded = false;
};
// Brings a catalogue of an older version to this one in one transaction: all the steps or,
// on any failure, none. One of a newer version is refused and left alone, and so is one
// holding titles whose medium does not exist (they are named).
Upgrade upgrade(const QString &conninfo);

// What is wrong with a server catalogue; empty when nothing is.
QStringList check(const QString &conninfo);

} // namespace ServerCatalogue
