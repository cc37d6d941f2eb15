// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/report_layouter.h"

#include "reports/engine/picture_loader.h"
#include "reports/engine/report_error.h"
#include "reports/engine/text_metrics.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

// Pictures have no resolution of their own in a layout: a pixel is 1/96 inch.
constexpr double pictureMmPerPixel = 25.4 / 96.0;
// The default pen: one pixel at 96 dpi.
constexpr double rulePenWidth = 25.4 / 96.0;

// In millimetres.
double widestLine(const QFontMetricsF &metrics, const QString &text)
{
    if (!text.contains(QLatin1Char('\n')))
        return metrics.horizontalAdvance(text) / reportUnitsPerMm;
    double widest = 0;
    for (const QString &line : text.split(QLatin1Char('\n')))
        widest = std::max(widest, metrics.horizontalAdvance(line) / reportUnitsPerMm);
    return widest;
}

struct ElementInfo
{
    std::unique_ptr<TQRPrintable> element; // the run's own copy
    const TQRCustomLabel *text = nullptr;
    const TQRImage *image = nullptr;
    bool rule = false;
    QFont font;
    QFont measuring; // measuringFont(font)
    std::optional<QFontMetricsF> metrics;
    // A caption prints the same on every band: measured once per run, and shaped once where
    // it is a plain line.
    std::optional<double> captionWidth;
    std::shared_ptr<const QTextLayout> captionShaped;
    int field = -1; // a data field's column, looked up once per run rather than per record
    QImage picture;
};

QString printedText(const ElementInfo &e, const TQRPrintContext &context)
{
    if (e.field < 0)
        return e.text->printedText(context);
    return context.dataSet && context.record >= 0 ? context.dataSet->text(context.record, e.field)
                                                  : QString();
}

struct BandInfo
{
    quint8 slot = 0; // where LaidOutPages keeps it
    double height = 0;
    std::vector<ElementInfo> elements;
};

// One band as the layout placed it: enough to place it again. A float places a band to well
// under a micrometre on any page, and a million-record report keeps millions of these.
struct PlacedBand
{
    float top = 0;
    qint32 record = -1;
    quint8 band = 0;
};
static_assert(sizeof(PlacedBand) == 12);

// The placed bands in chunks that never move: a million-record report places millions, and a
// single array would copy them all each time it grew, and once more to drop its slack, holding
// both copies meanwhile.
class PlacedBands
{
public:
    size_t size() const { return m_size; }
    const PlacedBand &operator[](size_t i) const { return m_chunks[i >> shift][i & mask]; }
    void push_back(const PlacedBand &band)
    {
        if (m_chunks.empty() || m_chunks.back().size() == chunkSize) {
            m_chunks.emplace_back();
            // The first chunk grows as needed, so that a short report stays small.
            if (m_chunks.size() > 1)
                m_chunks.back().reserve(chunkSize);
        }
        m_chunks.back().push_back(band);
        ++m_size;
    }
    void shrinkToFit()
    {
        if (!m_chunks.empty())
            m_chunks.back().shrink_to_fit();
    }

private:
    static constexpr unsigned shift = 16;
    static constexpr size_t chunkSize = size_t(1) << shift;
    static constexpr size_t mask = chunkSize - 1;
    std::vector<std::vector<PlacedBand>> m_chunks;
    size_t m_size = 0;
};

enum BandSlot : quint8 {
    pageHeaderSlot,
    titleSlot,
    columnHeaderSlot,
    detailSlot,
    summarySlot,
    pageFooterSlot,
    slotCount
};

// What a run keeps of its report: its bands, its dataset and where each band went. The layout
// adds pages to it; its document makes them from it, for as long as the document lives.
class LaidOutPages : public PageMaker
{
public:
    std::shared_ptr<const ReportDataSet> dataSet;
    QRectF printable;
    std::array<std::optional<BandInfo>, slotCount> bands;
    PlacedBands placed;
    std::vector<size_t> pageEnds; // one past each page's last band in placed

    int pageCount() const override { return int(pageEnds.size()); }
    ReportPage page(int index) const override { return make(index, false); }
    ReportPage pageToPaint(int index) const override { return make(index, true); }
    bool mayContain(int index, const QString &text) const override;

