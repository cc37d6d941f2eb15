// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The catalogue file: its name, the connection string that names it, and how a new one is
// made for a first run, for tests and for benchmarks.
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

// Each refuses to replace an existing file and leaves nothing behind when it fails.
void createEmpty(const QString &path);
void createSample(const QString &path);
// Deterministic filler for benchmarks: media named "Mídia N", titles spread over them.
void createLarge(const QString &path, int mediaCount, int titleCount);

} // namespace Catalogue
