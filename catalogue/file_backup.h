// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Copies of a catalogue file through the engine's online backup, which reads one consistent
// snapshot even while another program writes to the file, and takes its write lock to put one
// back, so programs that have the file open see the restored catalogue at their next read.
namespace FileBackup {

struct Counts
{
    qint64 media = 0;
    qint64 titles = 0;
};

// Copies the catalogue at source into a new file at destination and checks the copy against
// the snapshot it was taken from. Refuses an existing destination and leaves nothing behind
// when it fails. Throws Exception.
Counts copy(const QString &source, const QString &destination);

// Replaces the contents of the catalogue at target with the catalogue in backup, in one step
// of the engine. The caller keeps a copy of target first. Throws Exception.
Counts restoreInto(const QString &backup, const QString &target);

// What is wrong with a catalogue file: damage the engine finds, a version this program does
// not know, tables or columns missing. Empty when nothing is.
QStringList check(const QString &path);

// How many media and titles a catalogue file holds.
Counts counts(const QString &path);

} // namespace FileBackup
