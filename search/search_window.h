// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QLabel;
class TADOConnection;
class TDBGrid;
class TDm1;

namespace Ui {
class TForm4;
}
namespace ColumnFit {
class Learning;
}

// What the search window looks for; the values are the ones callers hand over.
enum SearchKind { SoftwareSearch = 1, MediaSearch = 2 };

// The search window: runs its first search while it is constructed; a failure there
// propagates to the caller and no window is left behind.
class TForm4 : public QDialog
{
    Q_OBJECT

public:
    TForm4(QWidget *owner, const QString &text, int kind, TDm1 &dm);
    ~TForm4() override;

    int TipoBusca = 0;
    QString TextoBusca;
    QString SqlBusca;

    void ExecutaPesquisa();
    void AjustaColunas(TDBGrid &grid);

    void BitBtn1Click();
    void BitBtn2Click();
    // Enter with text searches and consumes the key (sets it to 0).
    void PesquisaAtualKeyPress(QChar &key);

    QString statusText() const;

    // "Exportar resultados..." (menu of the grid, Ctrl+E): what the grid shows, its titles
    // and rows in order, into a spreadsheet or page. False when the user stopped it.
    bool exportResults(const QString &path, char separator = ';');
    // A click on a column title: sorts by that column, and the other way on the next click.
    void sortByColumn(int column);
    int sortColumn() const { return m_sortColumn; }
    bool sortDescending() const { return m_sortDescending; }
    // A double click on a result: hands its kind and code to the window that registers it.
    using OpenRecord = std::function<void(int kind, qint64 code)>;
    void setOpenRecord(OpenRecord open) { m_openRecord = std::move(open); }
    void openResult(int record);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void setStatus(const QString &text);
    // The connection that words the accent-free search when "Ignorar acentos" is ticked.
    const TADOConnection *accentFree();
    // False when the user stopped the search; the previous result then stays.
    bool runStatement(const QString &firstLine, const QString &from, const QString &where);
    bool runLines(const QStringList &lines);
    void askExportResults();
    void showGridMenu(const QPoint &position);

    std::unique_ptr<Ui::TForm4> m_ui;
    QLabel *m_statusPanel;
    TDm1 &m_dm;
    // When a long search or fit last let the event loop run.
    QElapsedTimer m_served;
    // The title font's bounds learnt beside a search's read, for the fit after it.
    std::unique_ptr<ColumnFit::Learning> m_learning;
    // The statement before any sort was added to it; empty while the result is unsorted.
    QStringList m_unsortedLines;
    int m_sortColumn = -1;
    bool m_sortDescending = false;
    OpenRecord m_openRecord;
};
