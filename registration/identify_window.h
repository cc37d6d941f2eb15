// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "identify/identify.h"

#include <QDialog>

#include <atomic>
#include <memory>

class QThread;
class TDm1;

namespace Ui {
class IdentifyWindow;
}

// Reads a mounted medium or a disc image in a worker thread, shows the titles it proposes
// and saves the medium with the ticked ones in one transaction. Esc or "Cancelar" stops a
// reading at once and keeps nothing of it.
class IdentifyWindow : public QDialog
{
    Q_OBJECT

public:
    explicit IdentifyWindow(TDm1 &dm, QWidget *parent = nullptr);
    ~IdentifyWindow() override;

    void ReadClick();
    void CancelClick();
    void SaveClick();
    void BrowseClick();

    bool reading() const { return m_thread != nullptr; }

    // Folders where removable media are mounted, offered first.
    static QStringList mountedMedia();

protected:
    void reject() override;

private:
    void showProgress(const Identify::Progress &progress);
    void readingDone(const Identify::Result &result);
    void setReading(bool reading);
    void loadMedia();
    // Marks the titles the chosen medium already holds: shown, but not to be added.
    void markExisting();
    QList<Identify::Title> chosenTitles() const;

    TDm1 &m_dm;
    std::unique_ptr<Ui::IdentifyWindow> m_ui;
    QThread *m_thread = nullptr;
    std::atomic<bool> m_cancel{false};
    QList<Identify::Title> m_titles;
};
