// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QSizeF>
#include <QString>
#include <QStringList>

// Text is measured and painted in one fine unit, 1/1200 inch, so that widths found by the layout
// match what any device (screen, printer, PDF) later draws, whatever its own resolution.
inline constexpr double reportUnitsPerInch = 1200.0;
inline constexpr double reportUnitsPerMm = reportUnitsPerInch / 25.4;

// The font as laid out and painted: unhinted, so that advances scale linearly with resolution.
QFont reportFont(const QFont &font);

// Metrics in report units (1/1200 inch) for a font of the page model.
QFontMetricsF reportFontMetrics(const QFont &font);

// The lines of text that fit whole in a box of width by height report units: broken at word
// boundaries when wrap is set (inside a word only when it is wider than the box), cut after
// the last line that fits, which then ends with "…" so that the reader knows there is more.
QStringList fittedLines(const QFont &font, const QString &text, double width, double height,
                        bool wrap);
// The same lines for a box given in millimetres, joined by '\n': the text a page shows.
QString fittedText(const QFont &font, const QString &text, const QSizeF &box, bool wrap);
