// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "core/schema.h"

#include <QString>
#include <QStringList>

#include <span>

namespace Legacy {

struct UpgradeResult
{
    int fromVersion = 0;
    int toVersion = 0;
    QString backup; // where the file of the older version was kept; empty when nothing changed
};

// Brings the catalogue at `path` to version `newest` by the steps of `migrations`, in place:
// the steps run on a copy, the copy must pass the engine's quick check and keep every table's
// rows and is made durable, the original keeps a second name ("<name>.v<N>-original"), and
// only then does the copy take the file's name at once. Other writers wait until it is done.
// A file of the newest version is left alone; one of a newer version, or of one no step starts
// from, is refused with the reason and not changed.
UpgradeResult upgradeCatalogue(const QString &path,
                               std::span<const Schema::Migration> migrations = Schema::migrations(),
                               int newest = Schema::version);

// The version a catalogue file records, read without writing anything; -1 when the path holds
// no catalogue of this format (missing, a Jet file, anything else).
int fileVersion(const QString &path);

// For the program and its launcher, which open the catalogue for the user: brings a file of an
// older version to this one and returns what the user is told about it once; empty when the
// file needed nothing. A refusal throws, leaving the file as it was.
QString upgradeForUser(const QString &path);

struct CleanResult
{
    QStringList removed; // one description per object removed
    QStringList kept;    // what still stops writes and no removal mends (a key, a collation)
    QString backup;      // where the catalogue as it was was kept; empty when nothing changed
};

// Removes from the catalogue at `path` every trigger, view and computed index that makes the
// program refuse to write to it, the same way as an upgrade: on a copy that must pass the
// integrity check, the original kept as "<name>.antes-da-limpeza". Tables and plain indexes
// that do no harm stay; a catalogue with nothing to remove is left alone.
CleanResult cleanCatalogue(const QString &path);

} // namespace Legacy
