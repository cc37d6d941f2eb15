// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/engine/preview/report_preview.h"

#include "reports/engine/preview/report_painter.h"
#include "reports/engine/report_error.h"
#include "reports/engine/report_file.h"
#include "reports/engine/report_layouter.h"

#include "exchange/formats/table_writer.h"

#include <QAbstractListModel>
#include <QAction>
#include <QApplication>
#include <QCache>
#include <QCloseEvent>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QInputDialog>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMessageBox>
#include <QPageSetupDialog>
#include <QPainter>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinterInfo>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSettings>
#include <QSplitter>
#include <QStandardPaths>
#include <QStatusBar>
#include <QStyledItemDelegate>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

#include <memory>
#include <optional>

namespace {

constexpr int thumbnailWidth = 90;
// A slice of layout between two passes of the event loop: short enough to keep windows live.
constexpr int sliceMilliseconds = 20;
constexpr int thumbnailBatchMilliseconds = 1000;
// How often saving or printing shows its progress and serves the window's events.
constexpr int progressIntervalMs = 30;

void defaultMessage(QWidget *parent, const QString &message)
{
    QMessageBox::warning(parent, QStringLiteral("Quivel"), message);
}

ReportMessageHandler g_messageHandler = &defaultMessage;

bool defaultQuestion(QWidget *parent, const QString &question)
{
    return QMessageBox::question(parent, QStringLiteral("Quivel"), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::No) == QMessageBox::Yes;
}

ReportQuestionHandler g_questionHandler = &defaultQuestion;

// Tool bar pictures are drawn, not taken from an icon theme: the glyphs come from DejaVu Sans,
// which holds every one of them, so none shows as an empty box.
QIcon glyphIcon(const QString &glyph)
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(glyph.size() > 2 ? 10 : 16);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(40, 40, 40));
    painter.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

// A small dialog is made wide enough for its whole caption beside the title bar's buttons.
void keepCaptionWhole(QDialog &dialog, const QString &caption)
{
    dialog.setWindowTitle(caption);
    QFont title = dialog.font();
    title.setBold(true);
    title.setPointSizeF(qMax(title.pointSizeF(), 10.0));
    dialog.setMinimumWidth(QFontMetrics(title).horizontalAdvance(caption) + 4 * 24);
}

// A prompt's buttons in the user's language, whether or not Qt's own translations are there.
void speakPortuguese(QInputDialog &ask)
{
    ask.setOkButtonText(QStringLiteral("OK"));
    ask.setCancelButtonText(QStringLiteral("Cancelar"));
}

// Where and as what the user last saved a report, kept between runs.
const QString saveFolderKey = QStringLiteral("relatorio/pasta");
const QString saveTypeKey = QStringLiteral("relatorio/tipo");

QSettings userSettings()
{
    return QSettings(QStringLiteral("quivel"), QStringLiteral("quivel"));
}

// The folder last saved in while it is there, else the user's documents folder (XDG), else
// home: never the catalogue's own hidden folder.
QString saveFolder(const QSettings &settings)
{
    const QString last = settings.value(saveFolderKey).toString();
    if (!last.isEmpty() && QFileInfo(last).isDir())
        return last;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

// A printer seen from the front: paper in, body with a paper slot, paper out.
QIcon printerIcon()
{
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    const QColor ink(40, 40, 40);
    painter.setPen(ink);
    painter.setBrush(Qt::white);
    painter.drawRect(7, 3, 10, 6); // paper going in
    painter.setBrush(QColor(170, 170, 170));
    painter.drawRect(3, 9, 18, 8);                     // body
    painter.fillRect(17, 11, 2, 2, QColor(0, 150, 0)); // lamp
    painter.setBrush(Qt::white);
    painter.drawRect(7, 15, 10, 6); // paper coming out
    painter.drawLine(9, 17, 15, 17);
    painter.drawLine(9, 19, 13, 19);
    return QIcon(pixmap);
}

// A page's picture above its number, as an icon view shows it. The thumbnails are a list view
// of items of one size, not an icon view: an icon view places every item again whenever pages
// are added, about 15 ms in one pass of the event loop for a report of some thousand pages,
// where a list of items of one size is placed by arithmetic.
class ThumbnailDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem *option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        option->decorationPosition = QStyleOptionViewItem::Top;
        option->decorationAlignment = Qt::AlignCenter;
        option->displayAlignment = Qt::AlignHCenter | Qt::AlignTop;
    }
};

} // namespace

