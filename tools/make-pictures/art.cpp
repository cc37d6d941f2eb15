// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/make-pictures/art.h"

#include <QConicalGradient>
#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QRadialGradient>
#include <QTransform>

#include <cmath>
#include <numbers>

namespace {

QImage transparentCanvas(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void prepare(QPainter &p)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setRenderHint(QPainter::TextAntialiasing);
}

QPainterPath polygonPath(std::initializer_list<QPointF> points)
{
    QPainterPath path;
    bool first = true;
    for (const QPointF &pt : points) {
        if (first)
            path.moveTo(pt);
        else
            path.lineTo(pt);
        first = false;
    }
    path.closeSubpath();
    return path;
}

QLinearGradient verticalGradient(qreal top, qreal bottom, QColor from, QColor to)
{
    QLinearGradient g(0, top, 0, bottom);
    g.setColorAt(0, from);
    g.setColorAt(1, to);
    return g;
}

// Both banners share this ground: white at the left edge, black at the right.
void paintBannerGround(QPainter &p, QSize size)
{
    QLinearGradient g(0, 0, size.width() - 1, 0);
    g.setColorAt(0, Qt::white);
    g.setColorAt(1, Qt::black);
    p.fillRect(QRect(QPoint(0, 0), size), g);
}

// A compact disc seen face on: silver base, interference colours in sectors, clear hub and
// specular wedges. rainbow sets how strongly the colours show over the silver.
void drawDisc(QPainter &p, QPointF c, qreal r, qreal rainbow, qreal angle)
{
    p.save();
    QPainterPath disc;
    disc.addEllipse(c, r, r);
    QPainterPath hole;
    hole.addEllipse(c, r * 0.15, r * 0.15);
    const QPainterPath body = disc.subtracted(hole);

    QRadialGradient base(c - QPointF(r * 0.35, r * 0.35), r * 1.6);
    base.setColorAt(0, QColor(252, 252, 253));
    base.setColorAt(0.55, QColor(206, 210, 218));
    base.setColorAt(1, QColor(146, 152, 164));
    p.fillPath(body, base);

    p.setClipPath(body);
    QConicalGradient colours(c, angle);
    const int bands = 2;
    const QColor hues[] = {QColor(255, 60, 60),  QColor(255, 200, 40), QColor(90, 220, 80),
                           QColor(40, 200, 230), QColor(70, 90, 255),  QColor(220, 70, 230)};
    const int hueCount = int(std::size(hues));
    for (int b = 0; b < bands; ++b) {
        const qreal start = qreal(b) / bands;
        const qreal span = 1.0 / bands;
        // Silver gap, then the spectrum, then silver again before the next band.
        QColor clear = QColor(255, 255, 255, 0);
        colours.setColorAt(start, clear);
        for (int i = 0; i < hueCount; ++i) {
            QColor h = hues[i];
            h.setAlphaF(float(rainbow));
            colours.setColorAt(start + span * (0.12 + 0.6 * i / (hueCount - 1)), h);
        }
        colours.setColorAt(start + span * 0.92, clear);
    }
    p.fillRect(disc.boundingRect(), colours);

    QConicalGradient shine(c, angle + 60);
    for (int b = 0; b < 2; ++b) {
        const qreal s = b * 0.5;
        shine.setColorAt(s, QColor(255, 255, 255, 0));
        shine.setColorAt(s + 0.06, QColor(255, 255, 255, 210));
        shine.setColorAt(s + 0.13, QColor(255, 255, 255, 0));
        shine.setColorAt(s + 0.4999, QColor(255, 255, 255, 0));
    }
    p.fillRect(disc.boundingRect(), shine);

    // The clear plastic ring around the hub carries no data, so no colours.
    QPainterPath hub;
    hub.addEllipse(c, r * 0.36, r * 0.36);
    QRadialGradient hubFill(c, r * 0.36);
    hubFill.setColorAt(0, QColor(250, 251, 253, 235));
    hubFill.setColorAt(1, QColor(214, 220, 228, 235));
    p.fillPath(hub.subtracted(hole), hubFill);
    p.setClipping(false);

    const qreal line = std::max<qreal>(0.8, r / 40);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(150, 156, 168), line * 0.8));
    p.drawEllipse(c, r * 0.36, r * 0.36);
    p.setPen(QPen(QColor(105, 110, 122), line));
    p.drawEllipse(c, r - line / 2, r - line / 2);
    p.drawEllipse(c, r * 0.15, r * 0.15);
    p.restore();
}

