// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QString>

// Texts taken from a medium: any encoding, any characters, any length.
namespace Identify {

// Bytes of unknown encoding: UTF-16 or UTF-8 when marked or valid, otherwise code page 1252
// (the Windows encoding of names and texts on FAT, ISO 9660 and installers).
QString decodeUntrusted(QByteArrayView bytes);

// Without control, format and unpaired surrogate characters; runs of white space become one
// space, trimmed.
QString cleanUntrusted(const QString &text);

struct CutText
{
    QString text;
    bool cut = false;
};
// Cut to at most `size` characters, the cut shown with "…" as the last one.
CutText cutToSize(const QString &text, int size);

} // namespace Identify
