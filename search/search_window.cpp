// SPDX-License-Identifier: GPL-3.0-or-later
#include "search/search_window.h"

#include "controls/db_grid.h"
#include "data/data_module.h"
#include "search/column_fit.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"

#include "ui_search_window.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>

namespace {

const QString softwareFrom = QStringLiteral("FROM softs, cds");
const QString mediaFrom = QStringLiteral("FROM cds");
const QString stoppedStatus =
    QStringLiteral("Pesquisa interrompida; o resultado anterior foi mantido.");

// The text goes between the LIKE pattern's quotes: a quote in it is doubled so it matches
// itself; "%" and "_" stay wildcards on purpose. A NUL character, which no SQL text may hold,
// is joined in as the character it is.
QString escapedForStringLiteral(const QString &text)
{
    QString result = text;
    result.replace(u'\'', QStringLiteral("''"));
    return result.replace(QChar(0), QStringLiteral("' || char(0) || '"));
}

QString softwareWhere(const QString &text)
{
    return QStringLiteral("where nome like '%") + escapedForStringLiteral(text) +
           QStringLiteral("%' and softs.midia = cds.codigo");
}

QString mediaWhere(const QString &text)
{
    return QStringLiteral("where titulo like '%") + escapedForStringLiteral(text) +
           QStringLiteral("%'");
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

    void serve()
    {
        QCoreApplication::processEvents();
        m_served.start();
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

    TextoBusca = text;
    TipoBusca = kind;
    m_ui->PesquisaAtual->setText(text);
    setStatus(QStringLiteral("AGUARDE... PESQUISANDO..."));
    bool completed = true;
    if (TipoBusca == SoftwareSearch && !m_ui->PesquisaAtual->text().isEmpty()) {
        SqlBusca = QStringLiteral("SELECT numero AS CÓDIGO, nome AS APLICATIVO, descricao AS "
                                  "DESCRIÇÃO, titulo AS MÍDIA, tipo AS TIPO_MÍDIA");
        completed = runStatement(SqlBusca, softwareFrom, softwareWhere(TextoBusca));
        if (completed) {
            setWindowTitle(QStringLiteral("Busca - Softwares"));
            AjustaColunas(*m_ui->DBGrid1);
        }
    }
    if (TipoBusca == MediaSearch && !m_ui->PesquisaAtual->text().isEmpty()) {
        SqlBusca = QStringLiteral("SELECT *");
        completed = runStatement(SqlBusca, mediaFrom, mediaWhere(TextoBusca));
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
    TADOQuery &query = m_dm.ADOQuery6;
    try {
        SearchProgress progress(*this, *m_statusPanel, m_served);
        return query.openInSteps({firstLine, from, where},
                                 [&progress](int rows) { return progress.step(rows); });
    } catch (...) {
        // A failed search leaves its statement and no result.
        query.setSql({firstLine, from, where});
        setStatus(QStringLiteral("AGUARDE... PESQUISANDO..."));
        throw;
    }
}

void TForm4::ExecutaPesquisa()
{
    TextoBusca = m_ui->PesquisaAtual->text();
    setStatus(QStringLiteral("AGUARDE... PESQUISANDO..."));
    if (TipoBusca == 1) {
        SqlBusca = QStringLiteral("SELECT softs.numero AS CODIGO, softs.nome AS APLICATIVO, "
                                  "softs.descricao AS DESCRIÇÃO, cds.titulo AS MÍDIA, tipo AS "
                                  "TIPO_MÍDIA");
        if (!runStatement(SqlBusca, softwareFrom, softwareWhere(TextoBusca))) {
            setStatus(stoppedStatus);
            return;
        }
        setWindowTitle(QStringLiteral("Busca - Softwares"));
        AjustaColunas(*m_ui->DBGrid1);
    }
    if (TipoBusca == 2) {
        SqlBusca = QStringLiteral("SELECT *");
        if (!runStatement(SqlBusca, mediaFrom, mediaWhere(TextoBusca))) {
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
