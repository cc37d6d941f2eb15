// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// What the tool's commands that replace a catalogue share: a file or folder made durable
// before the next step may rely on it. Failures throw Exception with the reason.
namespace Legacy {

QString systemError(int error);
QByteArray nativeName(const QString &path);

void syncFile(const QString &path);
void syncFolder(const QString &folder);

} // namespace Legacy
