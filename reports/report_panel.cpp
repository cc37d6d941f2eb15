// SPDX-License-Identifier: GPL-3.0-or-later
#include "reports/report_panel.h"

#include "controls/db_lookup_combo_box.h"
#include "data/data_module.h"
#include "reports/media_report_form.h"
#include "reports/software_report_form.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>

ReportPanel::ReportPanel(const Controls &controls, QWidget *formOwner, PreviewReport preview)
    : m_controls(controls)
    , m_formOwner(formOwner)
    , m_preview(std::move(preview))
{}

void ReportPanel::bindDataModule(TDm1 &dm)
{
    m_dm = &dm;
    m_controls.mediaList->setListSource(&dm.DataSource5);
    // The kinds window reopens the kinds after each change; the list follows.
    QObject::connect(&dm.ADOQuery7, &TADOQuery::dataSetChanged, m_controls.kindList,
                     [this] { listKinds(); });
    listKinds();
}

void ReportPanel::listKinds()
{
    TADOQuery &kinds = m_dm->ADOQuery7;
    // Closed only to be read again: the list keeps its kinds and its choice meanwhile.
    if (!kinds.active())
        return;
    QComboBox &list = *m_controls.kindList;
    const QVariant chosen = list.currentData();
    const QSignalBlocker quiet(&list);
    list.clear();
    list.addItem(QStringLiteral("Todas"));
    const int codeField = m_dm->ADOQuery7id_categoria.index();
    const int nameField = m_dm->ADOQuery7nome_categoria.index();
    for (int row = 0; row < kinds.recordCount(); ++row)
        list.addItem(kinds.textAt(row, nameField), kinds.valueAt(row, codeField));
    // A kind removed meanwhile leaves "Todas" chosen.
    const int at = chosen.isValid() ? list.findData(chosen) : 0;
    list.setCurrentIndex(at < 0 ? 0 : at);
}

// The kind's name comes by a join: measured against looking each code up in a table of the
// few kinds kept in memory, the join read all titles as fast (bench_data).
QStringList ReportPanel::softwareReportSql(bool oneMedium, bool oneKind)
{
    QString where = oneMedium ? QStringLiteral("where midia= :onumero and softs.midia = cds.codigo")
                              : QStringLiteral("where softs.midia = cds.codigo");
    if (oneKind)
        where += QStringLiteral(" and softs.categoria = :ocategoria");
    return {QStringLiteral("SELECT numero, nome, descricao, codigo, titulo, nome_categoria"),
            QStringLiteral("FROM softs LEFT JOIN categorias ON categorias.id_categoria = "
                           "softs.categoria, cds"),
            where};
}

void ReportPanel::openSoftwareReport(bool oneMedium)
{
    const QVariant kind = m_controls.kindList->currentData();
    TADOQuery &query = m_dm->ADOQuery4;
    query.close();
    query.setSql(softwareReportSql(oneMedium, kind.isValid()));
    if (oneMedium)
        query.setParameter(QStringLiteral("onumero"), m_controls.mediumNumber->text());
    if (kind.isValid())
        query.setParameter(QStringLiteral("ocategoria"), kind.toLongLong());
    // Every title is many rows: the first page is laid out from the first of them while the
    // rest are still read.
    if (oneMedium)
        query.open();
    else
        query.openGradually();
}

void ReportPanel::mediaReportChosen()
{
    // The software choices keep their state, only hidden.
    m_controls.generate->setEnabled(true);
    m_controls.mediaListLabel->hide();
    m_controls.mediaList->hide();
    m_controls.allTitles->hide();
    m_controls.reopenMediaList->hide();
    m_controls.kindListLabel->hide();
    m_controls.kindList->hide();
    m_controls.generate->show();
}

void ReportPanel::softwareReportChosen()
{
    m_controls.generate->setEnabled(true);
    m_controls.mediaListLabel->show();
    m_controls.mediaList->show();
    m_controls.mediaList->setEnabled(true);
    // Clearing a ticked box runs allTitlesToggled here, which disables generate again.
    m_controls.allTitles->setChecked(false);
    m_controls.allTitles->show();
    m_controls.reopenMediaList->show();
    m_controls.kindListLabel->show();
    m_controls.kindList->show();
    m_controls.generate->show();
}

void ReportPanel::allTitlesToggled()
{
    const bool allTitles = m_controls.allTitles->isChecked();
    m_controls.mediaList->setEnabled(!allTitles);
    m_controls.reopenMediaList->setEnabled(!allTitles);
    m_controls.generate->setEnabled(allTitles);
}

void ReportPanel::mediumChosen()
{
    m_controls.generate->setEnabled(true);
    m_controls.mediumNumber->setText(m_controls.mediaList->keyValue().toString());
}

// The list keeps its key and looks its text up again in the reopened list.
void ReportPanel::reopenMediaList()
{
    m_dm->ADOQuery5.close();
    m_dm->ADOQuery5.open();
}

// The form is owned by the window, as every report form is, but released as soon as its
// preview has closed: nothing reads it afterwards.
template <typename Form> void ReportPanel::makeReport()
{
    const QPointer<Form> form = new Form(m_formOwner, *m_dm);
    const auto release = qScopeGuard([&form] { delete form.data(); });
    m_preview(*form->QuickRep1);
}

// Each test reads the controls as they are now: a preview lets the user change them meanwhile.
void ReportPanel::generate()
{
    if (m_controls.mediaReport->isChecked()) {
        m_dm->ADOQuery3.close();
        m_dm->ADOQuery3.open();
        makeReport<TForm8>();
    }
    if (!m_controls.softwareReport->isChecked())
        return;
    if (m_controls.allTitles->isChecked()) {
        openSoftwareReport(false);
        makeReport<TForm9>();
    }
    if (m_controls.mediaList->text().isEmpty())
        return;
    if (m_controls.allTitles->isChecked())
        return;
    openSoftwareReport(true);
    makeReport<TForm9>();
}
