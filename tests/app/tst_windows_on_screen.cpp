// SPDX-License-Identifier: GPL-3.0-or-later
// What the window system receives from the real application object, on an X display (run
// through tests/support/with_x_display.sh): the titles, and, under a window manager, where
// the framed windows stand.
#include "app/main_window.h"
#include "data/data_module.h"
#include "info/about_window.h"
#include "info/next_versions_window.h"
#include "registration/media_window.h"
#include "registration/software_window.h"
#include "reports/engine/preview/report_preview.h"
#include "search/search_window.h"
#include "shell/application.h"
#include "shell/dialogs.h"
#include "tests/support/temp_catalogue.h"

#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

// The title the window manager shows: the window's _NET_WM_NAME property.
QString titleOnScreen(const QWidget *window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window->winId()),
                                          QStringLiteral("_NET_WM_NAME")});
    if (!xprop.waitForFinished(10000))
        return QStringLiteral("<xprop did not answer>");
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    static const QRegularExpression value(
        QStringLiteral("^_NET_WM_NAME\\(UTF8_STRING\\) = \"(.*)\"$"));
    const QRegularExpressionMatch match = value.match(out);
    return match.hasMatch() ? match.captured(1) : QStringLiteral("<%1>").arg(out);
}

bool underWindowManager()
{
    return !qEnvironmentVariableIsEmpty("QUIVEL_TEST_WINDOW_MANAGER");
}

// The frame as the window system has it now (a widget's own copy may lag behind).
QRect frameOf(const QWidget *window)
{
    return window->windowHandle()->frameGeometry();
}

// Waits for the window manager to frame a shown window; on a busy machine that took over 5 s.
bool framed(const QWidget *window)
{
    // Taking the window in, the window manager may first show Qt a frame of negative margins.
    return QTest::qWaitFor(
        [window] {
            const QMargins frame = window->windowHandle()->frameMargins();
            return !frame.isNull() && frame.left() >= 0 && frame.top() >= 0 && frame.right() >= 0 &&
                   frame.bottom() >= 0;
        },
        20000);
}

// Runs `ask`, which shows a modal box, and hands the box to `look` before closing it.
void whileModal(const std::function<void()> &ask, const std::function<void(QWidget *)> &look)
{
    QTimer probe;
    probe.setInterval(20);
    QObject::connect(&probe, &QTimer::timeout, &probe, [&] {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || !QTest::qWaitForWindowExposed(modal))
            return;
        probe.stop();
        look(modal);
        modal->close();
    });
    probe.start();
    QTimer::singleShot(15000, &probe, [] {
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close(); // never hang the suite
    });
    ask();
}

} // namespace

class TestWindowsOnScreen : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void titlesAreTheCaptionsExactly();
    void boxTitlesAreTheCaptionsExactly();
    void windowsAreCentredByTheirFrame();
    void boxesLeaveRoomForTheirCaption();
    void windowsLargerThanTheScreenFitIt();

private:
    std::unique_ptr<TempCatalogue> m_catalogue;
    std::unique_ptr<CurrentDirectory> m_directory;
    std::unique_ptr<TDm1> m_dm;
};

void TestWindowsOnScreen::initTestCase()
{
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
    m_catalogue = std::make_unique<TempCatalogue>(TempCatalogue::Content::Sample);
    m_directory = std::make_unique<CurrentDirectory>(m_catalogue->directory());
    QFile config(QStringLiteral("config.cfg"));
    QVERIFY(config.open(QIODevice::WriteOnly));
    config.write("1.0.0\r\n");
    config.close();
    m_dm = std::make_unique<TDm1>([](const QString &line) { qWarning() << line; });
}

void TestWindowsOnScreen::cleanupTestCase()
{
    m_dm.reset();
    m_directory.reset();
    m_catalogue.reset();
}

