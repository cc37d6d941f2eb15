// SPDX-License-Identifier: GPL-3.0-or-later
#include "exchange/window/exchange_window.h"

#include "core/exceptions.h"
#include "data/data_module.h"
#include "data/engine/backend.h"
#include "exchange/catalogue_exchange.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"

#include "ui_exchange_window.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLocale>
#include <QProgressDialog>
#include <QShowEvent>

#include <array>

namespace {

const QString noColumn = QStringLiteral("(nenhuma)");

// Every failure of this window reaches the user through the program's one error seam.
template <typename Action> auto asProgramError(Action action)
{
    try {
        return action();
    } catch (const Exchange::ExchangeError &e) {
        throw Exception(e.message());
    }
}

// A progress window for a long export or import, with a button that stops it. Without a
// total it counts the lines done.
class Progress
{
public:
    Progress(QWidget *parent, const QString &text, qint64 total)
        : m_dialog(text, QStringLiteral("Interromper"), 0,
                   int(qBound(qint64(0), total, qint64(INT_MAX))), parent)
        , m_text(text)
    {
        m_dialog.setWindowTitle(parent->windowTitle());
        m_dialog.setWindowModality(Qt::WindowModal);
        m_dialog.setMinimumDuration(400);
        m_clock.start();
    }
    Exchange::Progress callback()
    {
        return [this](qint64 done) {
            if (m_dialog.maximum() > 0) {
                m_dialog.setValue(int(qMin<qint64>(done, m_dialog.maximum())));
            } else {
                m_dialog.setLabelText(
                    QStringLiteral("%1 %2 linhas")
                        .arg(m_text)
                        .arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(done)));
                if (!m_dialog.isVisible() && m_clock.elapsed() >= 400)
                    m_dialog.show();
                QCoreApplication::processEvents();
            }
            return !m_dialog.wasCanceled();
        };
    }

private:
    QProgressDialog m_dialog;
    QString m_text;
    QElapsedTimer m_clock;
};

// The wait cursor while a copy runs in one step, on every way out.
class BusyCursor
{
public:
    BusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QGuiApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor &) = delete;
    BusyCursor &operator=(const BusyCursor &) = delete;
};

} // namespace

ExchangeWindow::ExchangeWindow(TDm1 &dm, QWidget *parent)
    : QDialog(parent)
    , m_ui(std::make_unique<Ui::ExchangeWindow>())
    , m_dm(dm)
{
    m_ui->setupUi(this);
    finishFormLayout(this);
    const TADOConnection &connection = m_dm.ADOConnection1;
    m_ui->CatalogueLabel->setText(QStringLiteral("Catálogo em uso: %1").arg(connection.path()));
    m_ui->RestoreButton->setEnabled(catalogueIsFile());
    if (!catalogueIsFile())
        m_ui->RestoreButton->setToolTip(QStringLiteral("A restauração só é feita em catálogos em "
                                                       "arquivo"));
    for (QComboBox *box :
         {m_ui->NameColumn, m_ui->DescriptionColumn, m_ui->MediumColumn, m_ui->TypeColumn})
        box->setEnabled(false);
    m_ui->CreateMedia->setEnabled(false);
    m_ui->CheckButton->setEnabled(false);
    m_ui->Preview->setAccessibleName(QStringLiteral("Resultado da verificação"));

    connect(m_ui->ExportButton, &QPushButton::clicked, this, guarded([this] { askExport(); }));
    connect(m_ui->ChooseFileButton, &QPushButton::clicked, this,
            guarded([this] { askImportFile(); }));
    connect(m_ui->CheckButton, &QPushButton::clicked, this, guarded([this] { checkImport(); }));
    connect(m_ui->ImportButton, &QPushButton::clicked, this,
            guarded([this] { importValidLines(); }));
    connect(m_ui->DiscardButton, &QPushButton::clicked, this, guarded([this] { discardImport(); }));
    connect(m_ui->BackupButton, &QPushButton::clicked, this, guarded([this] { askBackup(); }));
    connect(m_ui->RestoreButton, &QPushButton::clicked, this, guarded([this] { askRestore(); }));
    connect(m_ui->CloseButton, &QPushButton::clicked, this, [this] { close(); });
    // A change of column or of the media choice makes the last preview stale.
    for (QComboBox *box :
         {m_ui->NameColumn, m_ui->DescriptionColumn, m_ui->MediumColumn, m_ui->TypeColumn})
        connect(box, &QComboBox::activated, this, [this] { setImportReady(false); });
    connect(m_ui->CreateMedia, &QCheckBox::toggled, this, [this] { setImportReady(false); });
}

ExchangeWindow::~ExchangeWindow() = default;

bool ExchangeWindow::catalogueIsFile() const
{
    return !Backend::namesServer(m_dm.ADOConnection1.connectionString());
}

