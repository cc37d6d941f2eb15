// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// Baseline JFIF, three components, 96 dpi. Returns an empty string on success, else the reason.
QString writeJpeg(const QImage &image, const QString &path, int quality);

// Uncompressed 24-bit Windows bitmap, bottom-up rows.
QString writeBmp24(const QImage &image, const QString &path);

// Flattens antialiased art into a glyph: pixels the art leaves (nearly) empty take the
// transparent colour; edges are blended over the button face so they do not fringe; no
// drawn pixel keeps the exact transparent colour, or it would vanish on the button.
QImage flattenGlyph(const QImage &art, QColor transparent, QColor face);