    double bandHeight(const BandInfo &band, const TQRPrintContext &context) const;
    // Makes what a placed band shows on its page: texts (cut to fit), pictures, rules; with
    // the texts that paint as they stand shaped, when asked.
    void makeBand(ReportPage &page, const BandInfo &band, double top,
                  const TQRPrintContext &context, bool shape) const;

private:
    ReportPage make(int index, bool shape) const;
    std::pair<size_t, size_t> bandsOf(int index) const
    {
        return {index > 0 ? pageEnds.at(size_t(index) - 1) : 0, pageEnds.at(size_t(index))};
    }
};

} // namespace

struct ReportLayouter::Impl
{
    std::shared_ptr<LaidOutPages> pages = std::make_shared<LaidOutPages>();
    std::shared_ptr<ReportDocument> document = std::make_shared<ReportDocument>();
    // Kept in pages, which makes the pages again from them.
    std::optional<BandInfo> &pageHeader, &title, &columnHeader, &detail, &summary, &pageFooter;
    const ReportDataSet *dataSet = nullptr;
    TQuickRepOptions options;
    bool printIfEmpty = false;
    int records = 0;
    bool recordsComplete = true;
    int detailsToPrint = 0;
    int nextDetail = 0;
    bool titleDone = false;
    bool summaryDone = false;
    bool started = false; // whether the report prints anything is known
    bool done = false;
    QRectF printable;

    explicit Impl(const TQuickRep &rep);
    std::optional<BandInfo> prepareBand(const TQuickRep &report, TQRBandType type,
                                        BandSlot slot) const;
    double bandHeight(const BandInfo &band, const TQRPrintContext &context) const
    {
        return pages->bandHeight(band, context);
    }
    // Records where a band goes and returns its height: the one given, where the caller has
    // already measured it to see whether the band fits, else measured here.
    double placeBand(const BandInfo &band, double top, const TQRPrintContext &context,
                     std::optional<double> height = std::nullopt);
    bool hasDetail(int index);
    // Reads on for one short slice and takes in what the dataset now holds.
    void readOn();
    // Whether the next detail's record is here, or every record is; when neither, reads on
    // for one short slice first.
    bool nextRecordReady();
    void layoutPage();
};

ReportLayouter::Impl::Impl(const TQuickRep &report)
    : pageHeader(pages->bands[pageHeaderSlot])
    , title(pages->bands[titleSlot])
    , columnHeader(pages->bands[columnHeaderSlot])
    , detail(pages->bands[detailSlot])
    , summary(pages->bands[summarySlot])
    , pageFooter(pages->bands[pageFooterSlot])
    , options(report.Options)
{
    const TQRPage &p = report.Page;
    if (p.Columns != 1)
        throw ReportError(QStringLiteral("O relatório \"%1\" pede %2 colunas; só uma é suportada.")
                              .arg(report.Name)
                              .arg(p.Columns));
    printable = QRectF(p.LeftMargin, p.TopMargin, p.Width - p.LeftMargin - p.RightMargin,
                       p.Length - p.TopMargin - p.BottomMargin);
    if (printable.width() <= 0 || printable.height() <= 0)
        throw ReportError(
            QStringLiteral("As margens do relatório \"%1\" não deixam área para imprimir.")
                .arg(report.Name));
    pages->printable = printable;
    pages->dataSet = report.DataSet;
    dataSet = report.DataSet.get();

    pageHeader = prepareBand(report, rbPageHeader, pageHeaderSlot);
    title = prepareBand(report, rbTitle, titleSlot);
    columnHeader = prepareBand(report, rbColumnHeader, columnHeaderSlot);
    detail = prepareBand(report, rbDetail, detailSlot);
    summary = prepareBand(report, rbSummary, summarySlot);
    pageFooter = prepareBand(report, rbPageFooter, pageFooterSlot);

    document->title = report.ReportTitle;
    document->pageSize = QSizeF(p.Width, p.Length);
    document->setPageMaker(pages);
    printIfEmpty = report.PrintIfEmpty;
    records = dataSet ? std::max(0, dataSet->recordCount()) : 0;
    recordsComplete = !dataSet || dataSet->complete();
    // Whether a dataset still reading prints anything is learnt with the first page, so that
    // making the layouter never waits for a server's first record.
    if (recordsComplete) {
        done = !hasDetail(0);
        started = true;
    }
}