void TestWindowsOnScreen::titlesAreTheCaptionsExactly()
{
    TForm1 form1;
    form1.bindDataModule(*m_dm);
    TForm2 form2(*m_dm);
    TForm3 form3(*m_dm);
    TForm4 search(nullptr, QStringLiteral("Delphi"), SoftwareSearch, *m_dm);
    TForm5 next;
    TForm6 about;
    ReportPreviewWindow preview(QString{});
    const struct
    {
        QWidget *window;
        QString caption;
    } windows[] = {
        {&form1, QStringLiteral("QUIVEL - Banco de Dados de Aplicativos")},
        {&form2, QStringLiteral("Cadastro de Mídias")},
        {&form3, QStringLiteral("Softwares")},
        {&search, QStringLiteral("Busca - Softwares")},
        {&next, QStringLiteral("Next...")},
        {&about, QStringLiteral("Sobre...")},
        {&preview, QStringLiteral("Visualizar relatório")},
    };
    for (const auto &w : windows) {
        w.window->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.window));
        QCOMPARE(w.window->windowTitle(), w.caption);
        QCOMPARE(titleOnScreen(w.window), w.caption);
        w.window->hide();
    }
}

void TestWindowsOnScreen::boxTitlesAreTheCaptionsExactly()
{
    QString messageTitle;
    whileModal([] { Dialogs::current().showMessage(QStringLiteral("Mídia salva com sucesso!")); },
               [&](QWidget *box) { messageTitle = titleOnScreen(box); });
    QCOMPARE(messageTitle, QStringLiteral("Quivel"));

    QString boxTitle;
    whileModal(
        [] {
            askYesNo(QStringLiteral("Deseja APAGAR este registro?"),
                     QStringLiteral("Confirmação de exclusão de registro"));
        },
        [&](QWidget *box) { boxTitle = titleOnScreen(box); });
    QCOMPARE(boxTitle, QStringLiteral("Confirmação de exclusão de registro"));
}

void TestWindowsOnScreen::windowsAreCentredByTheirFrame()
{
    if (!underWindowManager())
        QSKIP("needs a window manager to frame the windows");
    const QPoint centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    const auto centredAt = [&](const QWidget *window) {
        const QPoint off = frameOf(window).center() - centre;
        return QStringLiteral("%1 off centre by %2,%3")
            .arg(window->windowTitle())
            .arg(off.x())
            .arg(off.y());
    };
    const auto isCentred = [&](const QWidget *window) {
        return (frameOf(window).center() - centre).manhattanLength() <= 2;
    };

    // The first window the program shows: its frame is unknown until it is on screen.
    TForm1 form1;
    form1.bindDataModule(*m_dm);
    form1.show();
    QVERIFY(framed(&form1));
    QTRY_VERIFY2(isCentred(&form1), qPrintable(centredAt(&form1)));

    // The same place at every showing.
    TForm2 form2(*m_dm);
    QRect firstFrame;
    for (int showing = 0; showing < 3; ++showing) {
        form2.show();
        QVERIFY(framed(&form2));
        QTRY_VERIFY2(isCentred(&form2), qPrintable(centredAt(&form2)));
        QTest::qWait(200); // any late move would show now
        if (showing == 0)
            firstFrame = frameOf(&form2);
        QCOMPARE(frameOf(&form2), firstFrame);
        form2.hide();
        QTest::qWait(100);
    }

    TForm6 about;
    about.show();
    QVERIFY(framed(&about));
    QTRY_VERIFY2(isCentred(&about), qPrintable(centredAt(&about)));
    about.hide();

    // The preview is 500 by 500 outside.
    ReportPreviewWindow preview(QString{});
    preview.show();
    QVERIFY(framed(&preview));
    QTRY_COMPARE(frameOf(&preview).size(), QSize(500, 500));
    QTRY_VERIFY2(isCentred(&preview), qPrintable(centredAt(&preview)));
    preview.hide();

    // The message window stands in the screen's middle, not over the window that asked.
    form1.move(0, 0);
    form1.activateWindow();
    QRect messageFrame;
    whileModal([] { Dialogs::current().showMessage(QStringLiteral("Mídia salva com sucesso!")); },
               [&](QWidget *box) {
                   framed(box);
                   if (!QTest::qWaitFor([&] { return isCentred(box); }, 3000))
                       qWarning("the message window stayed off centre");
                   messageFrame = frameOf(box);
               });
    QVERIFY2(
        (messageFrame.center() - centre).manhattanLength() <= 2,
        qPrintable(
            QStringLiteral("%1,%2").arg(messageFrame.center().x()).arg(messageFrame.center().y())));
}

