// SPDX-License-Identifier: GPL-3.0-or-later
#include "resources/picture_resources.h"

#include <QImageReader>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerPictures()
{
    Q_INIT_RESOURCE(pictures);
}

void initQuivelResources()
{
    static const bool registered = (registerPictures(), true);
    Q_UNUSED(registered);
}

QImage glyphWithTransparency(const QImage &bmp)
{
    if (bmp.isNull())
        return {};
    QImage glyph = bmp.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = glyph.pixel(0, glyph.height() - 1) & RGB_MASK;
    for (int y = 0; y < glyph.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(glyph.scanLine(y));
        for (int x = 0; x < glyph.width(); ++x)
            line[x] = (line[x] & RGB_MASK) == key ? qRgba(0, 0, 0, 0) : (line[x] | ~RGB_MASK);
    }
    return glyph;
}

QImage loadGlyph(const QString &path)
{
    initQuivelResources();
    QImageReader reader(path);
    return glyphWithTransparency(reader.read());
}
