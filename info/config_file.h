// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// The first line of a text file: the bytes before the first line feed or the end of the
// file, carriage returns left out; a Ctrl+Z (byte 26) ends the text. At most the first MiB of
// the line is read. The bytes are UTF-8 text when they are valid UTF-8 (a leading byte order
// mark dropped) and Windows-1252 text otherwise. Throws EInOutError when the file cannot be
// opened, read or closed, or is not a regular file.
QString readFirstLine(const QString &path);
