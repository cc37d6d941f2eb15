// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/text_metrics.h"

#include <QImage>

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
