// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace Legacy {

struct ConversionResult
{
    QString catalogue;  // the new catalogue's path
    QString backup;     // where the Jet original was kept; empty unless converted in place
    int mediaCount = 0; // rows of cds
    int titleCount = 0; // rows of softs
    QString warnings;   // what the reading library said, in one line; empty if nothing
};

// Suffix of the name under which an in-place conversion keeps the Jet original.
inline QString backupSuffix()
{
    return QStringLiteral(".jet-original");
}

// Writes the catalogue of the Jet file `jetPath` to `sqlitePath` in this version's format,
// keeping every row with its code, NULLs and text. When `sqlitePath` is empty or names the
// Jet file itself, the file is converted in place: the original is kept beside it under
// "<name>.jet-original" (or "<name>.jet-original-2" and so on, never overwritten) and the new
// catalogue takes its name only once it is complete, checked and on disk. Any refusal or
// failure throws Exception with the reason and leaves the Jet file as it was.
ConversionResult convertJetCatalogue(const QString &jetPath, const QString &sqlitePath);

} // namespace Legacy
