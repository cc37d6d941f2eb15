// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/identify_window.h"

#include "data/data_module.h"
#include "identify/catalogue_save.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "ui_identify_window.h"

#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QStyledItemDelegate>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

const QString caption = u"Identificar softwares"_s;

enum Column { NameColumn, DescriptionColumn, ReasonColumn };
constexpr int existingRole = Qt::UserRole + 1;

// Names are edited within the catalogue's column size.
class NameDelegate : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QWidget *createEditor(QWidget *parent, const QStyleOptionViewItem &option,
                          const QModelIndex &index) const override
    {
        QWidget *editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (auto *line = qobject_cast<QLineEdit *>(editor))
            line->setMaxLength(Identify::titleNameSize);
        return editor;
    }
};

} // namespace

IdentifyWindow::IdentifyWindow(TDm1 &dm, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_ui(std::make_unique<Ui::IdentifyWindow>())
{
    m_ui->setupUi(this);
    m_ui->progressBar->hide();
    m_ui->mediumType->lineEdit()->setMaxLength(Identify::mediumTypeSize);
    m_ui->mediumType->setCurrentText(QString());
    m_ui->titleList->setItemDelegateForColumn(NameColumn, new NameDelegate(m_ui->titleList));
    m_ui->titleList->setColumnWidth(NameColumn, 200);
    m_ui->titleList->setColumnWidth(DescriptionColumn, 300);
    m_ui->sourcePath->addItems(mountedMedia());
    m_ui->sourcePath->setCurrentIndex(m_ui->sourcePath->count() > 0 ? 0 : -1);
    loadMedia();

    connect(m_ui->readButton, &QPushButton::clicked, this, guarded([this] { ReadClick(); }));
    connect(m_ui->cancelButton, &QPushButton::clicked, this, guarded([this] { CancelClick(); }));
    connect(m_ui->saveButton, &QPushButton::clicked, this, guarded([this] { SaveClick(); }));
    connect(m_ui->browseButton, &QPushButton::clicked, this, guarded([this] { BrowseClick(); }));
    connect(m_ui->closeButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_ui->existingMediumChoice, &QRadioButton::toggled, this, [this](bool existing) {
        m_ui->existingMedium->setEnabled(existing);
        m_ui->mediumName->setEnabled(!existing);
        m_ui->mediumType->setEnabled(!existing);
    });
    connect(m_ui->existingMediumChoice, &QRadioButton::toggled, this,
            guarded([this] { markExisting(); }));
    connect(m_ui->existingMedium, &QComboBox::currentIndexChanged, this,
            guarded([this] { markExisting(); }));
    m_ui->sourcePath->setFocus();
}

IdentifyWindow::~IdentifyWindow()
{
    // The reading stops at its next file; nothing it sends afterwards reaches this window.
    m_cancel = true;
    if (m_thread) {
        m_thread->wait();
        delete m_thread;
    }
}

QStringList IdentifyWindow::mountedMedia()
{
    QStringList folders;
    for (const QStorageInfo &volume : QStorageInfo::mountedVolumes()) {
        const QString root = volume.rootPath();
        if (root.startsWith(u"/media/"_s) || root.startsWith(u"/run/media/"_s))
            folders << root;
    }
    folders.sort();
    return folders;
}

void IdentifyWindow::loadMedia()
{
    m_ui->existingMedium->clear();
    if (!m_dm.ADOConnection1.connected())
        return;
    TADOQuery media(u"IdentifyMedia"_s, &m_dm.ADOConnection1);
    media.setSql({u"select codigo, titulo from cds order by titulo"_s});
    media.open();
    for (int row = 0; row < media.recordCount(); ++row) {
        m_ui->existingMedium->addItem(
            u"%1 (código %2)"_s.arg(media.textAt(row, 1), media.textAt(row, 0)),
            media.valueAt(row, 0).toInt());
    }
    m_ui->existingMediumChoice->setEnabled(m_ui->existingMedium->count() > 0);
}

void IdentifyWindow::BrowseClick()
{
    const QString start = m_ui->sourcePath->currentText().trimmed().isEmpty()
                              ? QDir::homePath()
                              : m_ui->sourcePath->currentText().trimmed();
    const QString chosen =
        m_ui->imageChoice->isChecked()
            ? QFileDialog::getOpenFileName(
                  this, u"Imagem de disco"_s, start,
                  u"Imagens e arquivos compactados (*.iso *.udf *.zip *.7z *.cab);;"
                  "Todos os arquivos (*)"_s)
            : QFileDialog::getExistingDirectory(this, u"Pasta da mídia"_s, start);
    if (!chosen.isEmpty())
        m_ui->sourcePath->setCurrentText(chosen);
}

void IdentifyWindow::setReading(bool reading)
{
    for (QWidget *w :
         {static_cast<QWidget *>(m_ui->sourceBox), static_cast<QWidget *>(m_ui->mediumBox),
          static_cast<QWidget *>(m_ui->titleList), static_cast<QWidget *>(m_ui->closeButton)})
        w->setEnabled(!reading);
    m_ui->cancelButton->setEnabled(reading);
    m_ui->progressBar->setVisible(reading);
    m_ui->saveButton->setEnabled(!reading && !m_titles.isEmpty());
    if (reading)
        m_ui->cancelButton->setFocus();
}

void IdentifyWindow::ReadClick()
{
    if (m_thread)
        return;
    const QString path = m_ui->sourcePath->currentText().trimmed();
    if (path.isEmpty()) {
        showRefusal(u"Escolha a pasta ou a imagem de disco a ler."_s, caption);
        return;
    }
    m_titles.clear();
    m_ui->titleList->clear();
    m_ui->noteList->clear();
    m_cancel = false;
    m_ui->progressLabel->setText(u"Lendo %1..."_s.arg(path));
    setReading(true);
    m_thread = QThread::create([this, path] {
        Identify::Options options;
        options.cancelled = [this] { return m_cancel.load(); };
        options.progress = [this](const Identify::Progress &progress) {
            QMetaObject::invokeMethod(
                this, [this, progress] { showProgress(progress); }, Qt::QueuedConnection);
        };
        Identify::Result result;
        try {
            result = Identify::identify(path, options);
        } catch (const std::exception &e) {
            result.notes.append(
                {path, u"a leitura falhou: %1"_s.arg(QString::fromLocal8Bit(e.what()))});
        }
        QMetaObject::invokeMethod(
            this, [this, result] { readingDone(result); }, Qt::QueuedConnection);
    });
    m_thread->start();
}

void IdentifyWindow::CancelClick()
{
    m_cancel = true;
}

void IdentifyWindow::reject()
{
    // Esc during a reading stops the reading, not the window.
    if (m_thread) {
        CancelClick();
        return;
    }
    QDialog::reject();
}

void IdentifyWindow::showProgress(const Identify::Progress &progress)
{
    if (!m_thread || m_cancel)
        return;
    m_ui->progressLabel->setText(
        u"%1 arquivo(s) vistos, %2 título(s) encontrados; lendo %3"_s.arg(progress.filesSeen)
            .arg(progress.titlesFound)
            .arg(progress.folder.isEmpty() ? u"/"_s : progress.folder));
}

void IdentifyWindow::readingDone(const Identify::Result &result)
{
    m_thread->wait();
    delete m_thread;
    m_thread = nullptr;
    if (result.cancelled || m_cancel) {
        m_titles.clear();
        m_ui->progressLabel->setText(u"Leitura cancelada; nada foi guardado."_s);
        setReading(false);
        return;
    }
    m_titles = result.titles;
    for (const Identify::Title &title : m_titles) {
        auto *item = new QTreeWidgetItem(m_ui->titleList);
        item->setText(NameColumn, title.name);
        item->setText(DescriptionColumn, title.description);
        item->setText(ReasonColumn, title.reason);
        item->setToolTip(DescriptionColumn, title.description);
        item->setToolTip(ReasonColumn, title.files.join(u'\n'));
        if (title.nameCut)
            item->setToolTip(NameColumn,
                             u"Nome cortado em %1 caracteres"_s.arg(Identify::titleNameSize));
    }
    for (const Identify::Note &note : result.notes)
        m_ui->noteList->addItem(note.file.isEmpty() ? note.text : note.file + u": "_s + note.text);
    if (m_ui->mediumName->text().isEmpty())
        m_ui->mediumName->setText(result.medium.name);
    if (m_ui->mediumType->currentText().isEmpty())
        m_ui->mediumType->setCurrentText(result.medium.type);
    m_ui->progressLabel->setText(
        u"%1 arquivo(s) lidos; %2 título(s) proposto(s), %3 aviso(s)."_s.arg(result.filesSeen)
            .arg(m_titles.size())
            .arg(result.notes.size()));
    setReading(false);
    markExisting();
    if (m_ui->titleList->topLevelItemCount() > 0) {
        m_ui->titleList->setCurrentItem(m_ui->titleList->topLevelItem(0));
        m_ui->titleList->setFocus();
    }
}

void IdentifyWindow::markExisting()
{
    const bool existing = m_ui->existingMediumChoice->isChecked();
    const QStringList held =
        existing && m_ui->existingMedium->currentIndex() >= 0
            ? Identify::titlesOnMedium(m_dm.ADOConnection1,
                                       m_ui->existingMedium->currentData().toInt())
            : QStringList();
    for (int i = 0; i < m_ui->titleList->topLevelItemCount(); ++i) {
        QTreeWidgetItem *item = m_ui->titleList->topLevelItem(i);
        const Identify::Title &title = m_titles[i];
        const bool there = Identify::holdsName(held, item->text(NameColumn));
        const bool wasThere = item->data(NameColumn, existingRole).toBool();
        item->setData(NameColumn, existingRole, there);
        if (there) {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
            item->setCheckState(NameColumn, Qt::Unchecked);
            item->setText(ReasonColumn, u"já cadastrado nesta mídia"_s);
        } else {
            item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable |
                           Qt::ItemIsEditable);
            if (wasThere || item->data(NameColumn, Qt::CheckStateRole).isNull())
                item->setCheckState(NameColumn, title.ticked ? Qt::Checked : Qt::Unchecked);
            item->setText(ReasonColumn, title.reason);
        }
    }
}