void ReportLayouter::Impl::readOn()
{
    dataSet->readMore();
    records = std::max(0, dataSet->recordCount());
    recordsComplete = dataSet->complete();
}

bool ReportLayouter::Impl::nextRecordReady()
{
    if (recordsComplete || nextDetail < records)
        return true;
    readOn();
    return recordsComplete || nextDetail < records;
}

// Whether detail `index` prints, reading on while the dataset still reads and has not got that
// far. Only a complete dataset tells an empty report (PrintIfEmpty) from a late one.
bool ReportLayouter::Impl::hasDetail(int index)
{
    while (!recordsComplete && index >= records)
        readOn();
    if (!recordsComplete)
        return true;
    detailsToPrint = records > 0 ? records : (printIfEmpty ? 1 : 0);
    return index < detailsToPrint;
}

std::optional<BandInfo> ReportLayouter::Impl::prepareBand(const TQuickRep &report, TQRBandType type,
                                                          BandSlot slot) const
{
    const TQRBand *band = report.band(type);
    if (!band)
        return std::nullopt;
    BandInfo info;
    info.slot = slot;
    info.height = band->Height;
    for (const auto &original : band->elements()) {
        ElementInfo e;
        e.element = original->clone();
        const TQRPrintable *element = e.element.get();
        if (const auto *text = dynamic_cast<const TQRCustomLabel *>(element)) {
            e.text = text;
            e.font = reportFont(text->Font.value_or(report.Font));
            e.measuring = measuringFont(e.font);
            e.metrics = reportFontMetrics(e.font);
            if (const auto *label = dynamic_cast<const TQRLabel *>(text)) {
                if (auto shaped = shapeLine(e.measuring, label->Caption)) {
                    e.captionWidth = shaped->advance / reportUnitsPerMm;
                    e.captionShaped = std::move(shaped->layout);
                } else {
                    e.captionWidth = widestLine(*e.metrics, label->Caption);
                }
            }
            const auto *dbText = dynamic_cast<const TQRDBText *>(text);
            if (dbText && dataSet)
                e.field = dataSet->fieldIndex(dbText->DataField);
            if (dbText && dataSet && e.field < 0)
                throw ReportError(
                    QStringLiteral("Campo \"%1\" de %2 não encontrado nos dados do relatório.")
                        .arg(dbText->DataField, dbText->Name));
        } else if (const auto *image = dynamic_cast<const TQRImage *>(element)) {
            e.image = image;
            // A missing picture prints nothing rather than failing the report.
            e.picture = image->Picture.isNull() ? loadPicture(image->PicturePath) : image->Picture;
        } else if (dynamic_cast<const TQRHRule *>(element)) {
            e.rule = true;
        }
        info.elements.push_back(std::move(e));
    }
    return info;
}

double LaidOutPages::bandHeight(const BandInfo &band, const TQRPrintContext &context) const
{
    double height = band.height;
    for (const ElementInfo &e : band.elements) {
        if (!e.text || !e.text->AutoStretch)
            continue;
        const double width = std::min(e.element->Width, printable.right() - e.element->Left);
        const QRectF needed = e.metrics->boundingRect(
            QRectF(0, 0, std::max(0.0, width) * reportUnitsPerMm, 1e9),
            e.text->WordWrap ? Qt::TextWordWrap : 0, printedText(e, context));
        height = std::max(height, e.element->Top + needed.height() / reportUnitsPerMm);
    }
    return height;
}