// The page on screen. Only the current page is painted, and only the part the viewport shows.
class ReportPageView : public QWidget
{
public:
    explicit ReportPageView(QWidget *parent)
        : QWidget(parent)
    {
        setAccessibleName(QStringLiteral("Página do relatório"));
    }

    // By index: the page is made when it is first painted, and kept while it is shown, so
    // showing the page already shown makes nothing again. A page the caller has already made
    // (the search's) is taken as it is.
    void setPage(std::shared_ptr<const ReportDocument> document, int index,
                 std::optional<ReportPage> made = std::nullopt)
    {
        if (document != m_document || index != m_index || made) {
            m_page = std::move(made);
            m_document = std::move(document);
            m_index = index;
        }
        if (m_document)
            m_pageSize = m_document->pageSize;
        update();
    }

    void setHighlights(std::vector<QRectF> highlights)
    {
        m_highlights = std::move(highlights);
        update();
    }

    void setZoom(double pixelsPerMm)
    {
        m_zoom = pixelsPerMm;
        resize(QSizeF(m_pageSize * m_zoom).toSize() + QSize(2 * margin, 2 * margin));
        update();
    }

    double zoom() const { return m_zoom; }
    static constexpr int margin = 8;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().dark());
        const QRectF target(margin, margin, m_pageSize.width() * m_zoom,
                            m_pageSize.height() * m_zoom);
        if (!m_page && m_document && m_index >= 0 && m_index < m_document->pageCount()) {
            try {
                m_page = m_document->pageToPaint(m_index);
            } catch (...) {
                // Nothing may escape a paint event; a page that cannot be made shows blank.
            }
        }
        if (m_page)
            paintReportPage(painter, *m_page, m_pageSize, target, m_highlights);
        else
            painter.fillRect(target, Qt::white);
    }

private:
    // Shared, so that a page kept here cannot outlive its document and pass for another's.
    std::shared_ptr<const ReportDocument> m_document;
    int m_index = -1;
    std::optional<ReportPage> m_page;
    QSizeF m_pageSize{210, 297};
    std::vector<QRectF> m_highlights;
    double m_zoom = 1.0;
};

// Thumbnails are rendered when the list first shows them and kept in a bounded cache.
class ReportThumbnailModel : public QAbstractListModel
{
public:
    explicit ReportThumbnailModel(QObject *parent)
        : QAbstractListModel(parent)
    {}

    void setDocument(const ReportDocument *document)
    {
        beginResetModel();
        m_document = document;
        m_rows = document ? document->pageCount() : 0;
        m_cache.clear();
        endResetModel();
    }

    void pagesAdded()
    {
        const int rows = m_document ? m_document->pageCount() : 0;
        if (rows <= m_rows)
            return;
        beginInsertRows({}, m_rows, rows - 1);
        m_rows = rows;
        endInsertRows();
    }

    int rowCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : m_rows; }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!index.isValid() || !m_document || index.row() >= m_rows)
            return {};
        if (role == Qt::DisplayRole)
            return QString::number(index.row() + 1);
        if (role == Qt::DecorationRole) {
            if (QImage *cached = m_cache.object(index.row()))
                return *cached;
            QImage rendered;
            try {
                rendered = renderReportPage(*m_document, index.row(), thumbnailWidth);
            } catch (...) {
                return {}; // nothing may escape into the view
            }
            auto *image = new QImage(rendered);
            const QImage result = *image;
            m_cache.insert(index.row(), image);
            return result;
        }
        return {};
    }

