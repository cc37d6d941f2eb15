// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "identify/identify.h"

namespace Identify {

// The kind of disc an image of this many bytes was burnt from.
QString discTypeForSize(qint64 bytes);

// For an image file open as fd: its volume label and type, from the library that tells file
// systems apart. The name falls back to the file's name.
MediumGuess guessImage(int fd, qint64 size, const QString &fileName);

// For a folder: the label of the volume it lies on when it is the volume's root, and the
// kind of device that holds it.
MediumGuess guessFolder(const QString &path);

} // namespace Identify
