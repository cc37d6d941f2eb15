// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>
#include <QString>

// Each function draws one picture, antialiased, on a transparent ARGB canvas (the glyphs and
// the icon) or on an opaque one (banners, logo).
QImage drawAppIcon(int size = 32);
// The same icon as SVG text, for the icon theme's scalable size.
QString appIconSvg();
QImage drawMediaBanner();
QImage drawSoftwareBanner();
QImage drawLogo();
QImage drawNewGlyph();
QImage drawSaveGlyph();
QImage drawDeleteGlyph();
QImage drawCloseDoorGlyph();
QImage drawRefreshGlyph();
QImage drawSearchGlyph();
QImage drawOkGlyph();
