// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "exchange/title_import.h"

#include <QDialog>

#include <memory>
#include <optional>

class TDm1;

namespace Ui {
class ExchangeWindow;
}

// "Exportar / importar": the catalogue in use exported whole, titles imported from a
// spreadsheet after a preview of every line, and backups made and restored. The ask...
// handlers ask for a file and call the one below them, which tests call directly.
class ExchangeWindow : public QDialog
{
    Q_OBJECT

public:
    explicit ExchangeWindow(TDm1 &dm, QWidget *parent = nullptr);
    ~ExchangeWindow() override;

    // False when the user stopped it.
    bool exportTo(const QString &path, char separator = ';');

    // Reads the file, chooses the columns by their titles and shows the preview.
    void loadImport(const QString &path);
    // The preview for the columns chosen now: what will be added, every line left out.
    void checkImport();
    // Writes the valid lines of the last preview in one transaction; false when the user
    // stopped it, leaving the catalogue as it was.
    bool importValidLines();
    void discardImport();
    const std::optional<Exchange::ImportPlan> &plan() const { return m_plan; }
    QString previewText() const;

    void backupTo(const QString &path);
    // Asks first; false when the user said no.
    bool restoreFrom(const QString &path);

    QString statusText() const;

private:
    void askExport();
    void askImportFile();
    void askBackup();
    void askRestore();
    void fillColumnChoices();
    Exchange::ImportMapping chosenMapping() const;
    void setImportReady(bool ready);
    // The windows' queries read the catalogue again after it changed under them.
    void reopenQueries();
    bool catalogueIsFile() const;
    void setStatus(const QString &text);

    std::unique_ptr<Ui::ExchangeWindow> m_ui;
    TDm1 &m_dm;
    std::unique_ptr<Exchange::TitleImport> m_import;
    std::optional<Exchange::ImportPlan> m_plan;
};
