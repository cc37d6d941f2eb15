// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/preview/report_painter.h"

#include "reports/engine/report_error.h"
#include "reports/engine/text_metrics.h"

#include <QFile>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>

#include <algorithm>

namespace {

QRectF toUnits(const QRectF &mm)
{
    return QRectF(mm.x() * reportUnitsPerMm, mm.y() * reportUnitsPerMm,
                  mm.width() * reportUnitsPerMm, mm.height() * reportUnitsPerMm);
}

// A page on paper of another size or orientation is printed whole: scaled alike in both
// directions until it fits, and centred.
QRectF fittedPage(const QSizeF &pageSize, const QSizeF &paper)
{
    const double scale =
        std::min(paper.width() / pageSize.width(), paper.height() / pageSize.height());
    const QSizeF size = pageSize * scale;
    return QRectF(QPointF((paper.width() - size.width()) / 2, (paper.height() - size.height()) / 2),
                  size);
}

bool paintPages(QPagedPaintDevice &device, QPainter &painter, const ReportDocument &document,
                int first, int last, const PageProgress &progress)
{
    for (int i = first; i <= last; ++i) {
        if (progress && !progress(i - first, last - first + 1))
            return false;
        if (i > first)
            device.newPage();
        const QRectF target =
            fittedPage(document.pageSize, QSizeF(device.width(), device.height()));
        paintReportPage(painter, document.pageToPaint(i), document.pageSize, target);
    }
    return true;
}

} // namespace

void paintReportPage(QPainter &painter, const ReportPage &page, const QSizeF &pageSize,
                     const QRectF &target, const std::vector<QRectF> &highlights)
{
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                           QPainter::SmoothPixmapTransform);
    painter.translate(target.topLeft());
    // Everything below is drawn in report units (1/1200 inch), the unit text was measured in.
    const double scale = target.width() / (pageSize.width() * reportUnitsPerMm);
    painter.scale(scale, scale);
    painter.fillRect(toUnits(QRectF(QPointF(0, 0), pageSize)), Qt::white);

    for (const QRectF &rect : highlights)
        painter.fillRect(toUnits(rect.adjusted(-0.5, -0.3, 0.5, 0.3)), QColor(255, 230, 0));

    for (const PagePicture &picture : page.pictures)
        painter.drawImage(toUnits(picture.rect), picture.image);

    for (const PageLine &line : page.lines) {
        QPen pen(Qt::black, line.width * reportUnitsPerMm, Qt::SolidLine, Qt::FlatCap);
        pen.setCosmetic(line.width <= 0);
        painter.setPen(pen);
        painter.drawLine(
            QLineF(line.line.p1() * reportUnitsPerMm, line.line.p2() * reportUnitsPerMm));
    }

    // Point sizes are turned into report units whatever the device's own resolution.
    const double pointScale = reportUnitsPerInch / painter.device()->logicalDpiY();
    painter.setPen(Qt::black);
    // Texts come in runs of one font: the font is set, and its ascent measured, once per run.
    const QFont *current = nullptr;
    double ascent = 0;
    for (const PageText &text : page.texts) {
        if (text.text.isEmpty() || text.rect.isEmpty())
            continue;
        if (text.shaped) {
            // Shaped when its page was made, in report units, from the top-left corner.
            text.shaped->draw(&painter, toUnits(text.rect).topLeft());
            continue;
        }
        if (!current || !(*current == text.font)) {
            current = &text.font;
            QFont font = reportFont(text.font);
            font.setPointSizeF(text.font.pointSizeF() * pointScale);
            painter.setFont(font);
            ascent = reportFontMetrics(text.font).ascent();
        }
        const QRectF rect = toUnits(text.rect);
        if (!text.wordWrap && text.alignment == Qt::AlignLeft &&
            !text.text.contains(QLatin1Char('\n'))) {
            // The layout sized the rectangle to the text, so nothing can overflow it; drawn
            // from its baseline, without the line breaking a rectangle asks for.
            painter.drawText(QPointF(rect.left(), rect.top() + ascent), text.text);
            continue;
        }
        if (!text.wordWrap) {
            painter.drawText(rect, int(text.alignment) | Qt::AlignTop, text.text);
            continue;
        }
        // Wrapped text the layout cut to fit: its whole lines, one per line height.
        const QStringList lines = text.text.split(QLatin1Char('\n'));
        const QFontMetricsF metrics = reportFontMetrics(text.font);
        painter.save();
        painter.setClipRect(rect);
        for (int i = 0; i < lines.size(); ++i) {
            const QRectF lineRect(rect.left(), rect.top() + i * metrics.height(), rect.width(),
                                  metrics.height());
            painter.drawText(lineRect, int(text.alignment) | Qt::AlignTop, lines[i]);
        }
        painter.restore();
    }
    painter.restore();
}

