// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/dialogs.h"

#include "shell/message_window.h"

#include "data/connection.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSpacerItem>

#include <memory>

namespace {

// A title bar holds the caption, in the window manager's bold title font, beside the window's
// icon and its buttons; a box narrower than that shows its caption cut.
int widthForCaption(const QString &caption, const QFont &font)
{
    QFont title = font;
    title.setBold(true);
    title.setPointSizeF(qMax(title.pointSizeF(), 10.0));
    return QFontMetrics(title).horizontalAdvance(caption) + 4 * 24;
}

class QtDialogs : public Dialogs
{
public:
    void showMessage(const QString &text) override
    {
        MessageWindow window(text, QApplication::activeWindow());
        window.exec();
    }

    Button messageBox(const QString &text, const QString &caption, int buttons, Icon icon,
                      Button defaultButton) override
    {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(caption);
        box.setText(text);
        box.setIcon(icon == Icon::Question   ? QMessageBox::Question
                    : icon == Icon::Warning  ? QMessageBox::Warning
                    : icon == Icon::Critical ? QMessageBox::Critical
                                             : QMessageBox::NoIcon);
        // Captions in the user's language; Yes and No keep their Alt keys.
        QPushButton *yes = nullptr;
        QPushButton *no = nullptr;
        QPushButton *ok = nullptr;
        if (buttons & Yes)
            yes = box.addButton(QStringLiteral("&Sim"), QMessageBox::YesRole);
        if (buttons & No)
            no = box.addButton(QStringLiteral("&Não"), QMessageBox::NoRole);
        if (buttons & Ok)
            ok = box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
        QPushButton *byDefault = defaultButton == Yes ? yes : defaultButton == No ? no : ok;
        if (byDefault)
            box.setDefaultButton(byDefault);
        box.setEscapeButton(no ? no : ok);
        // The box sizes itself to its layout: a spacer across it keeps the caption whole.
        if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
            grid->addItem(new QSpacerItem(widthForCaption(caption, box.font()), 0,
                                          QSizePolicy::Minimum, QSizePolicy::Minimum),
                          grid->rowCount(), 0, 1, grid->columnCount());
        box.exec();
        const auto *clicked = box.clickedButton();
        if (clicked && clicked == yes)
            return Yes;
        if (clicked && clicked == no)
            return No;
        return Ok;
    }

    int choose(const QString &text, const QString &caption, const QStringList &buttons,
               int defaultIndex, int escapeIndex) override
    {
        QMessageBox box(QApplication::activeWindow());
        box.setWindowTitle(caption);
        box.setText(text);
        box.setIcon(QMessageBox::Question);
        QList<QPushButton *> added;
        for (const QString &label : buttons)
            added.append(box.addButton(label, QMessageBox::ActionRole));
        if (defaultIndex >= 0 && defaultIndex < added.size())
            box.setDefaultButton(added[defaultIndex]);
        if (escapeIndex >= 0 && escapeIndex < added.size())
            box.setEscapeButton(added[escapeIndex]);
        if (auto *grid = qobject_cast<QGridLayout *>(box.layout()))
            grid->addItem(new QSpacerItem(widthForCaption(caption, box.font()), 0,
                                          QSizePolicy::Minimum, QSizePolicy::Minimum),
                          grid->rowCount(), 0, 1, grid->columnCount());
        box.exec();
        const int index = added.indexOf(qobject_cast<QPushButton *>(box.clickedButton()));
        return index >= 0 ? index : escapeIndex;
    }

    void showWaitNotice(const QString &text) override
    {
        if (text.isEmpty()) {
            m_notice.reset();
            return;
        }
        QWidget *over = QApplication::activeWindow();
        m_notice = std::make_unique<QLabel>(text, over, Qt::ToolTip);
        m_notice->setMargin(12);
        m_notice->adjustSize();
        const QRect area = over ? over->frameGeometry() : QRect(QPoint(), m_notice->size());
        m_notice->move(area.center() - m_notice->rect().center());
        m_notice->show();
    }

private:
    std::unique_ptr<QLabel> m_notice;
};

Dialogs *installed = nullptr;

} // namespace

Dialogs::~Dialogs() = default;

Dialogs &Dialogs::current()
{
    static QtDialogs real;
    return installed ? *installed : real;
}

void Dialogs::install(Dialogs *dialogs)
{
    installed = dialogs;
}

void installCatalogueWaitFeedback()
{
    TADOConnection::setWaitObserver([](TADOConnection::Wait wait) {
        switch (wait) {
        case TADOConnection::Wait::Started:
            QApplication::setOverrideCursor(Qt::WaitCursor);
            Dialogs::current().showWaitNotice(
                QStringLiteral("Aguardando o catálogo: outro programa está gravando nele..."));
            break;
        case TADOConnection::Wait::Waiting:
            // Paints and window-system events only: no click or key reaches the windows
            // while the statement is still running.
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            break;
        case TADOConnection::Wait::Ended:
            Dialogs::current().showWaitNotice(QString());
            QApplication::restoreOverrideCursor();
            break;
        }
    });
}
