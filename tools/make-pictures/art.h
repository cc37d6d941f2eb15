// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QImage>

// Each function draws one picture, antialiased, on a transparent ARGB canvas (the glyphs and
// the icon) or on an opaque one (banners, logo).
QImage drawAppIcon();
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
