// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>
#include <QVariant>

namespace Legacy {

// One table's rows in this version's column order: an integer is a qint64, text a QString,
// and NULL an invalid QVariant (kept apart from empty text).
struct JetTable
{
    QString name;
    QList<QList<QVariant>> rows;
};

struct JetCatalogue
{
    JetTable media;   // cds
    JetTable titles;  // softs
    QString warnings; // what the reading library said, summed up in one line; empty if nothing
};

// Reads `cds` and `softs` from an Access/Jet 4 file without changing it, and refuses with the
// reason anything it cannot carry over faithfully: a file that is empty, truncated, not Jet or
// Jet 3; a missing table or column; a column of another kind; an extra column; a missing or
// repeated code; a value longer than this version's column.
// The reading runs in a child process that dies with the caller, holds none of its files and
// has its own limits on time, memory and output.
JetCatalogue readJetCatalogue(const QString &path);

// The same reading in the calling process, with no safety net: for the fuzzer, which brings
// its own limits and must see the code it exercises.
JetCatalogue readJetCatalogueInProcess(const QString &path);

} // namespace Legacy
