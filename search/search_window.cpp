// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/search_window.h"

#include "controls/db_grid.h"
#include "core/exceptions.h"
#include "data/data_module.h"
#include "exchange/formats/table_writer.h"
#include "exchange/query_rows.h"
#include "search/column_fit.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"

#include "ui_search_window.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFontMetrics>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QProgressDialog>
#include <QSettings>

namespace {

// A title whose kind is gone is still found, with no kind shown.
const QString softwareFrom = QStringLiteral(
    "FROM softs LEFT JOIN categorias ON categorias.id_categoria = softs.categoria, cds");
const QString mediaFrom = QStringLiteral("FROM cds");
const QString stoppedStatus =
    QStringLiteral("Pesquisa interrompida; o resultado anterior foi mantido.");

// The column holds the bound text anywhere in it; without regard to accents when asked. The
// text is bound as a value, so a quote in it matches itself; "%" and "_" stay wildcards on
// purpose.
QString contains(const QString &column, const TADOConnection *accentFree)
{
    const QString pattern = QStringLiteral(":texto");
    return accentFree ? accentFree->accentFreeLike(column, pattern)
                      : column + QStringLiteral(" like ") + pattern;
}

QString softwareWhere(const TADOConnection *accentFree)
{
    return QStringLiteral("where ") + contains(QStringLiteral("nome"), accentFree) +
           QStringLiteral(" and softs.midia = cds.codigo");
}

QString mediaWhere(const TADOConnection *accentFree)
{
    return QStringLiteral("where ") + contains(QStringLiteral("titulo"), accentFree);
}

TADOQuery::Parameters searchParameters(const QString &text)
{
    return {{QStringLiteral("texto"), QString(u'%' + text + u'%')}};
}

// The check box's last state, kept for the next search window.
const QString ignoreAccentsKey = QStringLiteral("busca/ignorarAcentos");

QSettings userSettings()
{
    return QSettings(QStringLiteral("quivel"), QStringLiteral("quivel"));
}

// Suspends the dataset's updates of bound controls for a scope, whatever leaves it.
class ControlsSuspended
{
public:
    explicit ControlsSuspended(TADOQuery &dataSet)
        : m_dataSet(dataSet)
    {
        m_dataSet.disableControls();
    }
    ~ControlsSuspended() { m_dataSet.enableControls(); }
    ControlsSuspended(const ControlsSuspended &) = delete;
    ControlsSuspended &operator=(const ControlsSuspended &) = delete;

private:
    TADOQuery &m_dataSet;
};

// While a long search runs the window keeps painting and counts the rows found so far, and
// Esc stops the search. Other input is held back: nothing else may start while the result
// is being read. The read and the column fit after it share the window's clock of when the
// event loop was last served, so the hand-over between them holds it no longer.
class SearchProgress : public QObject
{
public:
    SearchProgress(QWidget &window, QLabel &status, QElapsedTimer &served)
        : m_window(window)
        , m_status(status)
        , m_served(served)
    {
        QCoreApplication::instance()->installEventFilter(this);
        m_clock.start();
    }
    ~SearchProgress() override { QCoreApplication::instance()->removeEventFilter(this); }
    SearchProgress(const SearchProgress &) = delete;
    SearchProgress &operator=(const SearchProgress &) = delete;

    // A search's first step always reports, so the count shows at once.
    bool step(int rows)
    {
        if (m_reported && !due())
            return !m_stopped;
        m_reported = true;
        // The first search runs before the window is shown; a long one shows it early.
        if (!m_window.isVisible() && m_clock.elapsed() >= showAfterMs) {
            m_window.setWindowModality(Qt::ApplicationModal);
            m_window.show();
        }
        m_status.setText(QStringLiteral("AGUARDE... PESQUISANDO... %1 registros encontrados "
                                        "(Esc interrompe)")
                             .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(rows)));
        serve();
        return !m_stopped;
    }

    void keepPainting()
    {
        if (due())
            serve();
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape)
                m_stopped = true;
            return true;
        case QEvent::Close:
            if (watched == &m_window)
                m_stopped = true;
            event->ignore();
            return true;
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            return true;
        default:
            return QObject::eventFilter(watched, event);
        }
    }

private:
    // A quarter of the tenth of a second past which a window looks frozen: the rest is room
    // for the longest single step of a read or a fit on a busy machine.
    static constexpr qint64 serveIntervalMs = 25;
    static constexpr qint64 showAfterMs = 300;

    bool due() const { return !m_served.isValid() || m_served.elapsed() >= serveIntervalMs; }

    // The interval counts from the start of a serve: one that paints much (the window's first
    // paint, a new result) leaves that much less of it to the work that follows.
    void serve()
    {
        m_served.start();
        QCoreApplication::processEvents();
    }

    QWidget &m_window;
    QLabel &m_status;
    QElapsedTimer &m_served;
    QElapsedTimer m_clock;
    bool m_reported = false;
    bool m_stopped = false;
};

} // namespace