private:
    const ReportDocument *m_document = nullptr;
    int m_rows = 0;
    mutable QCache<int, QImage> m_cache{200};
};

ReportMessageHandler setReportMessageHandler(ReportMessageHandler handler)
{
    ReportMessageHandler previous = g_messageHandler;
    g_messageHandler = handler ? handler : &defaultMessage;
    return previous;
}

ReportQuestionHandler setReportQuestionHandler(ReportQuestionHandler handler)
{
    ReportQuestionHandler previous = g_questionHandler;
    g_questionHandler = handler ? handler : &defaultQuestion;
    return previous;
}

ReportPreviewWindow::ReportPreviewWindow(const QString &reportTitle, TQRZoomState zoom,
                                         QWidget *parent)
    : QMainWindow(parent)
    , m_document(std::make_shared<ReportDocument>())
    , m_zoomMode(zoom)
{
    setWindowTitle(reportTitle.isEmpty() ? QStringLiteral("Visualizar relatório")
                                         : QStringLiteral("Visualizar relatório: ") + reportTitle);
    setAccessibleName(windowTitle());
    m_document->title = reportTitle;

    m_runTimer = new QTimer(this);
    m_runTimer->setInterval(0);
    connect(m_runTimer, &QTimer::timeout, this, [this] { runSlice(); });

    m_pageView = new ReportPageView(this);
    m_scrollArea = new QScrollArea(this);
    m_scrollArea->setWidget(m_pageView);
    m_scrollArea->setAlignment(Qt::AlignCenter);
    m_scrollArea->setBackgroundRole(QPalette::Dark);
    m_scrollArea->viewport()->installEventFilter(this);

    m_thumbnailModel = new ReportThumbnailModel(this);
    m_thumbnailModel->setDocument(m_document.get());
    m_thumbnails = new QListView(this);
    m_thumbnails->setModel(m_thumbnailModel);
    m_thumbnails->setUniformItemSizes(true);
    m_thumbnails->setIconSize(QSize(thumbnailWidth, qRound(thumbnailWidth * 297.0 / 210.0)));
    m_thumbnails->setItemDelegate(new ThumbnailDelegate(m_thumbnails));
    m_thumbnails->setAccessibleName(QStringLiteral("Miniaturas das páginas"));
    connect(m_thumbnails, &QListView::clicked, this,
            [this](const QModelIndex &index) { showPage(index.row()); });

    m_searchResults = new QListWidget(this);
    m_searchResults->setAccessibleName(QStringLiteral("Resultados da busca"));
    connect(m_searchResults, &QListWidget::currentRowChanged, this,
            [this](int row) { showSearchResult(row); });

    m_sidePanel = new QTabWidget(this);
    m_sidePanel->addTab(m_thumbnails, QStringLiteral("Miniaturas"));
    m_sidePanel->addTab(m_searchResults, QStringLiteral("Resultados da busca"));

    auto *splitter = new QSplitter(Qt::Horizontal, this);
    splitter->addWidget(m_sidePanel);
    splitter->addWidget(m_scrollArea);
    splitter->setStretchFactor(1, 1);
    // Wide enough for both tabs side by side, so neither hides behind scroll arrows.
    m_sidePanel->tabBar()->setUsesScrollButtons(false);
    m_sidePanel->tabBar()->setElideMode(Qt::ElideNone);
    const int sideWidth = qMax(130, m_sidePanel->minimumSizeHint().width());
    splitter->setSizes({sideWidth, 500 - sideWidth});
    splitter->setCollapsible(0, false);
    setCentralWidget(splitter);

    buildToolBar();

    m_progressLabel = new QLabel(this);
    m_pageLabel = new QLabel(this);
    statusBar()->addWidget(m_progressLabel, 1);
    statusBar()->addPermanentWidget(m_pageLabel);

    // 500 by 500 outside, centred; the frame is taken off once the window knows it (showEvent).
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    setGeometry(
        QRect(QPoint(0, 0), QSize(500, 500)).translated(screen.center() - QPoint(250, 250)));
    updateStatus();
}