// Strokes a centre line into a filled shape with a gradient body and a dark outline, the way
// small toolbar art is drawn.
void drawOutlinedStroke(QPainter &p, const QPainterPath &centre, qreal width, const QBrush &fill,
                        QColor outline, qreal outlineWidth, Qt::PenCapStyle cap = Qt::RoundCap)
{
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(cap);
    stroker.setJoinStyle(Qt::RoundJoin);
    const QPainterPath shape = stroker.createStroke(centre).simplified();
    p.setPen(QPen(outline, outlineWidth));
    p.setBrush(fill);
    p.drawPath(shape);
}

} // namespace

QImage drawAppIcon(int size)
{
    QImage image = transparentCanvas(size, size);
    QPainter p(&image);
    prepare(p);
    // Drawn on a 32-unit grid; the larger icons of the desktop's icon theme scale it.
    p.scale(size / 32.0, size / 32.0);
    const QColor outline(63, 112, 160);

    const QPainterPath back =
        polygonPath({{2, 4.5}, {11, 4.5}, {13.5, 7}, {28, 7}, {28, 25}, {2, 25}});
    p.setPen(QPen(outline, 1));
    p.setBrush(verticalGradient(4, 25, QColor(172, 212, 243), QColor(120, 174, 222)));
    p.drawPath(back);

    p.setPen(QPen(QColor(150, 160, 170), 0.8));
    p.setBrush(QColor(252, 252, 250));
    p.drawRect(QRectF(4.5, 8.5, 21, 8));

    const QPainterPath front = polygonPath({{1.5, 11.5}, {29.5, 11.5}, {28, 27.5}, {3, 27.5}});
    p.setPen(QPen(outline, 1));
    p.setBrush(verticalGradient(11, 28, QColor(214, 234, 250), QColor(146, 196, 236)));
    p.drawPath(front);
    p.setPen(QPen(QColor(255, 255, 255, 170), 1));
    p.drawLine(QPointF(2.5, 12.6), QPointF(28.5, 12.6));

    const QPointF centre(21.5, 21);
    const qreal radius = 9.6;
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 60));
    p.drawEllipse(centre + QPointF(0.8, 0.9), radius, radius);
    drawDisc(p, centre, radius, 0.95, 35);
    return image;
}