TForm4::TForm4(QWidget *owner, const QString &text, int kind, TDm1 &dm)
    : QDialog(owner)
    , m_ui(std::make_unique<Ui::TForm4>())
    , m_dm(dm)
{
    m_ui->setupUi(this);
    finishFormLayout(this);
    setFixedFrame(this);

    m_statusPanel = new QLabel(m_ui->StBar);
    m_statusPanel->setObjectName(QStringLiteral("StBarPanel"));
    m_statusPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_ui->StBar->addWidget(m_statusPanel, 1);

    m_ui->DBGrid1->setDataSource(&m_dm.DataSource6);
    connect(m_ui->BitBtn1, &QPushButton::clicked, this, guarded([this] { BitBtn1Click(); }));
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, guarded([this] { BitBtn2Click(); }));
    m_ui->PesquisaAtual->installEventFilter(this);
    m_ui->IgnorarAcentos->setChecked(userSettings().value(ignoreAccentsKey, false).toBool());
    connect(m_ui->IgnorarAcentos, &QCheckBox::toggled, this,
            [](bool on) { userSettings().setValue(ignoreAccentsKey, on); });

    auto *exportAction = new QAction(QStringLiteral("E&xportar resultados..."), this);
    exportAction->setObjectName(QStringLiteral("ExportarResultados"));
    exportAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    exportAction->setShortcutContext(Qt::WindowShortcut);
    addAction(exportAction);
    connect(exportAction, &QAction::triggered, this, guarded([this] { askExportResults(); }));
    m_ui->DBGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_ui->DBGrid1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint &position) { showGridMenu(position); });
    m_ui->DBGrid1->horizontalHeader()->setSectionsClickable(true);
    connect(m_ui->DBGrid1->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { guarded([this, column] { sortByColumn(column); })(); });
    // Watched on the viewport: the first click moves the current record, which may reload the
    // grid's rows and make the view forget the index the double click began on.
    m_ui->DBGrid1->viewport()->installEventFilter(this);

    TextoBusca = text;
    TipoBusca = kind;
    m_ui->PesquisaAtual->setText(text);
    setStatus(QStringLiteral("AGUARDE... PESQUISANDO..."));
    bool completed = true;
    if (TipoBusca == SoftwareSearch && !m_ui->PesquisaAtual->text().isEmpty()) {
        SqlBusca = QStringLiteral("SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS "
                                  "DESCRIÇÃO, nome_categoria AS CATEGORIA, titulo AS MÍDIA, tipo "
                                  "AS TIPO_MÍDIA");
        completed = runStatement(SqlBusca, softwareFrom, softwareWhere(accentFree()));
        if (completed) {
            setWindowTitle(QStringLiteral("Busca - Softwares"));
            AjustaColunas(*m_ui->DBGrid1);
        }
    }
    if (TipoBusca == MediaSearch && !m_ui->PesquisaAtual->text().isEmpty()) {
        SqlBusca = QStringLiteral("SELECT *");
        completed = runStatement(SqlBusca, mediaFrom, mediaWhere(accentFree()));
        if (completed) {
            setWindowTitle(QStringLiteral("Busca - Mídias"));
            AjustaColunas(*m_ui->DBGrid1);
        }
    }
    setStatus(completed ? QStringLiteral("Concluido!") : stoppedStatus);
    m_ui->PesquisaAtual->setFocus();
}

TForm4::~TForm4() = default;

bool TForm4::runStatement(const QString &firstLine, const QString &from, const QString &where)
{
    // A new search starts unsorted.
    m_unsortedLines.clear();
    m_sortColumn = -1;
    m_ui->DBGrid1->horizontalHeader()->setSortIndicatorShown(false);
    // The fit after the read needs its font's bounds: the first search in a font has another
    // thread learn them while the rows are read.
    if (!m_learning)
        m_learning = std::make_unique<ColumnFit::Learning>(m_ui->DBGrid1->titleFont());
    return runLines({firstLine, from, where});
}

bool TForm4::runLines(const QStringList &lines)
{
    TADOQuery &query = m_dm.ADOQuery6;
    try {
        SearchProgress progress(*this, *m_statusPanel, m_served);
        // Served before the read begins, so that making the window is not one wait with
        // preparing the statement and reading its first rows; Esc meanwhile stops it at once.
        if (!progress.step(0))
            return false;
        return query.openInSteps(lines, searchParameters(TextoBusca),
                                 [&progress](int rows) { return progress.step(rows); });
    } catch (...) {
        // A failed search leaves its statement and no result.
        query.setSql(lines);
        for (auto [name, value] : searchParameters(TextoBusca).asKeyValueRange())
            query.setParameter(name, value);
        setStatus(QStringLiteral("AGUARDE... PESQUISANDO..."));
        throw;
    }
}

