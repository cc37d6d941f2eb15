// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>

// Pictures are decoded through one swappable function so that the project's own JPEG loader can
// take over from Qt's image plugins without touching the engine.
using PictureDecoder = QImage (*)(const QByteArray &bytes);

// Returns the decoder that was in place; nullptr restores Qt's own decoding.
PictureDecoder setPictureDecoder(PictureDecoder decoder);

// A null image when the file or resource is missing or cannot be decoded.
QImage loadPicture(const QString &path);
