// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QImage>
#include <QLineF>
#include <QPainter>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <algorithm>

// The media report's pages as a plain program paints them: logo, four media of five captioned
// lines a page, the title on the first, the total after the last, at fixed places given in
// millimetres. Positions are turned into the device's units (`mm` of them a millimetre), so
// the fonts keep their point sizes, as printed.
class PlainMediaPages
{
public:
    PlainMediaPages()
        : m_regular(QStringLiteral("Arial"))
        , m_bold(QStringLiteral("Arial"))
        , m_title(QStringLiteral("Arial"))
    {
        m_regular.setPointSizeF(9.75);
        m_bold.setPointSizeF(9.75);
        m_bold.setBold(true);
        m_title.setPointSizeF(15.75);
        m_title.setBold(true);
    }

    static int pageCount(int records) { return std::max(1, (records + 3) / 4); }
    // The caption of a medium's line: codigo, titulo, tipo, obs, local.
    static QString caption(int line)
    {
        static const QString captions[] = {
            QStringLiteral("Código da Mídia"), QStringLiteral("Nome da Mídia"),
            QStringLiteral("Tipo de Mídia"), QStringLiteral("Observações"),
            QStringLiteral("Local atual da mídia:")};
        return captions[line];
    }
    // Line 1 (the name) is bold, the others regular.
    const QFont &lineFont(int line) const { return line == 1 ? m_bold : m_regular; }

    // One page; `text(line, record)` is the value a medium prints on that line.
    template <typename Text>
    void paint(QPainter &painter, double mm, const QImage &logo, int page, int records,
               const Text &text) const
    {
        const auto at = [mm](double x, double y) { return QPointF(x * mm, y * mm); };
        painter.fillRect(QRectF(at(0, 0), at(210, 297)), Qt::white);
        painter.drawImage(QRectF(at(10, 10), at(10 + 52.92, 10 + 15.88)), logo);
        double y = 10 + 15.61;
        if (page == 0) {
            painter.setFont(m_title);
            painter.drawText(at(10 + 65.62, y + 2.38 + 5), QStringLiteral("Mídias cadastradas"));
            y += 10.58;
        }
        y += 10.58;
        const int last = std::min(records, page * 4 + 4);
        for (int record = page * 4; record < last; ++record) {
            for (int line = 0; line < 5; ++line) {
                const double baseline = y + 8.47 * (line + 1) + 3.5;
                painter.setFont(lineFont(line));
                painter.drawText(at(10 + 6.35, baseline), caption(line));
                painter.drawText(at(10 + 42.33, baseline), text(line, record));
            }
            y += 52.92;
        }
        if (last == records) {
            painter.drawLine(QLineF(at(16.35, y + 3.18), at(16.35 + 175.95, y + 3.18)));
            painter.setFont(m_bold);
            painter.drawText(at(16.35, y + 8), QStringLiteral("Total de Mídias:"));
            painter.drawText(at(52.33, y + 8), QString::number(records));
        }
    }

private:
    QFont m_regular, m_bold, m_title;
};