namespace {

QString num(qreal v)
{
    return QString::number(v, 'g', 6);
}

QString svgColour(QColor c)
{
    return QStringLiteral("#%1%2%3")
        .arg(c.red(), 2, 16, QLatin1Char('0'))
        .arg(c.green(), 2, 16, QLatin1Char('0'))
        .arg(c.blue(), 2, 16, QLatin1Char('0'));
}

// fill="..." fill-opacity="..." for a colour that may be translucent.
QString svgPaint(const char *what, QColor c)
{
    const QString name = QLatin1String(what);
    QString out = QStringLiteral(" %1=\"%2\"").arg(name, svgColour(c));
    if (c.alpha() != 255)
        out += QStringLiteral(" %1-opacity=\"%2\"").arg(name, num(c.alphaF()));
    return out;
}

QString svgStops(std::initializer_list<std::pair<qreal, QColor>> stops)
{
    QString out;
    for (const auto &[at, colour] : stops) {
        out +=
            QStringLiteral("<stop offset=\"%1\" stop-color=\"%2\"").arg(num(at), svgColour(colour));
        if (colour.alpha() != 255)
            out += QStringLiteral(" stop-opacity=\"%1\"").arg(num(colour.alphaF()));
        out += QStringLiteral("/>");
    }
    return out;
}

QString svgCircle(QPointF c, qreal r)
{
    // Two half arcs, so that circles can be combined into one path with holes.
    return QStringLiteral("M%1,%2a%3,%3 0 1,0 %4,0a%3,%3 0 1,0 %5,0z")
        .arg(num(c.x() - r), num(c.y()), num(r), num(2 * r), num(-2 * r));
}

// The colour a conical gradient gives at position t (0..1), as Qt interpolates its stops.
QColor conicalColourAt(const QGradientStops &stops, qreal t)
{
    for (qsizetype i = 1; i < stops.size(); ++i) {
        if (t > stops[i].first)
            continue;
        const auto &[t0, c0] = stops[i - 1];
        const auto &[t1, c1] = stops[i];
        const qreal f = t1 > t0 ? (t - t0) / (t1 - t0) : 0;
        auto mix = [f](float a, float b) { return a + (b - a) * float(f); };
        const float alpha = mix(c0.alphaF(), c1.alphaF());
        if (alpha <= 0)
            return QColor(255, 255, 255, 0);
        auto channel = [&](float a0, float a, float b0, float b) {
            return mix(a * a0, b * b0) / alpha;
        };
        return QColor::fromRgbF(channel(c0.alphaF(), c0.redF(), c1.alphaF(), c1.redF()),
                                channel(c0.alphaF(), c0.greenF(), c1.alphaF(), c1.greenF()),
                                channel(c0.alphaF(), c0.blueF(), c1.alphaF(), c1.blueF()), alpha);
    }
    return stops.isEmpty() ? QColor(Qt::transparent) : stops.last().second;
}

// SVG has no conical gradient: thin wedges of solid colour stand in for one. They are drawn
// without antialiasing, or their shared edges would let the ground show through as fine lines;
// they reach past the disc so that its clip path gives the smooth edge.
QString svgConicalWedges(const QConicalGradient &g, qreal discRadius)
{
    const int wedges = 180;
    const qreal radius = discRadius * 1.2;
    const QPointF c = g.center();
    const QGradientStops stops = g.stops();
    QString out = QStringLiteral("<g shape-rendering=\"crispEdges\">\n");
    for (int k = 0; k < wedges; ++k) {
        const QColor colour = conicalColourAt(stops, (k + 0.5) / wedges);
        if (colour.alpha() == 0)
            continue;
        // Qt's conical angles run counter-clockwise on screen from three o'clock.
        const qreal a0 = (g.angle() + 360.0 * k / wedges) * std::numbers::pi / 180;
        const qreal a1 = (g.angle() + 360.0 * (k + 1) / wedges) * std::numbers::pi / 180;
        out += QStringLiteral("<path d=\"M%1,%2L%3,%4A%5,%5 0 0,0 %6,%7z\"%8/>\n")
                   .arg(num(c.x()), num(c.y()), num(c.x() + radius * std::cos(a0)),
                        num(c.y() - radius * std::sin(a0)), num(radius),
                        num(c.x() + radius * std::cos(a1)), num(c.y() - radius * std::sin(a1)),
                        svgPaint("fill", colour));
    }
    return out + QStringLiteral("</g>\n");
}

} // namespace