const TADOConnection *TForm4::accentFree()
{
    if (!m_ui->IgnorarAcentos->isChecked())
        return nullptr;
    // The wording is the engine's: a catalogue that could not be opened at start is tried
    // again now, and fails as any search would.
    if (!m_dm.ADOConnection1.connected())
        m_dm.ADOConnection1.open();
    return &m_dm.ADOConnection1;
}

// The engine sorts: a result of any size is read again in the new order, with the same
// progress and Esc as a search, and the column widths the user sees stay.
void TForm4::sortByColumn(int column)
{
    TADOQuery &query = m_dm.ADOQuery6;
    if (!query.active() || column < 0 || column >= query.fieldCount())
        return;
    const bool descending = column == m_sortColumn && !m_sortDescending;
    const QStringList base = m_unsortedLines.isEmpty() ? query.sql() : m_unsortedLines;
    std::vector<int> widths;
    for (int i = 0; i < m_ui->DBGrid1->columnCount(); ++i)
        widths.push_back(m_ui->DBGrid1->columnWidth(i));
    // Positions, not names: the titles carry accents and aliases the engines quote apart.
    QStringList lines = base;
    if (!lines.isEmpty() && lines.last().trimmed().endsWith(u';'))
        lines.last() = lines.last().trimmed().chopped(1);
    lines.append(QStringLiteral("ORDER BY %1 %2")
                     .arg(column + 1)
                     .arg(descending ? QStringLiteral("DESC") : QStringLiteral("ASC")));
    setStatus(QStringLiteral("AGUARDE... ORDENANDO..."));
    if (!runLines(lines)) {
        setStatus(QStringLiteral("Ordenação interrompida; a ordem anterior foi mantida."));
        return;
    }
    m_unsortedLines = base;
    m_sortColumn = column;
    m_sortDescending = descending;
    for (size_t i = 0; i < widths.size() && int(i) < m_ui->DBGrid1->columnCount(); ++i)
        m_ui->DBGrid1->setColumnWidth(int(i), widths[i]);
    QHeaderView *header = m_ui->DBGrid1->horizontalHeader();
    header->setSortIndicatorShown(true);
    header->setSortIndicator(column, descending ? Qt::DescendingOrder : Qt::AscendingOrder);
    setStatus(QStringLiteral("Ordenado por %1 (%2).")
                  .arg(m_ui->DBGrid1->columnTitle(column),
                       descending ? QStringLiteral("decrescente") : QStringLiteral("crescente")));
}

void TForm4::openResult(int record)
{
    TADOQuery &query = m_dm.ADOQuery6;
    if (!m_openRecord || !query.active() || record < 0 || record >= query.recordCount() ||
        query.fieldCount() == 0)
        return;
    // Both searches put the record's code first: the title's number, the medium's code.
    bool ok = false;
    const qint64 code = query.valueAt(record, 0).toLongLong(&ok);
    if (ok)
        m_openRecord(TipoBusca, code);
}

void TForm4::showGridMenu(const QPoint &position)
{
    QMenu menu(this);
    for (QAction *action : actions())
        menu.addAction(action);
    menu.exec(m_ui->DBGrid1->viewport()->mapToGlobal(position));
}

void TForm4::askExportResults()
{
    const QStringList filters = Exchange::formatFilters();
    QString filter = filters.first();
    QString path =
        QFileDialog::getSaveFileName(this, QStringLiteral("Exportar resultados"), QString(),
                                     filters.join(QStringLiteral(";;")), &filter);
    if (path.isEmpty())
        return;
    const auto format = Exchange::formatOfFilter(filter);
    if (!Exchange::formatOf(path) && format)
        path += u'.' + Exchange::extensionOf(*format);
    const bool comma = filter.contains(QStringLiteral("vírgula)")) &&
                       !filter.contains(QStringLiteral("ponto e vírgula"));
    if (exportResults(path, comma ? ',' : ';'))
        setStatus(QStringLiteral("Resultados exportados para %1.").arg(path));
}

