// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QVariant>

#include <memory>

class TDm1;

namespace Ui {
class KindsWindow;
}

// The kinds of content a title may have (software, game, film ...): added, renamed and
// removed here, on DataSource7's dataset, which the software window's list shows. No two kinds
// share a name, whatever the letter case; a kind a title has is never removed.
class KindsWindow : public QDialog
{
    Q_OBJECT

public:
    explicit KindsWindow(TDm1 &dm, QWidget *parent = nullptr);
    ~KindsWindow() override;

    // The buttons' handlers; each reads the kinds afresh, so another program's changes count.
    void ButtonAddClick();
    void ButtonRenameClick();
    void ButtonRemoveClick();

private:
    // Reopens the kinds and lists them, choosing the one with `code` when given.
    void reload(const QVariant &code = {});
    QVariant chosenCode() const;
    QString chosenName() const;
    // The name typed, trimmed; empty (after saying why) when it cannot be saved for `code`.
    QString acceptableName(const QVariant &code);
    int titlesWithKind(const QVariant &code) const;

    TDm1 &m_dm;
    std::unique_ptr<Ui::KindsWindow> m_ui;
};
