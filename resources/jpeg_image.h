// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Decodes a JPEG held in memory through libjpeg into an RGB32 image. Corrupt or truncated
// data, or a colour space other than grey or RGB/YCbCr, gives a null image.
QImage loadJpeg(const QByteArray &data);

// Reads a JPEG file or compiled-in resource (":/pictures/logo.jpg") and decodes it; a
// missing or unreadable one gives a null image.
QImage loadJpegResource(const QString &path);
