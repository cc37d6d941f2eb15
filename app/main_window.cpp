// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include "data/data_module.h"
#include "data/exceptions.h"
#include "info/about_window.h"
#include "info/next_versions_window.h"
#include "registration/kinds_window.h"
#include "registration/media_window.h"
#include "registration/software_window.h"
#include "reports/report_panel.h"
#include "reports/report_run.h"
#include "search/search_window.h"
#include "shell/dialogs.h"
#include "shell/error_handler.h"
#include "shell/form_layout.h"

#include "ui_main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>

namespace {

constexpr QRgb highlightColour = 0xC0DCC0;
constexpr QRgb plainColour = 0xFFFFFF;

// The keys that type a carriage return into an edit box; Ctrl and Alt make other characters.
bool isEnterKey(const QKeyEvent *event)
{
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    return enter &&
           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
}

} // namespace

TForm1::TForm1(QWidget *parent)
    : QWidget(parent)
    , m_ui(std::make_unique<Ui::TForm1>())
{
    setObjectName(QStringLiteral("Form1"));
    m_ui->setupUi(this);
    m_reportPanel = std::make_unique<ReportPanel>(
        ReportPanel::Controls{m_ui->RadioButton1, m_ui->RadioButton2, m_ui->CheckBox1, m_ui->Label4,
                              m_ui->ListaMidias, m_ui->GeraRelatBut, m_ui->GeraRelat,
                              m_ui->NumeroCD, m_ui->LabelCategoria, m_ui->ListaCategorias},
        this, [this](TQuickRep &report) { previewReport(report); });
    finishFormLayout(this);
    setFixedSize(936, 592);
    drawPanelsFlat({m_ui->GroupBox1, m_ui->GroupBox2, m_ui->GroupBox3});

    for (QWidget *box : {m_ui->GroupBox1, m_ui->GroupBox2, m_ui->GroupBox3})
        box->installEventFilter(this);
    m_ui->ConsultaSoft->installEventFilter(this);
    m_ui->ConsultaMidia->installEventFilter(this);

    connect(m_ui->BitBtn1, &QPushButton::clicked, this, guarded([this] { BitBtn1Click(); }));
    connect(m_ui->BitBtn2, &QPushButton::clicked, this, guarded([this] { BitBtn2Click(); }));
    connect(m_ui->Button1, &QPushButton::clicked, this, guarded([this] { Button1Click(); }));
    connect(m_ui->Button2, &QPushButton::clicked, this, guarded([this] { Button2Click(); }));
    connect(m_ui->Button3, &QPushButton::clicked, this, guarded([this] { Button3Click(); }));
    connect(m_ui->Button4, &QPushButton::clicked, this, guarded([this] { Button4Click(); }));
    connect(m_ui->ButtonKinds, &QPushButton::clicked, this,
            guarded([this] { ButtonKindsClick(); }));
    connect(m_ui->BitBtn3, &QPushButton::clicked, this, guarded([this] { BitBtn3Click(); }));

    // A radio button's handler runs when it becomes selected; the check box's on every
    // change, also one made by code.
    connect(m_ui->RadioButton1, &QRadioButton::toggled, this,
            [handler = guarded([this] { RadioButton1Click(); })](bool selected) {
                if (selected)
                    handler();
            });
    connect(m_ui->RadioButton2, &QRadioButton::toggled, this,
            [handler = guarded([this] { RadioButton2Click(); })](bool selected) {
                if (selected)
                    handler();
            });
    connect(m_ui->CheckBox1, &QCheckBox::toggled, this, guarded([this] { CheckBox1Click(); }));
    connect(m_ui->ListaMidias, &TDBLookupComboBox::choiceMade, this,
            guarded([this] { ListaMidiasClick(); }));
    connect(m_ui->GeraRelatBut, &QPushButton::clicked, this,
            guarded([this] { GeraRelatButClick(); }));
    connect(m_ui->GeraRelat, &QPushButton::clicked, this, guarded([this] { GeraRelatClick(); }));
}

TForm1::~TForm1() = default;

void TForm1::bindDataModule(TDm1 &dm)
{
    m_dm = &dm;
    m_reportPanel->bindDataModule(dm);
}

void TForm1::setRegistrationWindows(TForm2 *form2, TForm3 *form3)
{
    m_form2 = form2;
    m_form3 = form3;
}

void TForm1::FormShow()
{
    m_dm->ADOQuery5.close();
    m_dm->ADOQuery5.open();
    m_ui->ConsultaSoft->setFocus();
}