void ExchangeWindow::setStatus(const QString &text)
{
    m_ui->StatusLabel->setText(text);
}

QString ExchangeWindow::statusText() const
{
    return m_ui->StatusLabel->text();
}

QString ExchangeWindow::previewText() const
{
    return m_ui->Preview->toPlainText();
}

void ExchangeWindow::askExport()
{
    const QStringList filters = Exchange::formatFilters();
    QString filter = filters.first();
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Exportar o catálogo"),
                                                QStringLiteral("catalogo.xlsx"),
                                                filters.join(QStringLiteral(";;")), &filter);
    if (path.isEmpty())
        return;
    const auto format = Exchange::formatOfFilter(filter);
    if (!Exchange::formatOf(path) && format)
        path += u'.' + Exchange::extensionOf(*format);
    const bool comma = filter.contains(QStringLiteral("por vírgula"));
    exportTo(path, comma ? ',' : ';');
}

bool ExchangeWindow::exportTo(const QString &path, char separator)
{
    Progress progress(this, QStringLiteral("Exportando o catálogo..."), 0);
    Exchange::WriteOptions options;
    options.separator = separator;
    options.progress = progress.callback();
    const bool done = asProgramError(
        [&] { return Exchange::exportCatalogue(m_dm.ADOConnection1, path, options); });
    setStatus(done ? QStringLiteral("Catálogo exportado para %1.").arg(path)
                   : QStringLiteral("Exportação interrompida; nenhum arquivo foi gravado."));
    return done;
}

void ExchangeWindow::askImportFile()
{
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Escolher a planilha"), QString(),
        QStringLiteral("Planilhas e textos (*.xlsx *.ods *.csv *.txt);;Todos os arquivos (*)"));
    if (!path.isEmpty())
        loadImport(path);
}

void ExchangeWindow::loadImport(const QString &path)
{
    discardImport();
    m_import = asProgramError([&] { return std::make_unique<Exchange::TitleImport>(path); });
    QString label = QStringLiteral("Planilha: %1 (%2 linhas além dos títulos)")
                        .arg(path)
                        .arg(m_import->lineCount());
    if (!m_import->details().isEmpty())
        label += QStringLiteral(", lida como texto %1").arg(m_import->details());
    m_ui->ImportFileLabel->setText(label + u'.');
    fillColumnChoices();
    for (QComboBox *box :
         {m_ui->NameColumn, m_ui->DescriptionColumn, m_ui->MediumColumn, m_ui->TypeColumn})
        box->setEnabled(true);
    m_ui->CreateMedia->setEnabled(true);
    m_ui->CheckButton->setEnabled(true);
    checkImport();
}

void ExchangeWindow::fillColumnChoices()
{
    const Exchange::ImportMapping guessed = m_import->guessMapping();
    const std::array<QComboBox *, Exchange::importFieldCount> boxes = {
        m_ui->NameColumn, m_ui->DescriptionColumn, m_ui->MediumColumn, m_ui->TypeColumn};
    for (size_t f = 0; f < boxes.size(); ++f) {
        QComboBox *box = boxes[f];
        box->clear();
        box->addItem(noColumn, -1);
        for (int i = 0; i < int(m_import->headers().size()); ++i) {
            const QString title = m_import->headers()[i];
            box->addItem(title.isEmpty() ? QStringLiteral("(coluna %1)").arg(i + 1) : title, i);
        }
        box->setCurrentIndex(box->findData(guessed.column[f]));
    }
}

Exchange::ImportMapping ExchangeWindow::chosenMapping() const
{
    Exchange::ImportMapping mapping;
    const std::array<QComboBox *, Exchange::importFieldCount> boxes = {
        m_ui->NameColumn, m_ui->DescriptionColumn, m_ui->MediumColumn, m_ui->TypeColumn};
    for (size_t f = 0; f < boxes.size(); ++f)
        mapping.column[f] = boxes[f]->currentData().toInt();
    mapping.createMedia = m_ui->CreateMedia->isChecked();
    return mapping;
}

void ExchangeWindow::setImportReady(bool ready)
{
    if (!ready)
        m_plan.reset();
    m_ui->ImportButton->setEnabled(ready && m_plan && !m_plan->titles.empty());
    m_ui->DiscardButton->setEnabled(ready && m_plan.has_value());
}

void ExchangeWindow::checkImport()
{
    if (!m_import)
        return;
    setImportReady(false);
    try {
        m_dm.ADOConnection1.completePendingReads();
        m_plan = m_import->plan(m_dm.ADOConnection1.backend(), chosenMapping());
    } catch (const Exchange::ExchangeError &e) {
        // A column still to choose: said where the list would be, not as a failure.
        m_ui->Preview->setPlainText(withFinalPeriod(e.message()));
        setStatus(QString());
        return;
    }
    m_ui->Preview->setPlainText(Exchange::describePlan(*m_plan).join(u'\n'));
    setImportReady(true);
    setStatus(m_plan->titles.empty()
                  ? QStringLiteral("Nenhuma linha pode ser importada.")
                  : QStringLiteral("Confira a lista e escolha importar as linhas válidas ou "
                                   "não importar nada."));
}