QString appIconSvg()
{
    // The shapes and colours of drawAppIcon, on the same 32-unit grid.
    const QColor outline(63, 112, 160);
    const QPointF c(21.5, 21);
    const qreal r = 9.6;
    const qreal line = std::max<qreal>(0.8, r / 40);
    const qreal angle = 35;
    const qreal rainbow = 0.95;

    QConicalGradient colours(c, angle);
    const QColor hues[] = {QColor(255, 60, 60),  QColor(255, 200, 40), QColor(90, 220, 80),
                           QColor(40, 200, 230), QColor(70, 90, 255),  QColor(220, 70, 230)};
    const int hueCount = int(std::size(hues));
    for (int b = 0; b < 2; ++b) {
        const qreal start = b / 2.0;
        const qreal span = 0.5;
        colours.setColorAt(start, QColor(255, 255, 255, 0));
        for (int i = 0; i < hueCount; ++i) {
            QColor h = hues[i];
            h.setAlphaF(float(rainbow));
            colours.setColorAt(start + span * (0.12 + 0.6 * i / (hueCount - 1)), h);
        }
        colours.setColorAt(start + span * 0.92, QColor(255, 255, 255, 0));
    }
    colours.setColorAt(1, QColor(255, 255, 255, 0));
    QConicalGradient shine(c, angle + 60);
    for (int b = 0; b < 2; ++b) {
        const qreal s = b * 0.5;
        shine.setColorAt(s, QColor(255, 255, 255, 0));
        shine.setColorAt(s + 0.06, QColor(255, 255, 255, 210));
        shine.setColorAt(s + 0.13, QColor(255, 255, 255, 0));
        shine.setColorAt(s + 0.4999, QColor(255, 255, 255, 0));
    }
    shine.setColorAt(1, QColor(255, 255, 255, 0));

    const QString body = svgCircle(c, r) + svgCircle(c, r * 0.15);
    QString svg;
    svg += QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\" "
                          "viewBox=\"0 0 32 32\">\n<defs>\n");
    svg += QStringLiteral("<linearGradient id=\"back\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" "
                          "y1=\"4\" x2=\"0\" y2=\"25\">%1</linearGradient>\n")
               .arg(svgStops({{0, QColor(172, 212, 243)}, {1, QColor(120, 174, 222)}}));
    svg += QStringLiteral("<linearGradient id=\"front\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" "
                          "y1=\"11\" x2=\"0\" y2=\"28\">%1</linearGradient>\n")
               .arg(svgStops({{0, QColor(214, 234, 250)}, {1, QColor(146, 196, 236)}}));
    svg += QStringLiteral("<radialGradient id=\"base\" gradientUnits=\"userSpaceOnUse\" cx=\"%1\" "
                          "cy=\"%2\" r=\"%3\">%4</radialGradient>\n")
               .arg(num(c.x() - r * 0.35), num(c.y() - r * 0.35), num(r * 1.6),
                    svgStops({{0, QColor(252, 252, 253)},
                              {0.55, QColor(206, 210, 218)},
                              {1, QColor(146, 152, 164)}}));
    svg += QStringLiteral("<radialGradient id=\"hub\" gradientUnits=\"userSpaceOnUse\" cx=\"%1\" "
                          "cy=\"%2\" r=\"%3\">%4</radialGradient>\n")
               .arg(num(c.x()), num(c.y()), num(r * 0.36),
                    svgStops({{0, QColor(250, 251, 253, 235)}, {1, QColor(214, 220, 228, 235)}}));
    svg +=
        QStringLiteral("<clipPath id=\"disc\"><path clip-rule=\"evenodd\" d=\"%1\"/></clipPath>\n"
                       "</defs>\n")
            .arg(body);
    svg += QStringLiteral("<g stroke-linejoin=\"bevel\" stroke-linecap=\"square\">\n");
    svg += QStringLiteral("<path d=\"M2,4.5H11L13.5,7H28V25H2z\" fill=\"url(#back)\" "
                          "stroke=\"%1\" stroke-width=\"1\"/>\n")
               .arg(svgColour(outline));
    svg += QStringLiteral("<rect x=\"4.5\" y=\"8.5\" width=\"21\" height=\"8\" fill=\"%1\" "
                          "stroke=\"%2\" stroke-width=\"0.8\"/>\n")
               .arg(svgColour(QColor(252, 252, 250)), svgColour(QColor(150, 160, 170)));
    svg += QStringLiteral("<path d=\"M1.5,11.5H29.5L28,27.5H3z\" fill=\"url(#front)\" "
                          "stroke=\"%1\" stroke-width=\"1\"/>\n")
               .arg(svgColour(outline));
    svg += QStringLiteral("<path d=\"M2.5,12.6H28.5\" stroke-width=\"1\"%1/>\n")
               .arg(svgPaint("stroke", QColor(255, 255, 255, 170)));
    svg +=
        QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"%3\"%4/>\n")
            .arg(num(c.x() + 0.8), num(c.y() + 0.9), num(r), svgPaint("fill", QColor(0, 0, 0, 60)));
    svg += QStringLiteral("<path fill-rule=\"evenodd\" d=\"%1\" fill=\"url(#base)\"/>\n").arg(body);
    svg += QStringLiteral("<g clip-path=\"url(#disc)\">\n");
    svg += svgConicalWedges(colours, r);
    svg += svgConicalWedges(shine, r);
    svg += QStringLiteral("<path fill-rule=\"evenodd\" d=\"%1\" fill=\"url(#hub)\"/>\n")
               .arg(svgCircle(c, r * 0.36) + svgCircle(c, r * 0.15));
    svg += QStringLiteral("</g>\n<g fill=\"none\">\n");
    svg +=
        QStringLiteral("<circle cx=\"%1\" cy=\"%2\" r=\"%3\" stroke=\"%4\" stroke-width=\"%5\"/>\n")
            .arg(num(c.x()), num(c.y()), num(r * 0.36), svgColour(QColor(150, 156, 168)),
                 num(line * 0.8));
    for (const qreal ring : {r - line / 2, r * 0.15}) {
        svg += QStringLiteral(
                   "<circle cx=\"%1\" cy=\"%2\" r=\"%3\" stroke=\"%4\" stroke-width=\"%5\"/>\n")
                   .arg(num(c.x()), num(c.y()), num(ring), svgColour(QColor(105, 110, 122)),
                        num(line));
    }
    svg += QStringLiteral("</g>\n</g>\n</svg>\n");
    return svg;
}