void TForm1::highlightGroupBox(QWidget *hovered)
{
    for (QWidget *box : {m_ui->GroupBox1, m_ui->GroupBox2, m_ui->GroupBox3}) {
        QPalette palette = box->palette();
        palette.setColor(QPalette::Window, QColor(box == hovered ? highlightColour : plainColour));
        box->setPalette(palette);
    }
}

void TForm1::GroupBox1MouseMove()
{
    highlightGroupBox(m_ui->GroupBox1);
}

void TForm1::GroupBox2MouseMove()
{
    highlightGroupBox(m_ui->GroupBox2);
}

void TForm1::GroupBox3MouseMove()
{
    highlightGroupBox(m_ui->GroupBox3);
}

void TForm1::showRegistrationWindow(QWidget *window)
{
    if (!window)
        return;
    window->show();
    window->raise();
    window->activateWindow();
}

void TForm1::BitBtn1Click()
{
    showRegistrationWindow(m_form2);
}

void TForm1::BitBtn2Click()
{
    showRegistrationWindow(m_form3);
}

void TForm1::openSearch(const QString &text, int kind)
{
    TForm4 search(this, text, kind, *m_dm);
    search.exec();
}

void TForm1::Button2Click()
{
    openSearch(m_ui->ConsultaSoft->text(), SoftwareSearch);
}

void TForm1::Button3Click()
{
    openSearch(m_ui->ConsultaMidia->text(), MediaSearch);
}

void TForm1::ConsultaSoftKeyPress(QChar &key)
{
    if (key != QChar(13))
        return;
    if (!m_ui->ConsultaSoft->text().isEmpty())
        openSearch(m_ui->ConsultaSoft->text(), SoftwareSearch);
    key = QChar(0);
}

void TForm1::ConsultaMidiaKeyPress(QChar &key)
{
    if (key != QChar(13))
        return;
    if (!m_ui->ConsultaMidia->text().isEmpty()) {
        try {
            openSearch(m_ui->ConsultaMidia->text(), MediaSearch);
        } catch (const Exception &e) {
            // The line runs the class name into the phrase, as users of the program know it.
            Dialogs::current().showMessage(e.className() + QStringLiteral("Erro com código: ") +
                                           e.message());
            return; // the Enter goes on to the edit box
        }
    }
    key = QChar(0);
}

void TForm1::Button1Click()
{
    TForm6 about(this);
    about.exec();
}

void TForm1::Button4Click()
{
    TForm5 next(this);
    next.exec();
}

void TForm1::ButtonKindsClick()
{
    KindsWindow kinds(*m_dm, this);
    kinds.exec();
}

void TForm1::BitBtn3Click()
{
    close();
}

void TForm1::RadioButton1Click()
{
    m_reportPanel->mediaReportChosen();
}

void TForm1::RadioButton2Click()
{
    m_reportPanel->softwareReportChosen();
}

void TForm1::CheckBox1Click()
{
    m_reportPanel->allTitlesToggled();
}

void TForm1::ListaMidiasClick()
{
    m_reportPanel->mediumChosen();
}

void TForm1::GeraRelatButClick()
{
    m_reportPanel->reopenMediaList();
}

void TForm1::GeraRelatClick()
{
    m_reportPanel->generate();
}

void TForm1::previewReport(TQuickRep &report)
{
    previewWithProgramErrors(report);
}

void TForm1::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (event->spontaneous())
        return;
    centreOnDesktop(this);
    guarded([this] { FormShow(); })();
}

// Closing the main window ends the program at once, whatever else is open.
void TForm1::closeEvent(QCloseEvent *event)
{
    event->accept();
    QCoreApplication::quit();
}

bool TForm1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove) {
        // Only moves over a box's own surface arrive here: a child takes its own.
        if (watched == m_ui->GroupBox1)
            GroupBox1MouseMove();
        else if (watched == m_ui->GroupBox2)
            GroupBox2MouseMove();
        else if (watched == m_ui->GroupBox3)
            GroupBox3MouseMove();
        return false;
    }

    if (event->type() == QEvent::KeyPress &&
        (watched == m_ui->ConsultaSoft || watched == m_ui->ConsultaMidia)) {
        const auto *keyEvent = static_cast<QKeyEvent *>(event);
        if (!isEnterKey(keyEvent))
            return false;
        QChar key(13);
        try {
            if (watched == m_ui->ConsultaSoft)
                ConsultaSoftKeyPress(key);
            else
                ConsultaMidiaKeyPress(key);
        } catch (...) {
            // A failure ends the key's dispatch: the edit box never sees it.
            handleException(std::current_exception());
            return true;
        }
        return key.isNull();
    }
    return QWidget::eventFilter(watched, event);
}
