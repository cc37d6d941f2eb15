// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/text_metrics.h"

#include <QImage>

#include <algorithm>
#include <limits>
#include <vector>

namespace {

const QImage &measuringDevice()
{
    static const QImage device = [] {
        QImage image(1, 1, QImage::Format_ARGB32_Premultiplied);
        const int dotsPerMeter = qRound(reportUnitsPerInch / 0.0254);
        image.setDotsPerMeterX(dotsPerMeter);
        image.setDotsPerMeterY(dotsPerMeter);
        return image;
    }();
    return device;
}

} // namespace

QFont reportFont(const QFont &font)
{
    QFont result(font);
    result.setHintingPreference(QFont::PreferNoHinting);
    result.setKerning(true);
    return result;
}

QFontMetricsF reportFontMetrics(const QFont &font)
{
    return QFontMetricsF(reportFont(font), &measuringDevice());
}

QFont measuringFont(const QFont &font)
{
    return QFont(reportFont(font), &measuringDevice());
}

std::optional<ShapedLine> shapeLine(const QFont &font, const QString &text)
{
    if (font.underline() || font.overline() || font.strikeOut())
        return std::nullopt;
    // Controls, the string separator horizontalAdvance stops at, and line or paragraph breaks
    // that a text layout would act on.
    const bool plain = std::none_of(text.begin(), text.end(), [](QChar c) {
        const char16_t u = c.unicode();
        return u < 0x20 || (u >= 0x7f && u <= 0x9f) || c == QChar::LineSeparator ||
               c == QChar::ParagraphSeparator;
    });
    if (!plain)
        return std::nullopt;
    auto layout = std::make_shared<QTextLayout>(text, font, &measuringDevice());
    // As drawText from a point lays it out: one left-to-right line from its left end.
    QTextOption option(Qt::AlignLeft | Qt::AlignAbsolute);
    option.setWrapMode(QTextOption::NoWrap);
    option.setTextDirection(Qt::LeftToRight);
    layout->setTextOption(option);
    // Keeps the glyphs once laid out, for drawing.
    layout->setCacheEnabled(true);
    layout->beginLayout();
    QTextLine line = layout->createLine();
    if (line.isValid()) {
        line.setLineWidth(std::numeric_limits<int>::max() / 128);
        // A glyph from a fallback font may raise the line; the baseline stays at the font's
        // own ascent, where drawText puts it.
        line.setPosition(QPointF(0, QFontMetricsF(font).ascent() - line.ascent()));
    }
    layout->endLayout();
    return ShapedLine{line.isValid() ? line.horizontalAdvance() : 0.0, std::move(layout)};
}

QStringList fittedLines(const QFont &font, const QString &text, double width, double height,
                        bool wrap)
{
    const QFont measured = reportFont(font);
    const QFontMetricsF metrics(measured, &measuringDevice());
    QString flat = text;
    flat.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(flat, measured, &measuringDevice());
    QTextOption option;
    option.setWrapMode(wrap ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout.setTextOption(option);
    struct Line
    {
        int start, length;
    };
    std::vector<Line> lines;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        lines.push_back({line.textStart(), line.textLength()});
    }
    layout.endLayout();

    // Only whole lines: a line the box cannot hold would leave the top of its glyphs behind.
    const double lineHeight = metrics.height();
    const int fit = int(std::clamp((height + 0.5) / lineHeight, 0.0, double(lines.size())));
    QStringList shown;
    for (int i = 0; i < fit; ++i)
        shown.append(flat.mid(lines[size_t(i)].start, lines[size_t(i)].length).trimmed());
    const bool cut = fit < int(lines.size());
    const bool tooWide = !wrap && fit == 1 && metrics.horizontalAdvance(shown.back()) > width;
    if (fit > 0 && (cut || tooWide)) {
        QString rest = flat.mid(lines[size_t(fit - 1)].start).simplified();
        // Ends in "…" even where the rest would just fit on the line.
        QString elided = metrics.elidedText(rest, Qt::ElideRight, width);
        if (!elided.endsWith(QChar(0x2026))) {
            while (!rest.isEmpty() && metrics.horizontalAdvance(rest + QChar(0x2026)) > width)
                rest.chop(1);
            elided = rest.trimmed() + QChar(0x2026);
        }
        shown.back() = elided;
    }
    return shown;
}

QString fittedText(const QFont &font, const QString &text, const QSizeF &box, bool wrap)
{
    return fittedLines(font, text, box.width() * reportUnitsPerMm, box.height() * reportUnitsPerMm,
                       wrap)
        .join(QLatin1Char('\n'));
}