ReportPreviewWindow::~ReportPreviewWindow() = default;

void ReportPreviewWindow::buildToolBar()
{
    QToolBar *bar = addToolBar(QStringLiteral("Ferramentas da visualização"));
    bar->setMovable(false);
    bar->setIconSize(QSize(20, 20));
    const auto addIcon = [this, bar](const QIcon &icon, const QString &tip, auto handler) {
        QAction *action = bar->addAction(icon, tip);
        action->setToolTip(tip);
        connect(action, &QAction::triggered, this, [this, handler] { guarded(handler); });
        return action;
    };
    const auto add = [addIcon](const QString &glyph, const QString &tip, auto handler) {
        return addIcon(glyphIcon(glyph), tip, handler);
    };
    add(QStringLiteral("▣"), QStringLiteral("Ajustar à página"), [this] { zoomToFit(); });
    add(QStringLiteral("↔"), QStringLiteral("Ajustar à largura"), [this] { zoomToWidth(); });
    add(QStringLiteral("1:1"), QStringLiteral("Tamanho real (100%)"), [this] { zoom100(); });
    bar->addSeparator();
    add(QStringLiteral("|◀"), QStringLiteral("Primeira página"), [this] { showPage(0); });
    add(QStringLiteral("◀"), QStringLiteral("Página anterior"),
        [this] { showPage(m_currentPage - 1); });
    add(QStringLiteral("▶"), QStringLiteral("Próxima página"),
        [this] { showPage(m_currentPage + 1); });
    add(QStringLiteral("▶|"), QStringLiteral("Última página"),
        [this] { showPage(pageCount() - 1); });
    add(QStringLiteral("#"), QStringLiteral("Ir para a página"), [this] { selectPage(); });
    bar->addSeparator();
    add(QStringLiteral("?"), QStringLiteral("Procurar texto"), [this] { askSearch(); });
    bar->addSeparator();
    add(QStringLiteral("⚙"), QStringLiteral("Configurar impressora"), [this] { printerSetup(); });
    addIcon(printerIcon(), QStringLiteral("Imprimir"), [this] { print(); });
    add(QStringLiteral("↓"), QStringLiteral("Salvar relatório"), [this] { askSave(); });
    add(QStringLiteral("↑"), QStringLiteral("Abrir relatório"), [this] { askLoad(); });
    bar->addSeparator();
    auto *close = new QPushButton(QStringLiteral("&Fechar"), bar);
    connect(close, &QPushButton::clicked, this, [this] { this->close(); });
    bar->addWidget(close);
}

// Nothing may escape into Qt: a failure of a tool bar action becomes a message.
template <typename Action> void ReportPreviewWindow::guarded(Action action)
{
    try {
        action();
    } catch (const ReportError &error) {
        g_messageHandler(this, error.message());
    } catch (const std::exception &error) {
        g_messageHandler(this, QString::fromLocal8Bit(error.what()));
    } catch (...) {
        g_messageHandler(this, QStringLiteral("Erro desconhecido no relatório."));
    }
}

void ReportPreviewWindow::startRun(const TQuickRep &report)
{
    auto layouter = std::make_unique<ReportLayouter>(report);
    m_layouter = std::move(layouter);
    m_table = ReportTable::of(report);
    m_runError = nullptr;
    m_document = m_layouter->document();
    m_thumbnailModel->setDocument(m_document.get());
    m_searchResults->clear();
    m_thumbnailsTold.invalidate();
    showPage(0);
    m_runTimer->start();
}

void ReportPreviewWindow::setDocument(std::shared_ptr<ReportDocument> document)
{
    m_runTimer->stop();
    m_layouter.reset();
    m_table = {};
    m_document = std::move(document);
    m_thumbnailModel->setDocument(m_document.get());
    m_searchResults->clear();
    m_currentPage = 0;
    showPage(0);
    Q_EMIT pagesChanged();
}

