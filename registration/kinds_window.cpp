// SPDX-License-Identifier: GPL-3.0-or-later
#include "registration/kinds_window.h"

#include "core/exceptions.h"
#include "core/schema.h"
#include "data/data_module.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"
#include "ui_kinds_window.h"

#include <QListWidget>

using namespace Qt::StringLiterals;

namespace {

const QString caption = u"Categorias"_s;

} // namespace

KindsWindow::KindsWindow(TDm1 &dm, QWidget *parent)
    : QDialog(parent)
    , m_dm(dm)
    , m_ui(std::make_unique<Ui::KindsWindow>())
{
    m_ui->setupUi(this);
    setObjectName(u"FormCategorias"_s);
    finishFormLayout(this);
    setFixedFrame(this);
    m_ui->EditNome->setMaxLength(Schema::textSize(Schema::kinds, "nome_categoria"));

    connect(m_ui->ListaCategorias, &QListWidget::currentRowChanged, this,
            [this] { m_ui->EditNome->setText(chosenName()); });
    connect(m_ui->ButtonAdd, &QPushButton::clicked, this, guarded([this] { ButtonAddClick(); }));
    connect(m_ui->ButtonRename, &QPushButton::clicked, this,
            guarded([this] { ButtonRenameClick(); }));
    connect(m_ui->ButtonRemove, &QPushButton::clicked, this,
            guarded([this] { ButtonRemoveClick(); }));
    connect(m_ui->ButtonClose, &QPushButton::clicked, this, &QDialog::accept);

    reload();
    m_ui->ListaCategorias->setCurrentRow(0);
    m_ui->ListaCategorias->setFocus();
}

KindsWindow::~KindsWindow() = default;

void KindsWindow::reload(const QVariant &code)
{
    TADOQuery &kinds = m_dm.ADOQuery7;
    // A title being edited elsewhere keeps its kind; only the list is read again.
    kinds.close();
    kinds.open();
    const int codeField = m_dm.ADOQuery7id_categoria.index();
    const int nameField = m_dm.ADOQuery7nome_categoria.index();
    QListWidget &list = *m_ui->ListaCategorias;
    const QSignalBlocker quiet(&list);
    list.clear();
    int chosen = -1;
    for (int row = 0; row < kinds.recordCount(); ++row) {
        auto *item = new QListWidgetItem(kinds.textAt(row, nameField), &list);
        item->setData(Qt::UserRole, kinds.valueAt(row, codeField));
        if (code.isValid() && kinds.valueAt(row, codeField).toLongLong() == code.toLongLong())
            chosen = row;
    }
    list.setCurrentRow(chosen);
}

QVariant KindsWindow::chosenCode() const
{
    const QListWidgetItem *item = m_ui->ListaCategorias->currentItem();
    return item ? item->data(Qt::UserRole) : QVariant();
}

QString KindsWindow::chosenName() const
{
    const QListWidgetItem *item = m_ui->ListaCategorias->currentItem();
    return item ? item->text() : QString();
}

QString KindsWindow::acceptableName(const QVariant &code)
{
    const QString name = m_ui->EditNome->text().trimmed();
    if (name.isEmpty()) {
        showRefusal(u"Digite o nome da categoria."_s, caption);
        return {};
    }
    // Qt folds every script's letters; the file's own unique index folds only ASCII ones.
    const int nameField = m_dm.ADOQuery7nome_categoria.index();
    const int codeField = m_dm.ADOQuery7id_categoria.index();
    TADOQuery &kinds = m_dm.ADOQuery7;
    for (int row = 0; row < kinds.recordCount(); ++row) {
        const QString other = kinds.textAt(row, nameField);
        if (code.isValid() && kinds.valueAt(row, codeField).toLongLong() == code.toLongLong())
            continue;
        if (other.compare(name, Qt::CaseInsensitive) == 0) {
            showRefusal(
                u"Já existe a categoria \"%1\". Duas categorias não podem ter o mesmo "
                "nome, nem escrito com outras letras maiúsculas ou minúsculas."_s.arg(other),
                caption);
            return {};
        }
    }
    return name;
}

int KindsWindow::titlesWithKind(const QVariant &code) const
{
    TADOQuery count(u"ContaTitulos"_s, &m_dm.ADOConnection1);
    count.setSql({u"select count(*) as total from softs where categoria = :ocategoria"_s});
    count.setParameter(u"ocategoria"_s, code.toLongLong());
    count.open();
    return int(count.valueAt(0, 0).toLongLong());
}

void KindsWindow::ButtonAddClick()
{
    reload(chosenCode());
    const QString name = acceptableName({});
    if (name.isEmpty())
        return;
    TADOQuery &kinds = m_dm.ADOQuery7;
    kinds.insert();
    m_dm.ADOQuery7nome_categoria.setAsString(name);
    kinds.post();
    reload(m_dm.ADOQuery7id_categoria.value());
    m_ui->EditNome->setText(name);
}

void KindsWindow::ButtonRenameClick()
{
    const QVariant code = chosenCode();
    if (!code.isValid()) {
        showRefusal(u"Escolha na lista a categoria que quer renomear."_s, caption);
        return;
    }
    reload(code);
    if (!chosenCode().isValid()) {
        showRefusal(u"A categoria escolhida não existe mais; outro usuário a removeu."_s, caption);
        return;
    }
    const QString name = acceptableName(code);
    if (name.isEmpty())
        return;
    TADOQuery &kinds = m_dm.ADOQuery7;
    kinds.locate(u"id_categoria"_s, code);
    kinds.edit();
    m_dm.ADOQuery7nome_categoria.setAsString(name);
    kinds.post();
    reload(code);
    m_ui->EditNome->setText(name);
}

void KindsWindow::ButtonRemoveClick()
{
    const QVariant code = chosenCode();
    const QString name = chosenName();
    if (!code.isValid()) {
        showRefusal(u"Escolha na lista a categoria que quer remover."_s, caption);
        return;
    }
    const auto refuseInUse = [&](int titles) {
        showRefusal(
            u"A categoria \"%1\" não pode ser removida: %2. Mude a categoria desses "
            "títulos na tela de softwares antes de removê-la."_s.arg(
                name, titles == 1 ? u"1 título a usa"_s : u"%1 títulos a usam"_s.arg(titles)),
            caption);
    };
    if (code.toLongLong() == Schema::defaultKind) {
        showRefusal(u"A categoria \"%1\" é a que um título recebe quando nenhuma é escolhida: "
                    "pode ser renomeada, mas não removida."_s.arg(name),
                    caption);
        return;
    }
    if (const int titles = titlesWithKind(code); titles > 0) {
        refuseInUse(titles);
        return;
    }
    if (askYesNo(u"Deseja remover a categoria \"%1\"?"_s.arg(name),
                 u"Confirmação de exclusão de registro"_s) != Dialogs::Yes)
        return;
    reload(code);
    if (!chosenCode().isValid())
        return; // another user removed it meanwhile: nothing left to do
    TADOQuery &kinds = m_dm.ADOQuery7;
    kinds.locate(u"id_categoria"_s, code);
    // A title given the kind by another program since the count makes the delete refuse.
    try {
        kinds.remove();
    } catch (const ERowInUse &) {
        refuseInUse(titlesWithKind(code));
        reload(code);
        return;
    }
    reload();
    m_ui->EditNome->clear();
}