// Text running past the right margin stops there: an element never widens beyond the printable
// area. What does not fit its rectangle prints as the whole lines that do, wrapped at word
// boundaries when the element wraps, the last one ending in "…"; the block keeps its height.
// The text is cut here, once, so that painting, the preview's search and a saved report file
// all see what prints and no word hidden behind the "…".
void LaidOutPages::makeBand(ReportPage &page, const BandInfo &band, double top,
                            const TQRPrintContext &context, bool shape) const
{
    const double height = bandHeight(band, context);
    const double left = printable.left();
    for (const ElementInfo &e : band.elements) {
        const TQRPrintable &el = *e.element;
        const QRectF design(left + el.Left, top + el.Top, el.Width, el.Height);
        if (e.text) {
            const QString text = printedText(e, context);
            QRectF rect = design;
            // For painting, a left-aligned text is shaped once, here, and painted as measured;
            // one aligned otherwise is painted from its string.
            const bool paintShaped = shape && e.text->Alignment == Qt::AlignLeft;
            double widest = 0;
            std::shared_ptr<const QTextLayout> shaped;
            std::optional<ShapedLine> line;
            if (e.captionWidth) {
                widest = *e.captionWidth;
                if (paintShaped)
                    shaped = e.captionShaped;
            } else if (paintShaped && (line = shapeLine(e.measuring, text))) {
                widest = line->advance / reportUnitsPerMm;
                shaped = std::move(line->layout);
            } else {
                widest = widestLine(*e.metrics, text);
            }
            if (e.text->AutoSize)
                rect.setWidth(widest);
            if (e.text->AutoStretch)
                rect.setBottom(top + height);
            rect.setRight(std::min(rect.right(), printable.right()));
            rect.setBottom(std::min(rect.bottom(), printable.bottom()));
            if (rect.width() < 0 || rect.height() < 0)
                continue;
            // Text that fits is never wrapped: a device measuring a hair wider must not push
            // the last word onto a line that the rectangle then hides.
            const bool overflows = widest > rect.width() + 0.01 || text.contains(QLatin1Char('\n'));
            if (!overflows) {
                page.texts.push_back(
                    {rect, text, e.font, e.text->Alignment, false, el.Name, std::move(shaped)});
                continue;
            }
            const bool wrap = e.text->WordWrap;
            page.texts.push_back({rect,
                                  fittedText(e.font, text, rect.size(), wrap),
                                  e.font,
                                  e.text->Alignment,
                                  wrap,
                                  el.Name,
                                  {}});
        } else if (e.image) {
            if (e.picture.isNull())
                continue;
            const QRectF natural(design.topLeft(), QSizeF(e.picture.width() * pictureMmPerPixel,
                                                          e.picture.height() * pictureMmPerPixel));
            const QRectF shown = natural & design & printable;
            if (shown.isEmpty())
                continue;
            QImage picture = e.picture;
            if (shown != natural) {
                const QRectF source((shown.left() - natural.left()) / pictureMmPerPixel,
                                    (shown.top() - natural.top()) / pictureMmPerPixel,
                                    shown.width() / pictureMmPerPixel,
                                    shown.height() / pictureMmPerPixel);
                picture = e.picture.copy(source.toAlignedRect());
            }
            page.pictures.push_back({shown, picture, el.Name});
        } else if (e.rule) {
            const double y = design.top() + design.height() / 2;
            const double right = std::min(design.right(), printable.right());
            if (right > design.left() && y <= printable.bottom())
                page.lines.push_back({QLineF(design.left(), y, right, y), rulePenWidth, el.Name});
        }
    }
}

// The band's texts are read here, so that a dataset failing part-way fails the run, but measured
// and kept only when a page is made.
double ReportLayouter::Impl::placeBand(const BandInfo &band, double top,
                                       const TQRPrintContext &context, std::optional<double> height)
{
    for (const ElementInfo &e : band.elements) {
        if (e.text)
            printedText(e, context);
    }
    pages->placed.push_back({float(top), context.record, band.slot});
    return height ? *height : bandHeight(band, context);
}

ReportPage LaidOutPages::make(int index, bool shape) const
{
    ReportPage page;
    const auto [first, end] = bandsOf(index);
    // Room for every element's text at once: a page is made for each page painted or saved.
    size_t elements = 0;
    for (size_t i = first; i < end; ++i)
        elements += bands[placed[i].band]->elements.size();
    page.texts.reserve(elements);
    for (size_t i = first; i < end; ++i) {
        const PlacedBand &placedBand = placed[i];
        makeBand(page, *bands[placedBand.band], placedBand.top,
                 TQRPrintContext{dataSet.get(), placedBand.record}, shape);
    }
    return page;
}