bool ReportPreviewWindow::running() const
{
    return m_layouter && !m_layouter->finished();
}

void ReportPreviewWindow::runSlice()
{
    if (!m_layouter)
        return;
    const int before = pageCount();
    try {
        QElapsedTimer clock;
        clock.start();
        // The first page is shown as soon as it is laid out, not at the end of a full slice.
        while (!m_layouter->finished() && clock.elapsed() < sliceMilliseconds &&
               (before > 0 || pageCount() == 0))
            m_layouter->layoutNextPage();
    } catch (...) {
        // Handed back to Preview's caller; the window closes since the report cannot finish.
        m_runError = std::current_exception();
        m_runTimer->stop();
        m_layouter.reset();
        close();
        return;
    }
    if (m_layouter->finished())
        m_runTimer->stop();
    // The list lays all its items out again on every insertion, so it hears of new pages in
    // batches rather than on every slice.
    if (m_layouter->finished() || !m_thumbnailsTold.isValid() ||
        m_thumbnailsTold.elapsed() >= thumbnailBatchMilliseconds) {
        m_thumbnailModel->pagesAdded();
        m_thumbnailsTold.start();
    }
    if (before == 0 && pageCount() > 0)
        showPage(0);
    updateStatus();
    Q_EMIT pagesChanged();
}

