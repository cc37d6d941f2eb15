// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/page_model.h"

#include <QImage>
#include <QRectF>
#include <QSize>

#include <functional>
#include <vector>

class QPainter;
class QPrinter;

// Paints one page of the model into target (device coordinates), scaled to its width. Rectangles
// in highlights (millimetres) are marked, for the preview's search.
void paintReportPage(QPainter &painter, const ReportPage &page, const QSizeF &pageSize,
                     const QRectF &target, const std::vector<QRectF> &highlights = {});

// The page as an image of the given width (the height follows the page), e.g. a thumbnail.
QImage renderReportPage(const ReportDocument &document, int pageIndex, int width);

// Told before each page is output, with the pages done and the pages to do; returning false
// stops the output.
using PageProgress = std::function<bool(int done, int total)>;

// Both throw ReportError when the output cannot be written, and return false when progress
// stopped them: a PDF stopped part-way is removed, a print job aborted.
bool writeReportPdf(const ReportDocument &document, const QString &path,
                    const PageProgress &progress = {});
// Sets the printer to the report's own paper and orientation; done before the print dialog
// opens, so that the user starts from the report's paper.
void setPrinterToReportPaper(QPrinter &printer, const ReportDocument &document);
// Prints the printer's page range (all pages when none is set) on the paper's full page; on
// other paper each page is scaled down to fit whole and centred.
bool printReport(const ReportDocument &document, QPrinter &printer,
                 const PageProgress &progress = {});
