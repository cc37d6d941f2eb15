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

// The copy a command builds beside the catalogue it replaces ("quivel.mdb.convert-PID.tmp"),
// removed unless released. What a killed run left under the same purpose is removed once the
// process that made it is gone.
class TemporaryFile
{
public:
    TemporaryFile(const QString &target, const QString &purpose);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile &) = delete;
    TemporaryFile &operator=(const TemporaryFile &) = delete;

    const QString &path() const { return m_path; }
    void release() { m_released = true; }
    void discard() const;

private:
    QString m_path;
    bool m_released = false;
};

} // namespace Legacy