QImage drawMediaBanner()
{
    QImage image(793, 97, QImage::Format_RGB32);
    QPainter p(&image);
    prepare(p);
    paintBannerGround(p, image.size());

    const QPointF centre(736, 48.5);
    const qreal radius = 43;
    QRadialGradient glow(centre, radius * 1.25);
    glow.setColorAt(0.78, QColor(190, 200, 220, 60));
    glow.setColorAt(1, QColor(190, 200, 220, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(glow);
    p.drawEllipse(centre, radius * 1.25, radius * 1.25);
    drawDisc(p, centre, radius, 0.42, 28);
    return image;
}

QImage drawSoftwareBanner()
{
    QImage image(793, 97, QImage::Format_RGB32);
    QPainter p(&image);
    prepare(p);
    paintBannerGround(p, image.size());

    // Loose sheets lying under the box, seen from a little above.
    struct Sheet
    {
        QPointF at;
        qreal turn;
        QColor top, bottom;
    };
    const Sheet sheets[] = {
        {{708, 80}, -9, QColor(236, 232, 220), QColor(205, 199, 184)},
        {{734, 81}, 6, QColor(244, 241, 232), QColor(214, 208, 194)},
        {{724, 84}, -2, QColor(250, 248, 242), QColor(222, 217, 204)},
    };
    for (const Sheet &s : sheets) {
        p.save();
        p.translate(s.at);
        p.scale(1, 0.3);
        p.rotate(s.turn);
        const QRectF page(-50, -34, 100, 68);
        p.setPen(QPen(QColor(150, 144, 130), 1.2));
        p.setBrush(verticalGradient(page.top(), page.bottom(), s.top, s.bottom));
        p.drawRect(page);
        p.setPen(QPen(QColor(170, 165, 150, 160), 2));
        for (qreal y = -24; y < 30; y += 9)
            p.drawLine(QPointF(-42, y), QPointF(y > 15 ? 10 : 40, y));
        p.restore();
    }

    drawDisc(p, QPointF(700, 38), 31, 0.4, 40);

    const qreal l = 692, r = 742, t = 20, b = 82, depth = 15, rise = 9;
    const QPainterPath front = polygonPath({{l, t}, {r, t}, {r, b}, {l, b}});
    const QPainterPath side =
        polygonPath({{r, t}, {r + depth, t - rise}, {r + depth, b - rise}, {r, b}});
    const QPainterPath top =
        polygonPath({{l, t}, {l + depth, t - rise}, {r + depth, t - rise}, {r, t}});

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, 110));
    p.drawPath(polygonPath({{l + 4, b},
                            {r + depth + 6, b - rise + 2},
                            {r + depth + 12, b - rise + 5},
                            {r + 10, b + 4},
                            {l + 6, b + 4}}));

    QLinearGradient frontFill(l, t, r, b);
    frontFill.setColorAt(0, QColor(48, 64, 110));
    frontFill.setColorAt(1, QColor(16, 22, 44));
    p.setBrush(frontFill);
    p.drawPath(front);
    p.setBrush(verticalGradient(t - rise, b, QColor(26, 34, 62), QColor(8, 11, 24)));
    p.drawPath(side);
    p.setBrush(QColor(78, 96, 146));
    p.drawPath(top);

    // Cover art: a warm swoosh with a small disc, and a pale band where a title would go.
    p.save();
    p.setClipPath(front);
    QPainterPath swoosh;
    swoosh.moveTo(l - 4, b - 14);
    swoosh.cubicTo(l + 14, b - 34, r - 18, b - 22, r + 4, b - 48);
    swoosh.lineTo(r + 4, b - 38);
    swoosh.cubicTo(r - 14, b - 12, l + 16, b - 20, l - 4, b - 2);
    swoosh.closeSubpath();
    QLinearGradient warm(l, b, r, b - 40);
    warm.setColorAt(0, QColor(240, 120, 30));
    warm.setColorAt(1, QColor(255, 214, 80));
    p.setBrush(warm);
    p.drawPath(swoosh);
    p.setBrush(QColor(225, 232, 245, 220));
    p.drawRect(QRectF(l + 7, t + 8, r - l - 14, 7));
    p.setBrush(QColor(160, 180, 220, 160));
    p.drawRect(QRectF(l + 7, t + 19, (r - l) * 0.5, 3));
    p.restore();
    drawDisc(p, QPointF(r - 13, t + 34), 8, 0.6, 10);

    // Rim light, so the dark box reads against the dark end of the ground.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(150, 170, 215, 200), 1));
    p.drawLine(QPointF(l, t), QPointF(r, t));
    p.drawLine(QPointF(r, t), QPointF(r, b));
    p.drawLine(QPointF(r, t), QPointF(r + depth, t - rise));
    p.setPen(QPen(QColor(110, 130, 180, 150), 1));
    p.drawLine(QPointF(l + depth, t - rise), QPointF(r + depth, t - rise));
    p.drawLine(QPointF(r + depth, t - rise), QPointF(r + depth, b - rise));
    p.drawLine(QPointF(l, t), QPointF(l + depth, t - rise));
    p.drawLine(QPointF(l, t), QPointF(l, b));

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(222, 204, 160, 85));
    p.drawRect(QRectF(0, 95, image.width(), 2));
    return image;
}