bool ReportPreviewWindow::finishRun()
{
    if (!running())
        return true;
    // The rest is laid out in the same slices, with the window's events between them, so that
    // a long report shows how far it is and can be stopped.
    // Until every record is read the total is unknown: the bar shows activity, not a share.
    QProgressDialog progress(QStringLiteral("Gerando relatório..."), QStringLiteral("Cancelar"), 0,
                             0, this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    {
        const QScopedValueRollback busy(m_busy, true);
        while (running() && !progress.wasCanceled()) {
            runSlice();
            if (m_layouter && m_layouter->recordCountKnown()) {
                progress.setMaximum(qMax(1, m_layouter->recordCount()));
                progress.setValue(m_layouter->recordsPrinted());
            }
            QCoreApplication::processEvents();
        }
    }
    if (m_runError) {
        close();
        return false;
    }
    return !running();
}

// Saving and printing show the page being output and can be stopped between two pages.
PageProgress ReportPreviewWindow::outputProgress(QProgressDialog &dialog, const QString &what)
{
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(500);
    dialog.setCancelButtonText(QStringLiteral("Cancelar"));
    // A page takes well under a millisecond to output: showing each one would paint the dialog
    // tens of thousands of times, each paint a round trip to the window system. The dialog
    // shows the page reached and the window's events are served every few dozen milliseconds,
    // which keeps it as responsive.
    auto shown = std::make_shared<QElapsedTimer>();
    return [&dialog, what, shown](int done, int total) {
        if (shown->isValid() && !shown->hasExpired(progressIntervalMs) && done + 1 < total)
            return !dialog.wasCanceled();
        shown->start();
        dialog.setMaximum(total);
        dialog.setValue(done);
        dialog.setLabelText(what.arg(done + 1).arg(total));
        QCoreApplication::processEvents();
        return !dialog.wasCanceled();
    };
}

int ReportPreviewWindow::pageCount() const
{
    return m_document->pageCount();
}

void ReportPreviewWindow::showPage(int index)
{
    if (pageCount() == 0) {
        m_pageView->setPage(m_document, -1);
        applyZoom();
        updateStatus();
        return;
    }
    m_currentPage = qBound(0, index, pageCount() - 1);
    m_pageView->setHighlights({});
    m_pageView->setPage(m_document, m_currentPage);
    applyZoom();
    m_thumbnails->setCurrentIndex(m_thumbnailModel->index(m_currentPage));
    updateStatus();
}

void ReportPreviewWindow::zoomToFit()
{
    m_zoomMode = qrZoomToFit;
    applyZoom();
}

void ReportPreviewWindow::zoomToWidth()
{
    m_zoomMode = qrZoomToWidth;
    applyZoom();
}

void ReportPreviewWindow::zoom100()
{
    m_zoomMode = qrZoom100;
    applyZoom();
}

double ReportPreviewWindow::zoom() const
{
    return m_pageView->zoom();
}

void ReportPreviewWindow::applyZoom()
{
    const QSizeF page = m_document->pageSize;
    const QSize viewport = m_scrollArea->maximumViewportSize();
    const double margin = 2 * ReportPageView::margin;
    double zoom = logicalDpiX() / 25.4;
    if (m_zoomMode == qrZoomToFit) {
        zoom = qMin((viewport.width() - margin) / page.width(),
                    (viewport.height() - margin) / page.height());
    } else if (m_zoomMode == qrZoomToWidth) {
        const int scrollBar = m_scrollArea->verticalScrollBar()->sizeHint().width();
        zoom = (viewport.width() - margin - scrollBar) / page.width();
    }
    m_pageView->setZoom(qMax(0.05, zoom));
}

void ReportPreviewWindow::updateStatus()
{
    // No total while the records still arrive: one that grew would read as a fault. The text
    // stays as short as the one with a total, so the narrow window does not cut it.
    if (running() && !m_layouter->recordCountKnown()) {
        m_progressLabel->setText(QStringLiteral("Gerando relatório: %1 registros até aqui…")
                                     .arg(m_layouter->recordsPrinted()));
    } else if (running()) {
        m_progressLabel->setText(QStringLiteral("Gerando relatório: %1 de %2 registros")
                                     .arg(m_layouter->recordsPrinted())
                                     .arg(m_layouter->recordCount()));
    } else {
        m_progressLabel->setText(QStringLiteral("Relatório pronto: %1 página(s)").arg(pageCount()));
    }
    m_pageLabel->setText(
        pageCount() == 0
            ? QString()
            : QStringLiteral("Página %1 de %2").arg(m_currentPage + 1).arg(pageCount()));
}

void ReportPreviewWindow::selectPage()
{
    QInputDialog ask(this);
    keepCaptionWhole(ask, QStringLiteral("Ir para a página"));
    ask.setLabelText(QStringLiteral("Página:"));
    speakPortuguese(ask);
    ask.setIntRange(1, qMax(1, pageCount()));
    ask.setIntValue(m_currentPage + 1);
    if (ask.exec() == QDialog::Accepted)
        showPage(ask.intValue() - 1);
}

int ReportPreviewWindow::searchText(const QString &text)
{
    m_searchResults->clear();
    if (text.isEmpty())
        return 0;
    // Only the pages that may hold the text are made, each once: a hit keeps the place of its
    // text, and the first hit's page goes to the page view, which shows it without making it
    // again.
    std::optional<ReportPage> firstHitPage;
    int firstHit = -1;
    for (int p = 0; p < m_document->pageCount(); ++p) {
        if (!m_document->pageMayContain(p, text))
            continue;
        ReportPage page = m_document->page(p);
        bool hit = false;
        for (const PageText &pageText : page.texts) {
            if (!pageText.text.contains(text, Qt::CaseInsensitive))
                continue;
            auto *item = new QListWidgetItem(
                QStringLiteral("Página %1: %2").arg(p + 1).arg(pageText.text), m_searchResults);
            item->setData(Qt::UserRole, p);
            item->setData(Qt::UserRole + 1, pageText.rect);
            hit = true;
        }
        if (hit && !firstHitPage) {
            firstHitPage = std::move(page);
            firstHit = p;
        }
    }
    m_sidePanel->setCurrentWidget(m_searchResults);
    if (firstHitPage)
        m_pageView->setPage(m_document, firstHit, std::move(firstHitPage));
    if (m_searchResults->count() > 0)
        m_searchResults->setCurrentRow(0);
    return m_searchResults->count();
}

void ReportPreviewWindow::showSearchResult(int row)
{
    const QListWidgetItem *item = m_searchResults->item(row);
    if (!item)
        return;
    showPage(item->data(Qt::UserRole).toInt());
    m_pageView->setHighlights({item->data(Qt::UserRole + 1).toRectF()});
}

void ReportPreviewWindow::askSearch()
{
    QInputDialog ask(this);
    keepCaptionWhole(ask, QStringLiteral("Procurar texto"));
    ask.setLabelText(QStringLiteral("Texto:"));
    speakPortuguese(ask);
    if (ask.exec() != QDialog::Accepted)
        return;
    const QString text = ask.textValue();
    if (searchText(text) == 0)
        g_messageHandler(this, QStringLiteral("Texto não encontrado: \"%1\".").arg(text));
}

QPrinter &ReportPreviewWindow::printer()
{
    // Made when first asked for, not with the window: a printer looks up the system's printers,
    // which a preview that is never printed from need not wait for.
    if (!m_printer) {
        m_printer = std::make_unique<QPrinter>();
        setPrinterToReportPaper(*m_printer, *m_document);
    }
    return *m_printer;
}

void ReportPreviewWindow::printerSetup()
{
    QPageSetupDialog dialog(&printer(), this);
    dialog.exec();
}

void ReportPreviewWindow::print()
{
    if (!finishRun())
        return;
    if (QPrinterInfo::availablePrinters().isEmpty()) {
        if (!g_questionHandler(
                this,
                QStringLiteral("Nenhuma impressora está disponível. Salvar o relatório em PDF?")))
            return;
        const QString path =
            QFileDialog::getSaveFileName(this, QStringLiteral("Salvar relatório em PDF"),
                                         saveFolder(userSettings()), QStringLiteral("PDF (*.pdf)"));
        if (!path.isEmpty())
            saveTo(path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)
                       ? path
                       : path + QStringLiteral(".pdf"));
        return;
    }
    QPrintDialog dialog(&printer(), this);
    dialog.setMinMax(1, qMax(1, pageCount()));
    if (dialog.exec() != QDialog::Accepted)
        return;
    QProgressDialog progress(this);
    const QScopedValueRollback busy(m_busy, true);
    const auto document = m_document;
    printReport(*document, *m_printer,
                outputProgress(progress, QStringLiteral("Imprimindo a página %1 de %2...")));
}