QList<Identify::Title> IdentifyWindow::chosenTitles() const
{
    QList<Identify::Title> titles;
    for (int i = 0; i < m_ui->titleList->topLevelItemCount(); ++i) {
        const QTreeWidgetItem *item = m_ui->titleList->topLevelItem(i);
        Identify::Title title = m_titles[i];
        title.name = item->text(NameColumn).trimmed();
        title.ticked = item->checkState(NameColumn) == Qt::Checked &&
                       !item->data(NameColumn, existingRole).toBool();
        if (title.ticked && !title.name.isEmpty())
            titles << title;
    }
    return titles;
}

void IdentifyWindow::SaveClick()
{
    const QList<Identify::Title> titles = chosenTitles();
    if (titles.isEmpty()) {
        showRefusal(u"Marque ao menos um título para cadastrar."_s, caption);
        return;
    }
    Identify::MediumChoice medium;
    if (m_ui->existingMediumChoice->isChecked()) {
        medium.code = m_ui->existingMedium->currentData().toInt();
    } else {
        medium.name = m_ui->mediumName->text().trimmed();
        medium.type = m_ui->mediumType->currentText().trimmed();
        if (medium.name.isEmpty()) {
            showRefusal(u"Dê um nome à nova mídia."_s, caption);
            m_ui->mediumName->setFocus();
            return;
        }
    }
    const Identify::Saved saved = Identify::save(m_dm.ADOConnection1, medium, titles);
    // The windows that browse media and titles show the new rows at once.
    for (TADOQuery *query : {&m_dm.ADOQuery1, &m_dm.ADOQuery2, &m_dm.ADOQuery3})
        if (query->active())
            query->refresh();
    QString text = u"%1 título(s) cadastrado(s) na mídia de código %2."_s.arg(saved.added.size())
                       .arg(saved.mediumCode);
    if (!saved.alreadyThere.isEmpty())
        text += u" Já estavam nela: %1."_s.arg(saved.alreadyThere.join(u", "_s));
    Dialogs::current().showMessage(text);
    accept();
}
