// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

class QAbstractButton;
class QLabel;
class TDataSource;
class TDm1;
class TDBNavigator;

// What the media and software windows share: a banner over the record's fields, a navigator
// that browses (first, prior, next, last, refresh), and the buttons Fechar, Novo, Salvar and
// Apagar. Novo and Salvar go through the navigator; every change first asks the connection
// whether the catalogue may be written, so a read-only catalogue answers the same way in both.
// A conflicting save is answered where every failure is, by the shell's error handler.
// Closing only hides the window; a pending change stays pending.
class RecordWindow : public QWidget
{
    Q_OBJECT

protected:
    // The controls of the window's form that the shared behaviour uses, by the form's names.
    struct Controls
    {
        QLabel *Image1 = nullptr;             // the banner
        TDBNavigator *DBNavigator1 = nullptr; // browses source
        QWidget *DBEdit2 = nullptr;           // the record's name, focused when first shown
        QAbstractButton *BitBtn1 = nullptr;   // Fechar
        QAbstractButton *BitBtn2 = nullptr;   // Novo
        QAbstractButton *BitBtn3 = nullptr;   // Salvar
        QAbstractButton *BitBtn4 = nullptr;   // Apagar
    };

    explicit RecordWindow(TDm1 &dm, QWidget *parent = nullptr);

    // Once the form is set up: names the window, shows its banner, fixes its frame, binds the
    // navigator to source and connects the four buttons, each failure shown by the shell.
    void setUpRecordWindow(const QString &objectName, const QString &bannerResource,
                           TDataSource &source, const Controls &controls);

    void showEvent(QShowEvent *event) override;

    void BitBtn1Click();
    void BitBtn2Click();
    void BitBtn3Click();
    // Apagar: each window's own rules around deleteConfirmed().
    virtual void BitBtn4Click() = 0;

    // The question before a record is deleted, No being the default; true for Yes.
    bool deleteConfirmed();
    // Throws, with the connection's own answer, where the catalogue may not be written.
    void checkMayWrite();

    TDm1 &m_dm;
    Controls m_controls;

private:
    bool m_shownBefore = false;
};