bool ReportPreviewWindow::saveTo(const QString &path, char separator)
{
    if (!finishRun())
        return false;
    if (const auto format = Exchange::formatOf(path)) {
        if (m_table.isEmpty())
            throw ReportError(QStringLiteral("Este relatório não tem linhas para gravar como "
                                             "planilha."));
        ReportRows rows(m_table);
        QProgressDialog progress(QStringLiteral("Salvando as linhas do relatório..."),
                                 QStringLiteral("Interromper"), 0,
                                 int(qMax<qint64>(1, rows.rowCount())), this);
        progress.setMinimumDuration(500);
        const QScopedValueRollback busy(m_busy, true);
        Exchange::WriteOptions options;
        options.title = m_table.title.isEmpty() ? windowTitle() : m_table.title;
        options.separator = separator;
        options.progress = [&progress](qint64 written) {
            progress.setValue(int(written));
            return !progress.wasCanceled();
        };
        try {
            return Exchange::writeTable(rows, path, *format, options);
        } catch (const Exchange::ExchangeError &e) {
            throw ReportError(e.message());
        }
    }
    if (path.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive)) {
        QProgressDialog progress(this);
        const QScopedValueRollback busy(m_busy, true);
        const auto document = m_document;
        writeReportPdf(*document, path,
                       outputProgress(progress, QStringLiteral("Salvando a página %1 de %2...")));
    } else
        saveReportFile(*m_document, path);
    return true;
}

void ReportPreviewWindow::loadFrom(const QString &path)
{
    auto document = std::make_shared<ReportDocument>(loadReportFile(path));
    setDocument(std::move(document));
}