QImage drawLogo()
{
    QImage image(200, 60, QImage::Format_RGB32);
    QPainter p(&image);
    prepare(p);
    QLinearGradient ground(0, 0, 199, 0);
    ground.setColorAt(0, QColor(238, 238, 238));
    ground.setColorAt(1, QColor(150, 150, 150));
    p.fillRect(image.rect(), ground);

    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(42);
    font.setBold(true);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 3);
    p.setFont(font);
    const QString name = QStringLiteral("QUIVEL");
    const QRectF box(0, 0, 200, 60);
    p.setPen(QColor(255, 255, 255, 150));
    p.drawText(box.translated(1.2, 1.2), Qt::AlignCenter, name);
    p.setPen(QColor(30, 32, 38));
    p.drawText(box, Qt::AlignCenter, name);
    return image;
}

QImage drawNewGlyph()
{
    QImage image = transparentCanvas(32, 32);
    QPainter p(&image);
    prepare(p);
    const QColor outline(92, 106, 122);

    const QPainterPath sheet =
        polygonPath({{5.5, 2.5}, {24.5, 2.5}, {24.5, 22.5}, {17.5, 29.5}, {5.5, 29.5}});
    QLinearGradient paper(5, 2, 25, 30);
    paper.setColorAt(0, QColor(255, 255, 255));
    paper.setColorAt(1, QColor(226, 232, 239));
    p.setPen(QPen(outline, 1));
    p.setBrush(paper);
    p.drawPath(sheet);

    QPainterPath curl;
    curl.moveTo(24.5, 22.5);
    curl.lineTo(17.5, 29.5);
    curl.quadTo(17.2, 22.2, 24.5, 22.5);
    QLinearGradient flap(18, 23, 24, 29);
    flap.setColorAt(0, QColor(236, 240, 245));
    flap.setColorAt(1, QColor(150, 162, 176));
    p.setBrush(flap);
    p.drawPath(curl);

    const QPointF c(23.5, 8.5);
    QRadialGradient badge(c - QPointF(2.5, 2.5), 9);
    badge.setColorAt(0, QColor(150, 230, 120));
    badge.setColorAt(0.6, QColor(60, 170, 50));
    badge.setColorAt(1, QColor(30, 120, 28));
    p.setPen(QPen(QColor(24, 100, 24), 1));
    p.setBrush(badge);
    p.drawEllipse(c, 7.3, 7.3);
    p.setPen(QPen(Qt::white, 2.4, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(c - QPointF(3.8, 0), c + QPointF(3.8, 0));
    p.drawLine(c - QPointF(0, 3.8), c + QPointF(0, 3.8));
    return image;
}

QImage drawSaveGlyph()
{
    QImage image = transparentCanvas(32, 32);
    QPainter p(&image);
    prepare(p);

    const QPainterPath body =
        polygonPath({{3.5, 3.5}, {26, 3.5}, {28.5, 6}, {28.5, 28.5}, {3.5, 28.5}});
    p.setPen(QPen(QColor(40, 88, 140), 1));
    p.setBrush(verticalGradient(3, 29, QColor(172, 214, 246), QColor(88, 152, 214)));
    p.drawPath(body);
    p.setPen(QPen(QColor(255, 255, 255, 140), 1));
    p.drawLine(QPointF(4.6, 4.8), QPointF(4.6, 27.5));

    p.setPen(QPen(QColor(100, 112, 126), 1));
    p.setBrush(verticalGradient(3, 13, QColor(246, 248, 250), QColor(168, 178, 190)));
    p.drawRect(QRectF(9.5, 3.5, 13, 9));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(58, 68, 80));
    p.drawRect(QRectF(17.5, 5, 3, 6));

    p.setPen(QPen(QColor(96, 136, 180), 1));
    p.setBrush(verticalGradient(16, 29, QColor(253, 253, 253), QColor(226, 234, 242)));
    p.drawRect(QRectF(7.5, 16.5, 17, 12));
    p.setPen(QPen(QColor(150, 176, 210), 1));
    for (qreal y = 20; y <= 26; y += 3)
        p.drawLine(QPointF(10, y), QPointF(22, y));
    return image;
}

QImage drawDeleteGlyph()
{
    QImage image = transparentCanvas(16, 16);
    QPainter p(&image);
    prepare(p);
    QPainterPath cross;
    cross.moveTo(3.5, 3.5);
    cross.lineTo(12.5, 12.5);
    cross.moveTo(12.5, 3.5);
    cross.lineTo(3.5, 12.5);
    QLinearGradient red(2, 2, 14, 14);
    red.setColorAt(0, QColor(255, 112, 96));
    red.setColorAt(1, QColor(196, 32, 26));
    drawOutlinedStroke(p, cross, 3.4, red, QColor(128, 20, 14), 0.9);
    return image;
}

QImage drawCloseDoorGlyph()
{
    QImage image = transparentCanvas(32, 32);
    QPainter p(&image);
    prepare(p);

    // Doorway: a dark opening in a frame.
    p.setPen(QPen(QColor(52, 66, 86), 1.6));
    p.setBrush(verticalGradient(3, 29, QColor(16, 28, 46), QColor(46, 64, 92)));
    p.drawRect(QRectF(8.5, 2.5, 14, 27));

    // The leaf swings towards the viewer on hinges at the frame's right edge.
    const QPainterPath leaf = polygonPath({{22.5, 2.5}, {30.5, 0.6}, {30.5, 31.4}, {22.5, 29.5}});
    QLinearGradient blue(22, 0, 31, 0);
    blue.setColorAt(0, QColor(112, 172, 236));
    blue.setColorAt(1, QColor(36, 98, 176));
    p.setPen(QPen(QColor(24, 70, 130), 1));
    p.setBrush(blue);
    p.drawPath(leaf);
    p.setPen(QPen(QColor(24, 70, 130, 170), 0.7));
    p.setBrush(QColor(255, 255, 255, 50));
    p.drawPath(polygonPath({{24.2, 5.4}, {29.0, 4.2}, {29.0, 14.2}, {24.2, 14.6}}));
    p.drawPath(polygonPath({{24.2, 17.6}, {29.0, 17.6}, {29.0, 27.9}, {24.2, 26.9}}));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(250, 210, 80));
    p.drawEllipse(QPointF(24.9, 16.1), 0.9, 0.9);

    const QPainterPath arrow =
        polygonPath({{1.5, 13}, {10, 13}, {10, 8.5}, {18.5, 16}, {10, 23.5}, {10, 19}, {1.5, 19}});
    p.setPen(QPen(QColor(126, 14, 8), 1));
    p.setBrush(verticalGradient(8, 24, QColor(255, 108, 90), QColor(196, 24, 14)));
    p.drawPath(arrow);
    p.setPen(QPen(QColor(255, 255, 255, 120), 0.8));
    p.drawLine(QPointF(2.5, 14.2), QPointF(10.5, 14.2));
    return image;
}

