// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QFont>
#include <QPointer>
#include <QTableView>

class TADOQuery;
class TDataSource;
class TDBGridModel;

// A read-only grid over a data source: one automatic column per field of the dataset,
// titled by the field name, a title row, and a narrow indicator column marking the current
// record. Cells are read straight from the dataset on demand, so a result of millions of
// records costs no more than the rows on screen. Clicking a row moves the current record.
// In a .ui file promote a QTableView to it (header "controls/db_grid.h"); the cell font is
// the widget's font, the title font the property titleFont.
class TDBGrid : public QTableView
{
    Q_OBJECT
    Q_PROPERTY(QFont titleFont READ titleFont WRITE setTitleFont)

public:
    explicit TDBGrid(QWidget *parent = nullptr);
    ~TDBGrid() override;

    TDataSource *dataSource() const;
    void setDataSource(TDataSource *dataSource);
    // The data source's dataset, or null.
    TADOQuery *dataSet() const;

    // The automatic columns as the grid last laid them out.
    int columnCount() const;
    QString columnTitle(int column) const;

    QFont titleFont() const { return m_titleFont; }
    void setTitleFont(const QFont &font);

    static constexpr int indicatorWidth = 12;

protected:
    void changeEvent(QEvent *event) override;

private:
    void dataSetChanged();
    void followCurrentRecord();
    void currentRowChanged(const QModelIndex &current);
    void updateRowHeight();

    TDBGridModel *m_model;
    QPointer<TDataSource> m_dataSource;
    QMetaObject::Connection m_connections[2];
    QFont m_titleFont;
    bool m_following = false;
};