void TestWindowsOnScreen::boxesLeaveRoomForTheirCaption()
{
    // The title bar holds the caption in the window manager's bold title font beside its
    // icon and three buttons; the box is made at least that wide.
    QFont titleFont(QStringLiteral("DejaVu Sans"));
    titleFont.setBold(true);
    titleFont.setPointSize(9);
    const QString caption = QStringLiteral("Confirmação de exclusão de registro");
    const int needed = QFontMetrics(titleFont).horizontalAdvance(caption) + 4 * 22;
    int width = 0;
    whileModal([&] { askYesNo(QStringLiteral("Deseja APAGAR este registro?"), caption); },
               [&](QWidget *box) { width = box->width(); });
    QVERIFY2(width >= needed, qPrintable(QStringLiteral("%1 < %2").arg(width).arg(needed)));
}

// Run as well with QT_SCALE_FACTOR=2, where the main and registration windows are larger than
// the screen: such a window is framed inside the free area, title bar included, and its
// contents scroll at their designed size. A window that fits is left exactly as designed.
void TestWindowsOnScreen::windowsLargerThanTheScreenFitIt()
{
    if (!underWindowManager())
        QSKIP("needs a window manager to frame the windows");
    TForm1 form1;
    form1.bindDataModule(*m_dm);
    TForm2 form2(*m_dm);
    TForm3 form3(*m_dm);
    TForm6 about;
    int tooLarge = 0;
    for (QWidget *window : std::initializer_list<QWidget *>{&form1, &form2, &form3, &about}) {
        const QSize designed = window->size();
        window->show();
        QVERIFY(framed(window));
        const QMargins frame = window->windowHandle()->frameMargins();
        // The screen the window stands on, as the window system describes it now.
        const QRect available = window->screen()->availableGeometry();
        const bool fits = designed.width() + frame.left() + frame.right() <= available.width() &&
                          designed.height() + frame.top() + frame.bottom() <= available.height();
        auto *scroll = window->findChild<QScrollArea *>();
        const QString what = window->windowTitle();
        const QString seen =
            u"%1: designed %2x%3, now %4x%5, free area %6x%7, frame %8+%9"_s.arg(what)
                .arg(designed.width())
                .arg(designed.height())
                .arg(window->width())
                .arg(window->height())
                .arg(available.width())
                .arg(available.height())
                .arg(frame.left() + frame.right())
                .arg(frame.top() + frame.bottom());
        if (fits) {
            QVERIFY2(window->size() == designed, qPrintable(seen));
            QVERIFY2(!scroll, qPrintable(seen));
        } else {
            ++tooLarge;
            QVERIFY2(scroll, qPrintable(what));
            QCOMPARE(scroll->widget()->size(), designed);
            QTRY_VERIFY2(available.contains(frameOf(window)),
                         qPrintable(u"%1: %2,%3 %4x%5"_s.arg(what)
                                        .arg(frameOf(window).x())
                                        .arg(frameOf(window).y())
                                        .arg(frameOf(window).width())
                                        .arg(frameOf(window).height())));
            // Every part of the contents can be brought into view.
            const bool scrolls = scroll->verticalScrollBar()->maximum() > 0 ||
                                 scroll->horizontalScrollBar()->maximum() > 0;
            QVERIFY2(scrolls, qPrintable(what));
        }
        window->hide();
    }
    qInfo("%d of 4 windows were larger than the screen", tooLarge);
    if (qEnvironmentVariable("QT_SCALE_FACTOR") == u"2"_s)
        QVERIFY(tooLarge >= 1);
}

int main(int argc, char **argv)
{
    Application app(argc, argv);
    TestWindowsOnScreen test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_windows_on_screen.moc"
