// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QFontMetricsF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QTextLayout>

#include <memory>
#include <optional>

// Text is measured and painted in one fine unit, 1/1200 inch, so that widths found by the layout
// match what any device (screen, printer, PDF) later draws, whatever its own resolution.
inline constexpr double reportUnitsPerInch = 1200.0;
inline constexpr double reportUnitsPerMm = reportUnitsPerInch / 25.4;

// The font as laid out and painted: unhinted, so that advances scale linearly with resolution.
QFont reportFont(const QFont &font);

// Metrics in report units (1/1200 inch) for a font of the page model.
QFontMetricsF reportFontMetrics(const QFont &font);

// The font as measured: reportFont at the measuring resolution, made once and kept, so that
// measuring with it makes no font of its own.
QFont measuringFont(const QFont &font);

// A text on one line, shaped once: its advance, as QFontMetricsF::horizontalAdvance gives it,
// and its layout, whose line's top-left corner is at (0, 0) and baseline at the font's ascent.
// Drawn by a painter in report units, the layout paints what drawText would, without shaping
// the text again.
struct ShapedLine
{
    double advance = 0; // report units
    std::shared_ptr<const QTextLayout> layout;
};
// Nothing for text that is not a plain line (a break, a tab, another control character) or a
// font that decorates it (underline, overline, strike-out): those are measured and painted as
// text. font is a measuringFont.
std::optional<ShapedLine> shapeLine(const QFont &font, const QString &text);

// The lines of text that fit whole in a box of width by height report units: broken at word
// boundaries when wrap is set (inside a word only when it is wider than the box), cut after
// the last line that fits, which then ends with "…" so that the reader knows there is more.
QStringList fittedLines(const QFont &font, const QString &text, double width, double height,
                        bool wrap);
// The same lines for a box given in millimetres, joined by '\n': the text a page shows.
QString fittedText(const QFont &font, const QString &text, const QSizeF &box, bool wrap);