bool TForm4::exportResults(const QString &path, char separator)
{
    TADOQuery &query = m_dm.ADOQuery6;
    QStringList titles;
    for (int i = 0; i < m_ui->DBGrid1->columnCount(); ++i)
        titles.append(m_ui->DBGrid1->columnTitle(i));
    Exchange::QueryRows rows(query, titles);
    QProgressDialog progress(QStringLiteral("Exportando os resultados..."),
                             QStringLiteral("Interromper"), 0,
                             int(qMax<qint64>(1, rows.rowCount())), this);
    progress.setWindowTitle(windowTitle());
    progress.setMinimumDuration(500);
    Exchange::WriteOptions options;
    options.title = windowTitle();
    options.separator = separator;
    options.progress = [&progress](qint64 written) {
        progress.setValue(int(written));
        return !progress.wasCanceled();
    };
    try {
        return Exchange::writeTable(rows, path, options);
    } catch (const Exchange::ExchangeError &e) {
        throw Exception(e.message());
    }
}

void TForm4::ExecutaPesquisa()
{
    TextoBusca = m_ui->PesquisaAtual->text();
    setStatus(QStringLiteral("AGUARDE... PESQUISANDO..."));
    if (TipoBusca == 1) {
        SqlBusca = QStringLiteral("SELECT softs.numero AS CODIGO, softs.nome AS APLICATIVO, "
                                  "softs.descricao AS DESCRIÇÃO, categorias.nome_categoria AS "
                                  "CATEGORIA, cds.titulo AS MÍDIA, tipo AS TIPO_MÍDIA");
        if (!runStatement(SqlBusca, softwareFrom, softwareWhere(accentFree()))) {
            setStatus(stoppedStatus);
            return;
        }
        setWindowTitle(QStringLiteral("Busca - Softwares"));
        AjustaColunas(*m_ui->DBGrid1);
    }
    if (TipoBusca == 2) {
        SqlBusca = QStringLiteral("SELECT *");
        if (!runStatement(SqlBusca, mediaFrom, mediaWhere(accentFree()))) {
            setStatus(stoppedStatus);
            return;
        }
        setWindowTitle(QStringLiteral("Busca - Mídias"));
        AjustaColunas(*m_ui->DBGrid1);
    }
    setStatus(QStringLiteral("Pesquisa Concluida!"));
}

// Titles and values alike are measured in the title font, the one the grid last laid out.
void TForm4::AjustaColunas(TDBGrid &grid)
{
    const QFont font = grid.titleFont();
    const QFontMetrics metrics(font);
    std::vector<int> widths;
    for (int i = 0; i < grid.columnCount(); ++i)
        widths.push_back(metrics.horizontalAdvance(grid.columnTitle(i)));

    TADOQuery *dataSet = grid.dataSet();
    if (!dataSet)
        return;
    const ControlsSuspended suspended(*dataSet);
    if (!dataSet->eof()) {
        // The new result is in place by now, so Esc no longer stops anything; the window
        // only keeps painting while a long fit runs.
        SearchProgress painting(*this, *m_statusPanel, m_served);
        ColumnFit::Options options;
        options.tick = [&painting] { painting.keepPainting(); };
        if (m_learning) {
            m_learning->wait(options.tick);
            m_learning.reset();
        }
        ColumnFit::widenToTexts(*dataSet, dataSet->recNo(), font, widths, options);
    }
    for (size_t i = 0; i < widths.size(); ++i)
        grid.setColumnWidth(int(i), widths[i] + 10);
    dataSet->first();
}

void TForm4::BitBtn1Click()
{
    close();
}

void TForm4::BitBtn2Click()
{
    ExecutaPesquisa();
}

void TForm4::PesquisaAtualKeyPress(QChar &key)
{
    if (key == QChar(13) && !m_ui->PesquisaAtual->text().isEmpty()) {
        ExecutaPesquisa();
        key = QChar(0);
    }
}

QString TForm4::statusText() const
{
    return m_statusPanel->text();
}

void TForm4::setStatus(const QString &text)
{
    m_statusPanel->setText(text);
}

bool TForm4::eventFilter(QObject *watched, QEvent *event)
{
    // Under X11 an edit box takes Ctrl+E for the end of its line; here it exports.
    if (watched == m_ui->PesquisaAtual && event->type() == QEvent::ShortcutOverride) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_E)) {
            event->ignore();
            return true;
        }
    }
    if (watched == m_ui->DBGrid1->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        const QModelIndex index = m_ui->DBGrid1->indexAt(mouse->position().toPoint());
        if (mouse->button() == Qt::LeftButton && index.isValid()) {
            guarded([this, row = index.row()] { openResult(row); })();
            return true;
        }
    }
    if (watched == m_ui->PesquisaAtual && event->type() == QEvent::KeyPress) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        if (keyEvent->key() == Qt::Key_Return || keyEvent->key() == Qt::Key_Enter) {
            QChar key(13);
            guarded([this, &key] { PesquisaAtualKeyPress(key); })();
            return key.isNull();
        }
    }
    return QDialog::eventFilter(watched, event);
}

// No button cancels this window: Esc does nothing.
void TForm4::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TForm4::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        centreOnDesktop(this);
}