// The one place the search reads a text whole, as the element prints it before any cut: a page
// is made only where that holds the text. A made text is a piece of it (whole lines, trimmed,
// the last one perhaps with its spaces run together and cut with "…"), so text without either
// is found on a made page only where the whole text holds it; the search then looks in the made
// page, and finds no word that the cut hid.
bool LaidOutPages::mayContain(int index, const QString &text) const
{
    if (std::any_of(text.begin(), text.end(),
                    [](QChar c) { return c.isSpace() || c == QChar(0x2026); }))
        return true;
    const auto [first, end] = bandsOf(index);
    for (size_t i = first; i < end; ++i) {
        const PlacedBand &placedBand = placed[i];
        const TQRPrintContext context{dataSet.get(), placedBand.record};
        for (const ElementInfo &e : bands[placedBand.band]->elements) {
            if (e.text && printedText(e, context).contains(text, Qt::CaseInsensitive))
                return true;
        }
    }
    return false;
}

void ReportLayouter::Impl::layoutPage()
{
    const int pageIndex = pages->pageCount();
    const double footerHeight = pageFooter ? pageFooter->height : 0;
    const double bottom = printable.bottom() - footerHeight;
    const TQRPrintContext noRecord{dataSet, -1};
    double y = printable.top();

    if (pageHeader && (pageIndex > 0 || options.testFlag(FirstPageHeader)))
        y += placeBand(*pageHeader, y, noRecord);
    if (!titleDone) {
        if (title)
            y += placeBand(*title, y, noRecord);
        titleDone = true;
    }
    if (columnHeader)
        y += placeBand(*columnHeader, y, noRecord);

    // A band that does not fit goes to the next page, unless it is the first on this one and
    // would fit on none.
    bool placedAny = false;
    if (detail) {
        while (hasDetail(nextDetail)) {
            const TQRPrintContext context{dataSet, nextDetail < records ? nextDetail : -1};
            const double height = bandHeight(*detail, context);
            if (placedAny && y + height > bottom)
                break;
            y += placeBand(*detail, y, context, height);
            ++nextDetail;
            placedAny = true;
        }
    } else {
        hasDetail(std::numeric_limits<int>::max());
        nextDetail = detailsToPrint;
    }
    if (recordsComplete && nextDetail >= detailsToPrint && !summaryDone) {
        if (!summary) {
            summaryDone = true;
        } else {
            const double height = bandHeight(*summary, noRecord);
            if (!placedAny || y + height <= bottom) {
                y += placeBand(*summary, y, noRecord, height);
                summaryDone = true;
            }
        }
    }
    done = summaryDone;

    if (pageFooter && (!done || options.testFlag(LastPageFooter)))
        placeBand(*pageFooter, printable.bottom() - footerHeight, noRecord, footerHeight);
    pages->pageEnds.push_back(pages->placed.size());
    // The document keeps what the run placed for as long as it lives: without growth slack.
    if (done) {
        pages->placed.shrinkToFit();
        pages->pageEnds.shrink_to_fit();
    }
}

ReportLayouter::ReportLayouter(const TQuickRep &report)
    : m_impl(std::make_unique<Impl>(report))
{}

ReportLayouter::~ReportLayouter() = default;

bool ReportLayouter::layoutNextPage()
{
    if (m_impl->done)
        return false;
    if (!m_impl->nextRecordReady())
        return true;
    if (!m_impl->started) {
        m_impl->started = true;
        m_impl->done = !m_impl->hasDetail(0);
        if (m_impl->done)
            return false;
    }
    m_impl->layoutPage();
    return true;
}

void ReportLayouter::layoutAll()
{
    while (layoutNextPage()) {
    }
}

bool ReportLayouter::finished() const
{
    return m_impl->done;
}

int ReportLayouter::recordCount() const
{
    return m_impl->records;
}

bool ReportLayouter::recordCountKnown() const
{
    return m_impl->recordsComplete;
}

int ReportLayouter::recordsPrinted() const
{
    return std::min(m_impl->nextDetail, m_impl->records);
}

std::shared_ptr<ReportDocument> ReportLayouter::document() const
{
    return m_impl->document;
}

std::shared_ptr<ReportDocument> layoutReport(const TQuickRep &report)
{
    ReportLayouter layouter(report);
    layouter.layoutAll();
    return layouter.document();
}