QImage drawRefreshGlyph()
{
    QImage image = transparentCanvas(16, 16);
    QPainter p(&image);
    prepare(p);
    const QPointF c(8, 8);
    const qreal radius = 5.0;
    const QRectF ring(c.x() - radius, c.y() - radius, 2 * radius, 2 * radius);
    QLinearGradient green(0, 1, 0, 15);
    green.setColorAt(0, QColor(110, 214, 96));
    green.setColorAt(1, QColor(30, 130, 34));
    const QColor outline(20, 90, 22);

    // Two arrows running clockwise, each a third of the ring plus a head.
    for (qreal start : {200.0, 20.0}) {
        const qreal sweep = -118;
        QPainterPath arc;
        arc.arcMoveTo(ring, start);
        arc.arcTo(ring, start, sweep);
        QPainterPathStroker stroker;
        stroker.setWidth(2.2);
        stroker.setCapStyle(Qt::FlatCap);
        QPainterPath shape = stroker.createStroke(arc);

        const qreal end = (start + sweep) * std::numbers::pi / 180;
        const QPointF at(c.x() + radius * std::cos(end), c.y() - radius * std::sin(end));
        const QPointF ahead(std::sin(end), std::cos(end));
        const QPointF out(std::cos(end), -std::sin(end));
        shape.addPath(polygonPath(
            {at + ahead * 3.2, at - ahead * 0.4 + out * 3.0, at - ahead * 0.4 - out * 3.0}));
        p.setPen(QPen(outline, 0.7));
        p.setBrush(green);
        p.drawPath(shape.simplified());
    }
    return image;
}

