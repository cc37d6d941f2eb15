// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/picture_loader.h"

#include <QFile>

namespace {

QImage decodeWithQt(const QByteArray &bytes)
{
    return QImage::fromData(bytes);
}

PictureDecoder g_decoder = &decodeWithQt;

} // namespace

PictureDecoder setPictureDecoder(PictureDecoder decoder)
{
    PictureDecoder previous = g_decoder;
    g_decoder = decoder ? decoder : &decodeWithQt;
    return previous;
}

QImage loadPicture(const QString &path)
{
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly))
        return {};
    return g_decoder(file.readAll());
}