QImage renderReportPage(const ReportDocument &document, int pageIndex, int width)
{
    const QSizeF size = document.pageSize;
    const int height = qMax(1, qRound(width * size.height() / size.width()));
    QImage image(qMax(1, width), height, QImage::Format_RGB32);
    image.fill(Qt::white);
    if (pageIndex < 0 || pageIndex >= document.pageCount())
        return image;
    const ReportPage page = document.pageToPaint(pageIndex);
    QPainter painter(&image);
    paintReportPage(painter, page, size, QRectF(image.rect()));
    return image;
}

bool writeReportPdf(const ReportDocument &document, const QString &path,
                    const PageProgress &progress)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw ReportError(
            QStringLiteral("Não foi possível gravar o PDF %1: %2.").arg(path, file.errorString()));
    {
        QPdfWriter writer(&file);
        // Qt's writer adds the date it was made; an untitled report is still named in a list.
        writer.setTitle(document.title.isEmpty() ? QStringLiteral("Relatório do Quivel")
                                                 : document.title);
        writer.setCreator(QStringLiteral("Quivel"));
        writer.setPageSize(QPageSize(document.pageSize, QPageSize::Millimeter));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        QPainter painter;
        if (!painter.begin(&writer))
            throw ReportError(QStringLiteral("Não foi possível gravar o PDF %1.").arg(path));
        bool whole = false;
        try {
            whole = paintPages(writer, painter, document, 0, document.pageCount() - 1, progress);
        } catch (...) {
            // A page that cannot be made (its dataset failing) leaves no half-written file.
            painter.end();
            file.remove();
            throw;
        }
        painter.end();
        if (!whole) {
            file.remove();
            return false;
        }
    }
    if (file.error() != QFileDevice::NoError)
        throw ReportError(
            QStringLiteral("Não foi possível gravar o PDF %1: %2.").arg(path, file.errorString()));
    return true;
}

void setPrinterToReportPaper(QPrinter &printer, const ReportDocument &document)
{
    const QSizeF size = document.pageSize;
    const bool landscape = size.width() > size.height();
    printer.setPageOrientation(landscape ? QPageLayout::Landscape : QPageLayout::Portrait);
    printer.setPageSize(QPageSize(landscape ? size.transposed() : size, QPageSize::Millimeter));
}

bool printReport(const ReportDocument &document, QPrinter &printer, const PageProgress &progress)
{
    const int count = document.pageCount();
    if (count == 0)
        return true;
    int first = printer.fromPage() > 0 ? printer.fromPage() - 1 : 0;
    int last = printer.toPage() > 0 ? printer.toPage() - 1 : count - 1;
    first = qBound(0, first, count - 1);
    last = qBound(first, last, count - 1);
    printer.setFullPage(true);
    QPainter painter;
    if (!painter.begin(&printer))
        throw ReportError(
            QStringLiteral("Não foi possível imprimir em %1.").arg(printer.printerName()));
    bool whole = false;
    try {
        whole = paintPages(printer, painter, document, first, last, progress);
    } catch (...) {
        printer.abort();
        painter.end();
        throw;
    }
    if (!whole) {
        printer.abort();
        painter.end();
        // Printing into a file leaves no half-written file behind either.
        if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
            QFile::remove(printer.outputFileName());
        return false;
    }
    painter.end();
    return true;
}