QImage drawSearchGlyph()
{
    QImage image = transparentCanvas(32, 32);
    QPainter p(&image);
    prepare(p);

    auto sheet = [&p](QRectF r, QColor top, QColor bottom) {
        p.setPen(QPen(QColor(110, 120, 134), 1));
        p.setBrush(verticalGradient(r.top(), r.bottom(), top, bottom));
        p.drawRect(r);
        p.setPen(QPen(QColor(150, 162, 176), 1));
        int i = 0;
        for (qreal y = r.top() + 4.5; y < r.bottom() - 2; y += 3, ++i)
            p.drawLine(QPointF(r.left() + 3, y), QPointF(r.right() - (i % 3 == 2 ? 7 : 3), y));
    };
    sheet(QRectF(11.5, 1.5, 17, 22), QColor(240, 243, 247), QColor(214, 220, 228));
    sheet(QRectF(4.5, 6.5, 17, 23), QColor(255, 255, 255), QColor(228, 233, 239));

    const QPointF c(14.5, 14.5);
    const qreal radius = 7;
    QPainterPath handle;
    handle.moveTo(c + QPointF(5.4, 5.4));
    handle.lineTo(27.5, 27.5);
    QLinearGradient wood(20, 20, 28, 28);
    wood.setColorAt(0, QColor(132, 86, 44));
    wood.setColorAt(1, QColor(72, 42, 20));
    drawOutlinedStroke(p, handle, 4.4, wood, QColor(40, 24, 12), 0.9);

    QRadialGradient glass(c - QPointF(2, 2), radius * 1.3);
    glass.setColorAt(0, QColor(230, 245, 255, 120));
    glass.setColorAt(1, QColor(120, 180, 235, 150));
    p.setPen(Qt::NoPen);
    p.setBrush(glass);
    p.drawEllipse(c, radius, radius);
    QLinearGradient rim(c.x() - radius, c.y() - radius, c.x() + radius, c.y() + radius);
    rim.setColorAt(0, QColor(236, 240, 244));
    rim.setColorAt(1, QColor(110, 122, 136));
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QBrush(rim), 2.4));
    p.drawEllipse(c, radius, radius);
    p.setPen(QPen(QColor(54, 62, 74), 0.8));
    p.drawEllipse(c, radius + 1.4, radius + 1.4);
    p.setPen(QPen(QColor(255, 255, 255, 220), 1.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(c.x() - 4.5, c.y() - 4.5, 9, 9), 100 * 16, 70 * 16);
    return image;
}

QImage drawOkGlyph()
{
    QImage image = transparentCanvas(32, 32);
    QPainter p(&image);
    prepare(p);
    const QPointF c(16, 16);
    QRadialGradient disc(QPointF(12, 10), 20);
    disc.setColorAt(0, QColor(160, 236, 140));
    disc.setColorAt(0.5, QColor(62, 172, 58));
    disc.setColorAt(1, QColor(26, 112, 28));
    p.setPen(QPen(QColor(20, 92, 24), 1));
    p.setBrush(disc);
    p.drawEllipse(c, 13.5, 13.5);

    QLinearGradient gloss(0, 3, 0, 15);
    gloss.setColorAt(0, QColor(255, 255, 255, 150));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(QRectF(7, 3.6, 18, 11));

    QPainterPath tick;
    tick.moveTo(9.5, 16.5);
    tick.lineTo(14, 21);
    tick.lineTo(23, 11);
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(0, 60, 0, 90), 3.8, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick.translated(0.5, 0.8));
    p.setPen(QPen(Qt::white, 3.6, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    p.drawPath(tick);
    return image;
}
