// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <functional>
#include <memory>

class TDm1;
class TForm2;
class TForm3;
class ReportPanel;
class TQuickRep;

namespace Ui {
class TForm1;
}

// The main window. Created before the data module exists; bound to it before it is shown.
class TForm1 : public QWidget
{
    Q_OBJECT

public:
    explicit TForm1(QWidget *parent = nullptr);
    ~TForm1() override;

    void bindDataModule(TDm1 &dm);
    void setRegistrationWindows(TForm2 *form2, TForm3 *form3);
    // Makes the registration windows and hands them over with setRegistrationWindows: called
    // once the main window is on screen, or sooner when they are needed first, so that making
    // them does not hold back its first paint.
    void setRegistrationWindowMaker(std::function<void()> make);

    void FormShow();

    // Before the program ends: a record left in editing or inserting in a registration
    // window is saved, dropped or kept as the user answers. True when the program may end.
    // `mayAsk` is false when a desktop session ends with no room for a question.
    bool settleBeforeExit(bool mayAsk = true);

    void GroupBox1MouseMove();
    void GroupBox2MouseMove();
    void GroupBox3MouseMove();
    void BitBtn1Click();
    void BitBtn2Click();
    void Button1Click();
    void Button2Click();
    void Button3Click();
    void Button4Click();
    void ButtonKindsClick();
    void BitBtn3Click();
    void ButtonIdentifyClick();
    // "Exportar / importar...": the exchange window for the catalogue in use.
    void ButtonExchangeClick();
    // "Senha e usuários...": the account in use, or how a file catalogue is protected.
    void ButtonAccountsClick();
    // Key-press handlers: a key set to 0 is consumed and never reaches the edit box.
    void ConsultaSoftKeyPress(QChar &key);
    void ConsultaMidiaKeyPress(QChar &key);

    // The report panel: forwarded to ReportPanel.
    void RadioButton1Click();
    void RadioButton2Click();
    void CheckBox1Click();
    void ListaMidiasClick();
    void GeraRelatButClick();
    void GeraRelatClick();

protected:
    // Creates the search window, shows it modally and destroys it; failures propagate.
    virtual void openSearch(const QString &text, int kind);
    // Shows the software identification window modally; failures propagate.
    virtual void openIdentify();
    // Shows a report's preview and returns when it has been closed; failures propagate.
    virtual void previewReport(TQuickRep &report);

    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void highlightGroupBox(QWidget *hovered);
    static void showRegistrationWindow(QWidget *window);
    void makeRegistrationWindows();
    // A search result's double click: its registration window at that record, over the search.
    void openFromSearch(int kind, qint64 code);

    std::unique_ptr<Ui::TForm1> m_ui;
    std::unique_ptr<ReportPanel> m_reportPanel;
    TDm1 *m_dm = nullptr;
    TForm2 *m_form2 = nullptr;
    TForm3 *m_form3 = nullptr;
    std::function<void()> m_makeRegistrationWindows;
};
