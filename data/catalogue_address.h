// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Where the program finds its catalogue: the file's name and path in a directory, the
// connection string that names it, and the server that QUIVEL_DATABASE may name instead.
namespace Catalogue {

inline QString fileName()
{
    return QStringLiteral("quivel.mdb");
}

// The catalogue's path in a directory: the directory, "/", the file name; nothing normalised.
QString filePath(const QString &directory);

// The fourteen fixed pieces, with the directory as the second and "/" as this platform's
// separator.
QString connectionString(const QString &directory);
// The catalogue the program opens: the server QUIVEL_DATABASE names (a libpq URI or keyword
// string) when it is set, else the file in the directory.
QString chosenConnectionString(const QString &directory);

} // namespace Catalogue