bool ExchangeWindow::importValidLines()
{
    if (!m_plan || m_plan->titles.empty())
        return false;
    if (m_dm.ADOQuery1.state() != TDataSetState::Browse && m_dm.ADOQuery1.active())
        throw Exception(QStringLiteral("Salve ou cancele a mídia em edição antes de importar"));
    if (m_dm.ADOQuery2.state() != TDataSetState::Browse && m_dm.ADOQuery2.active())
        throw Exception(QStringLiteral("Salve ou cancele o título em edição antes de importar"));
    Progress progress(this, QStringLiteral("Importando..."),
                      qint64(m_plan->titles.size() + m_plan->newMedia.size()));
    const bool done = Exchange::applyImport(m_dm.ADOConnection1, *m_plan, progress.callback());
    if (!done) {
        setStatus(QStringLiteral("Importação interrompida; o catálogo ficou como estava."));
        return false;
    }
    setStatus(QStringLiteral("%1 título(s) e %2 mídia(s) importados.")
                  .arg(m_plan->titles.size())
                  .arg(m_plan->newMedia.size()));
    reopenQueries();
    // The same lines would now be duplicates: a new import starts from a new check.
    setImportReady(false);
    m_ui->Preview->appendPlainText(QStringLiteral("\nImportação concluída."));
    return true;
}

void ExchangeWindow::discardImport()
{
    setImportReady(false);
    if (m_import)
        setStatus(QStringLiteral("Nada foi importado."));
}

void ExchangeWindow::askBackup()
{
    const QString suggested =
        m_dm.ADOConnection1.path() + QStringLiteral(".copia-") +
        QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Fazer uma cópia de segurança"),
        catalogueIsFile() ? suggested : QStringLiteral("copia-do-catalogo.mdb"));
    if (!path.isEmpty())
        backupTo(path);
}

void ExchangeWindow::backupTo(const QString &path)
{
    const TADOConnection &connection = m_dm.ADOConnection1;
    const QString catalogue = catalogueIsFile() ? connection.path() : connection.connectionString();
    const BusyCursor busy;
    const Exchange::BackupResult result = Exchange::backupCatalogue(catalogue, path);
    setStatus(QStringLiteral("Cópia de segurança verificada em %1: %2 mídia(s) e %3 título(s).")
                  .arg(result.path)
                  .arg(result.media)
                  .arg(result.titles));
}

void ExchangeWindow::askRestore()
{
    const QString path =
        QFileDialog::getOpenFileName(this, QStringLiteral("Restaurar uma cópia de segurança"));
    if (!path.isEmpty())
        restoreFrom(path);
}

bool ExchangeWindow::restoreFrom(const QString &path)
{
    if (!catalogueIsFile())
        throw Exception(QStringLiteral("A restauração só é feita em catálogos em arquivo"));
    if ((m_dm.ADOQuery1.active() && m_dm.ADOQuery1.state() != TDataSetState::Browse) ||
        (m_dm.ADOQuery2.active() && m_dm.ADOQuery2.state() != TDataSetState::Browse))
        throw Exception(QStringLiteral("Salve ou cancele o registro em edição antes de restaurar "
                                       "uma cópia"));
    if (askYesNo(QStringLiteral("Restaurar a cópia %1 no lugar do catálogo em uso? O catálogo "
                                "atual será guardado ao lado dele antes.")
                     .arg(path),
                 windowTitle()) != Dialogs::Yes)
        return false;
    TADOConnection &connection = m_dm.ADOConnection1;
    connection.completePendingReads();
    const BusyCursor busy;
    const Exchange::BackupResult result = Exchange::restoreCatalogue(path, connection.path());
    reopenQueries();
    setStatus(QStringLiteral("Cópia restaurada: %1 mídia(s) e %2 título(s). O catálogo anterior "
                             "foi guardado em %3.")
                  .arg(result.media)
                  .arg(result.titles)
                  .arg(result.path));
    return true;
}

void ExchangeWindow::reopenQueries()
{
    for (TADOQuery *query : {&m_dm.ADOQuery1, &m_dm.ADOQuery2, &m_dm.ADOQuery3, &m_dm.ADOQuery4,
                             &m_dm.ADOQuery5, &m_dm.ADOQuery6}) {
        if (!query->active() || query->state() != TDataSetState::Browse)
            continue;
        query->close();
        query->open();
    }
}