void ReportPreviewWindow::askSave()
{
    const QString reportFilter = QStringLiteral("Relatório do Quivel (*.qvr)");
    const QString pdfFilter = QStringLiteral("PDF (*.pdf)");
    QSettings settings = userSettings();
    QStringList filters{reportFilter, pdfFilter};
    // Beside the pages, the rows themselves, for a spreadsheet or a web page.
    if (!m_table.isEmpty())
        filters += Exchange::formatFilters();
    QFileDialog dialog(this, QStringLiteral("Salvar relatório"), saveFolder(settings),
                       filters.join(QStringLiteral(";;")));
    dialog.setObjectName(QStringLiteral("SalvarRelatorio"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    // The type chosen last time: "pdf", "qvr", or a table format's extension.
    const QString lastType = settings.value(saveTypeKey).toString();
    QString lastFilter = reportFilter;
    for (const QString &f : std::as_const(filters)) {
        const auto format = Exchange::formatOfFilter(f);
        if (lastFilter == reportFilter && ((f == pdfFilter && lastType == u"pdf") ||
                                           (format && Exchange::extensionOf(*format) == lastType)))
            lastFilter = f;
    }
    dialog.selectNameFilter(lastFilter);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    QString path = dialog.selectedFiles().constFirst();
    const QString filter = dialog.selectedNameFilter();
    const auto tableFormat = Exchange::formatOfFilter(filter);
    QString type = QStringLiteral("qvr");
    if (filter == pdfFilter)
        type = QStringLiteral("pdf");
    else if (tableFormat)
        type = Exchange::extensionOf(*tableFormat);
    if (!QFileInfo(path).fileName().contains(QLatin1Char('.')))
        path += u'.' + type;
    settings.setValue(saveFolderKey, QFileInfo(path).absolutePath());
    settings.setValue(saveTypeKey, type);
    saveTo(path, filter.contains(QStringLiteral("por vírgula")) ? ',' : ';');
}

void ReportPreviewWindow::askLoad()
{
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Abrir relatório"), QString(),
                                     QStringLiteral("Relatório do Quivel (*.qvr);;Todos (*)"));
    if (!path.isEmpty())
        loadFrom(path);
}

void ReportPreviewWindow::closeEvent(QCloseEvent *event)
{
    // Not while its own save or print is still running inside it.
    if (m_busy) {
        event->ignore();
        return;
    }
    m_runTimer->stop();
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

void ReportPreviewWindow::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    if (!m_sized) {
        m_sized = true;
        fitFrame();
        applyZoom();
    }
}

// The window manager frames a window only after it is first shown, and nothing tells the
// widget when: until the frame is known the window stands as if it had none, then it is
// sized and placed again.
void ReportPreviewWindow::fitFrame()
{
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // Placed by its inside, which stays where it is put when the frame comes around it.
    QRect outer(QPoint(0, 0), QSize(500, 500));
    outer.moveCenter(screen.center());
    setGeometry(outer.marginsRemoved(frame));
    if (!frame.isNull() || ++m_frameLooks > 100) // a frameless window stays so
        return;
    QTimer::singleShot(20, this, [this] { fitFrame(); });
}

bool ReportPreviewWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_scrollArea->viewport() && event->type() == QEvent::Resize &&
        m_zoomMode != qrZoom100)
        applyZoom();
    return QMainWindow::eventFilter(watched, event);
}

void Preview(const TQuickRep &report)
{
    QCoreApplication::processEvents();
    auto window = std::make_unique<ReportPreviewWindow>(report.ReportTitle, report.PrevInitialZoom);
    window->startRun(report);
    window->show();

    QEventLoop loop;
    QObject::connect(window.get(), &ReportPreviewWindow::closed, &loop, &QEventLoop::quit);
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, &loop, &QEventLoop::quit);
    // QCoreApplication::exit() ends every running loop, this one included.
    if (window->isVisible() && !QCoreApplication::closingDown())
        loop.exec();

    const std::exception_ptr error = window->runError();
    window->hide();
    window.reset();
    if (error)
        std::rethrow_exception(error);
}
