// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>

// quivel_resources is a static library, so its compiled-in pictures register only through
// this call (Q_INIT_RESOURCE). The loaders below make it themselves; code that opens
// ":/pictures/..." on its own (QIcon, QFile) calls it once at start-up. Safe to repeat.
void initQuivelResources();

// A copy of a glyph bitmap as ARGB32 in which every pixel of the bottom-left pixel's colour
// is fully transparent and every other pixel keeps its colour, opaque.
QImage glyphWithTransparency(const QImage &bmp);

// Reads a glyph bitmap (":/pictures/ok.bmp") and applies glyphWithTransparency; a missing
// or unreadable one gives a null image.
QImage loadGlyph(const QString &path);
