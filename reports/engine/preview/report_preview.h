// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "reports/engine/page_model.h"
#include "reports/engine/preview/report_painter.h"
#include "reports/engine/preview/report_rows.h"
#include "reports/engine/quick_rep.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPrinter>

#include <exception>
#include <memory>

class QLabel;
class QListView;
class QListWidget;
class QProgressDialog;
class QScrollArea;
class QTabWidget;
class QTimer;
class ReportLayouter;
class ReportPageView;
class ReportThumbnailModel;

// Shows a message from the preview (a failed save, an unreadable file). The program routes it
// through its own dialog seam; tests catch it. nullptr restores the default message box.
using ReportMessageHandler = void (*)(QWidget *parent, const QString &message);
ReportMessageHandler setReportMessageHandler(ReportMessageHandler handler);

// Asks a question from the preview (printing with no printer installed); true for yes, with
// no as the default answer. The program routes it through its own dialog seam as well.
using ReportQuestionHandler = bool (*)(QWidget *parent, const QString &question);
ReportQuestionHandler setReportQuestionHandler(ReportQuestionHandler handler);

// Lays the report out in slices from the event loop while showing the preview window, and
// returns only when that window has been closed or the application is quitting. Failures of
// the report (a field the dataset lacks, a dataset error during the run) are rethrown here as
// ReportError or the dataset's own exception.
void Preview(const TQuickRep &report);

// The standard preview window: pages of a running or loaded report, thumbnails, search,
// printing, saving and loading.
class ReportPreviewWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit ReportPreviewWindow(const QString &reportTitle, TQRZoomState zoom = qrZoomToFit,
                                 QWidget *parent = nullptr);
    ~ReportPreviewWindow() override;

    // Starts laying the report out in slices; throws ReportError when it cannot run.
    void startRun(const TQuickRep &report);
    // Shows a laid-out or loaded report, ending any run.
    void setDocument(std::shared_ptr<ReportDocument> document);
    bool running() const;
    // Lays out the rest of the report (before printing or saving all of it), showing progress;
    // false when the user stopped it.
    bool finishRun();
    std::exception_ptr runError() const { return m_runError; }

    const ReportDocument &document() const { return *m_document; }
    int pageCount() const;
    int currentPage() const { return m_currentPage; } // 0-based
    void showPage(int index);

    void zoomToFit();
    void zoomToWidth();
    void zoom100();
    double zoom() const; // pixels per millimetre

    // The search behind "Search for Text"; returns the number of hits listed.
    int searchText(const QString &text);
    void showSearchResult(int row);

    // Behind "Save report" and "Load report"; throw ReportError. A ".pdf" path saves a PDF;
    // ".xlsx", ".ods", ".csv" and ".html" save the report's rows as a table (the CSV with
    // the separator given). False when the user stopped it.
    bool saveTo(const QString &path, char separator = ';');
    void loadFrom(const QString &path);

Q_SIGNALS:
    void closed();
    void pagesChanged();

protected:
    void closeEvent(QCloseEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildToolBar();
    void fitFrame();
    void runSlice();
    void applyZoom();
    void updateStatus();
    void selectPage();
    void askSearch();
    // The printer, on the report's paper until a dialog changes it.
    QPrinter &printer();
    void printerSetup();
    void print();
    void askSave();
    void askLoad();
    template <typename Action> void guarded(Action action);
    static PageProgress outputProgress(QProgressDialog &dialog, const QString &what);

    std::shared_ptr<ReportDocument> m_document;
    // The running report's rows, for saving them as a table; empty for a loaded report.
    ReportTable m_table;
    std::unique_ptr<ReportLayouter> m_layouter;
    std::exception_ptr m_runError;
    QTimer *m_runTimer = nullptr;
    QElapsedTimer m_thumbnailsTold;
    ReportPageView *m_pageView = nullptr;
    QScrollArea *m_scrollArea = nullptr;
    QTabWidget *m_sidePanel = nullptr;
    QListView *m_thumbnails = nullptr;
    ReportThumbnailModel *m_thumbnailModel = nullptr;
    QListWidget *m_searchResults = nullptr;
    QLabel *m_progressLabel = nullptr;
    QLabel *m_pageLabel = nullptr;
    // The printer starts on the report's paper; a choice made in a dialog stays afterwards.
    std::unique_ptr<QPrinter> m_printer;
    TQRZoomState m_zoomMode = qrZoomToFit;
    int m_currentPage = 0;
    bool m_sized = false;
    int m_frameLooks = 0;
    bool m_busy = false; // saving or printing
};
