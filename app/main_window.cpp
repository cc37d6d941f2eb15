// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window.h"

#include "app/accounts_window.h"
#include "app/exit_question.h"
#include "core/exceptions.h"
#include "data/data_module.h"
#include "exchange/window/exchange_window.h"
#include "info/about_window.h"
#include "info/next_versions_window.h"
#include "registration/identify_window.h"
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
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>

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
    setDesignFontsAsSet(this);
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
    connect(m_ui->ButtonIdentify, &QPushButton::clicked, this,
            guarded([this] { ButtonIdentifyClick(); }));
    connect(m_ui->ButtonExchange, &QPushButton::clicked, this,
            guarded([this] { ButtonExchangeClick(); }));
    connect(m_ui->ButtonAccounts, &QPushButton::clicked, this,
            guarded([this] { ButtonAccountsClick(); }));

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

void TForm1::setRegistrationWindowMaker(std::function<void()> make)
{
    m_makeRegistrationWindows = std::move(make);
}

void TForm1::makeRegistrationWindows()
{
    if (auto make = std::exchange(m_makeRegistrationWindows, nullptr))
        make();
}

void TForm1::paintEvent(QPaintEvent *event)
{
    QWidget::paintEvent(event);
    // Right after the first frame is on screen, not inside it.
    if (m_makeRegistrationWindows)
        QTimer::singleShot(0, this, [this] { guarded([this] { makeRegistrationWindows(); })(); });
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
    makeRegistrationWindows();
    showRegistrationWindow(m_form2);
}

void TForm1::BitBtn2Click()
{
    makeRegistrationWindows();
    showRegistrationWindow(m_form3);
}

void TForm1::ButtonIdentifyClick()
{
    openIdentify();
}

void TForm1::openIdentify()
{
    IdentifyWindow window(*m_dm, this);
    window.exec();
}

void TForm1::openSearch(const QString &text, int kind)
{
    TForm4 search(this, text, kind, *m_dm);
    search.setOpenRecord([this](int resultKind, qint64 code) { openFromSearch(resultKind, code); });
    search.exec();
}

namespace {

// Ends a local event loop when the watched window is hidden or destroyed.
class HiddenWatcher : public QObject
{
public:
    HiddenWatcher(QWidget *window, QEventLoop &loop)
        : QObject(window)
        , m_loop(loop)
    {
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Hide)
            m_loop.quit();
        return QObject::eventFilter(watched, event);
    }

private:
    QEventLoop &m_loop;
};

} // namespace

void TForm1::openFromSearch(int kind, qint64 code)
{
    makeRegistrationWindows();
    QWidget *window = kind == SoftwareSearch ? static_cast<QWidget *>(m_form3) : m_form2;
    TADOQuery &query = kind == SoftwareSearch ? m_dm->ADOQuery2 : m_dm->ADOQuery1;
    const QString key =
        kind == SoftwareSearch ? QStringLiteral("numero") : QStringLiteral("codigo");
    if (!window || (kind != SoftwareSearch && kind != MediaSearch))
        return;
    if (query.active() && query.state() != TDataSetState::Browse) {
        showRefusal(QStringLiteral("A janela de cadastro tem uma alteração não salva. Salve-a ou "
                                   "cancele-a antes de abrir outro registro."),
                    QCoreApplication::applicationName());
        showRegistrationWindow(window);
        return;
    }
    // A record added since the window read its list (another program, an import) is read
    // with the list again.
    if (!query.active() || !query.locate(key, code)) {
        query.close();
        query.open();
        if (!query.locate(key, code)) {
            showRefusal(QStringLiteral("O registro %1 não existe mais no catálogo.").arg(code),
                        QCoreApplication::applicationName());
            return;
        }
    }
    // The search window is modal: the registration window opens over it, modal too, and the
    // search comes back when it is closed.
    const QPointer<QWidget> guard(window);
    const Qt::WindowModality previous = window->windowModality();
    window->hide();
    window->setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    auto *watcher = new HiddenWatcher(window, loop);
    showRegistrationWindow(window);
    loop.exec();
    if (guard) {
        delete watcher;
        guard->hide();
        guard->setWindowModality(previous);
    }
}

void TForm1::ButtonExchangeClick()
{
    ExchangeWindow exchange(*m_dm, this);
    exchange.exec();
}

void TForm1::ButtonAccountsClick()
{
    AccountsWindow accounts(m_dm->ADOConnection1, this);
    accounts.exec();
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

bool TForm1::settleBeforeExit(bool mayAsk)
{
    if (!m_dm)
        return true;
    QList<PendingRecord> records;
    if (m_form2)
        records.append({m_form2->windowTitle(), &m_dm->ADOQuery1});
    if (m_form3)
        records.append({m_form3->windowTitle(), &m_dm->ADOQuery2});
    return settlePendingRecords(records, mayAsk);
}

// Closing the main window ends the program at once, whatever else is open, once nothing
// the user typed is left unsaved without a word.
void TForm1::closeEvent(QCloseEvent *event)
{
    if (!settleBeforeExit()) {
        event->ignore();
        return;
    }
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
