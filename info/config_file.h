// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The first line of a text file: the bytes before the first line feed or the end of the
// file, of any length, carriage returns left out; a Ctrl+Z (byte 26) ends the text. The
// bytes are Windows-1252 text. Throws EInOutError when the file cannot be opened, read or
// closed.
QString readFirstLine(const QString &path);
