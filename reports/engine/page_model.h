// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QImage>
#include <QLineF>
#include <QRectF>
#include <QSizeF>
#include <QString>

#include <vector>

// A laid-out report: what each page shows, in millimetres from the page's top-left corner.
// Painting, printing, the preview's search and the report file all read this and nothing else.

struct PageText
{
    QRectF rect; // already clipped to the printable area
    QString text;
    QFont font; // family, point size and style; the size is in points whatever the device
    Qt::Alignment alignment = Qt::AlignLeft;
    // Set where the text does not fit its rectangle: painting then shows the whole lines that
    // fit, wrapped at word boundaries, the last one ending in "…".
    bool wordWrap = false;
    QString element; // the layout element that printed it
};

struct PagePicture
{
    QRectF rect; // the picture is drawn at the rectangle's size, clipped to it
    QImage image;
    QString element;
};

struct PageLine
{
    QLineF line;
    double width = 0; // pen width; 0 is the thinnest line the device draws
    QString element;
};

struct ReportPage
{
    std::vector<PagePicture> pictures;
    std::vector<PageLine> lines;
    std::vector<PageText> texts;
};

struct ReportDocument
{
    QString title;
    QSizeF pageSize{210.0, 297.0};
    std::vector<ReportPage> pages;
};
