// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QWidget;
class TDBLookupComboBox;
class TDm1;
class TQuickRep;

// The main window's report panel: which report, which medium, and the run itself. The window
// owns the controls and forwards its handlers here.
class ReportPanel
{
public:
    struct Controls
    {
        QRadioButton *mediaReport;    // RadioButton1
        QRadioButton *softwareReport; // RadioButton2
        QCheckBox *allTitles;         // CheckBox1
        QLabel *mediaListLabel;       // Label4
        TDBLookupComboBox *mediaList; // ListaMidias
        QPushButton *reopenMediaList; // GeraRelatBut
        QPushButton *generate;        // GeraRelat
        QLineEdit *mediumNumber;      // NumeroCD
        QLabel *kindListLabel;        // LabelCategoria
        QComboBox *kindList;          // ListaCategorias: "Todas" first, then every kind
    };
    // Shows a report's preview and returns when it has been closed; failures propagate.
    using PreviewReport = std::function<void(TQuickRep &)>;

    // The report forms are owned by formOwner while their preview is shown.
    ReportPanel(const Controls &controls, QWidget *formOwner, PreviewReport preview);

    void bindDataModule(TDm1 &dm);

    void mediaReportChosen();
    void softwareReportChosen();
    void allTitlesToggled();
    void mediumChosen();
    void reopenMediaList();
    // Runs the reports the controls ask for; no failure is caught here.
    void generate();

    // The software report's statement: every title, or those of the medium `:onumero`; with
    // `oneKind`, only the titles of the kind `:ocategoria`.
    static QStringList softwareReportSql(bool oneMedium, bool oneKind = false);

private:
    template <typename Form> void makeReport();
    // Lists the kinds as the data module now holds them, keeping the one chosen.
    void listKinds();
    // Opens ADOQuery4 on the software report's statement for the kind chosen.
    void openSoftwareReport(bool oneMedium);

    Controls m_controls;
    QWidget *m_formOwner;
    PreviewReport m_preview;
    TDm1 *m_dm = nullptr;
};
