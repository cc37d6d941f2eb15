// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/db_grid.h"

#include "controls/shown_text.h"
#include "data/data_source.h"
#include "data/query.h"
#include "shell/error_handler.h"

#include <QAbstractTableModel>
#include <QEvent>
#include <QHeaderView>
#include <QPainter>
#include <QScopedValueRollback>

#include <vector>

// Reads the dataset by position; it keeps only the shape of the result (row count, titles)
// between resets, so the view never asks for a record that a reset has not announced.
class TDBGridModel : public QAbstractTableModel
{
public:
    explicit TDBGridModel(QObject *parent)
        : QAbstractTableModel(parent)
    {}

    void reload(TADOQuery *dataSet)
    {
        beginResetModel();
        m_dataSet = dataSet;
        m_rows = 0;
        m_titles.clear();
        m_numeric.clear();
        if (dataSet && dataSet->active()) {
            m_rows = dataSet->recordCount();
            for (int i = 0; i < dataSet->fieldCount(); ++i) {
                const TField *f = dataSet->field(i);
                m_titles << f->fieldName();
                m_numeric.push_back(f->dataType() != TFieldType::WideString);
            }
        }
        endResetModel();
    }

    int rowCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : m_rows;
    }

    int columnCount(const QModelIndex &parent = {}) const override
    {
        return parent.isValid() ? 0 : int(m_titles.size());
    }

    QVariant data(const QModelIndex &index, int role) const override
    {
        if (!checkIndex(index, CheckIndexOption::IndexIsValid))
            return {};
        if (role == Qt::DisplayRole) {
            // While control updates are suspended the dataset may change under the last
            // announced shape; read only what still exists.
            if (!m_dataSet || !m_dataSet->active() || index.column() >= m_dataSet->fieldCount())
                return QString();
            return ShownText::of(*m_dataSet, index.row(), index.column());
        }
        if (role == Qt::TextAlignmentRole) {
            const Qt::Alignment h =
                m_numeric[size_t(index.column())] ? Qt::AlignRight : Qt::AlignLeft;
            return QVariant::fromValue(h | Qt::AlignVCenter);
        }
        return {};
    }

    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
            section < m_titles.size())
            return m_titles[section];
        return {};
    }

    Qt::ItemFlags flags(const QModelIndex &index) const override
    {
        if (!index.isValid())
            return Qt::NoItemFlags;
        return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    }

    const QStringList &titles() const { return m_titles; }

private:
    QPointer<TADOQuery> m_dataSet;
    int m_rows = 0;
    QStringList m_titles;
    std::vector<bool> m_numeric;
};

namespace {

// The record indicator: a narrow row header, blank but for a triangle on the current row.
class IndicatorHeader : public QHeaderView
{
public:
    explicit IndicatorHeader(QWidget *parent)
        : QHeaderView(Qt::Vertical, parent)
    {
        setFixedWidth(TDBGrid::indicatorWidth);
        setSectionResizeMode(QHeaderView::Fixed);
        setSectionsClickable(false);
        setHighlightSections(false);
    }

    QSize sizeHint() const override
    {
        // Never scans the sections: a result may have millions of rows.
        return {TDBGrid::indicatorWidth, defaultSectionSize()};
    }

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override
    {
        QHeaderView::paintSection(painter, rect, logicalIndex);
        const QModelIndex current =
            selectionModel() ? selectionModel()->currentIndex() : QModelIndex();
        if (!current.isValid() || current.row() != logicalIndex)
            return;
        const QPointF c = QRectF(rect).center();
        const qreal h = 4.0;
        const QPointF triangle[] = {
            {c.x() - h / 2, c.y() - h}, {c.x() + h / 2, c.y()}, {c.x() - h / 2, c.y() + h}};
        painter->save();
        // Draw within this section whatever clip the header's own painting left.
        painter->setClipRect(rect);
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(Qt::NoPen);
        painter->setBrush(palette().color(QPalette::WindowText));
        painter->drawPolygon(triangle, 3);
        painter->restore();
    }
};

} // namespace

TDBGrid::TDBGrid(QWidget *parent)
    : QTableView(parent)
    , m_model(new TDBGridModel(this))
{
    setVerticalHeader(new IndicatorHeader(this));
    setModel(m_model);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setWordWrap(false);
    setTabKeyNavigation(false);

    QHeaderView *titles = horizontalHeader();
    titles->setSectionResizeMode(QHeaderView::Interactive);
    titles->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    titles->setHighlightSections(false);
    titles->setSectionsClickable(false);
    titles->setMinimumSectionSize(1);

    m_titleFont = font();
    m_titleFont.setBold(true);
    titles->setFont(m_titleFont);
    updateRowHeight();

    connect(selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { currentRowChanged(current); });
}

TDBGrid::~TDBGrid() = default;

void TDBGrid::setDataSource(TDataSource *dataSource)
{
    for (auto &c : m_connections)
        disconnect(c);
    m_dataSource = dataSource;
    if (dataSource) {
        m_connections[0] =
            connect(dataSource, &TDataSource::dataSetChanged, this, [this] { dataSetChanged(); });
        m_connections[1] = connect(dataSource, &TDataSource::dataSetScrolled, this,
                                   [this] { followCurrentRecord(); });
    }
    dataSetChanged();
}

TDataSource *TDBGrid::dataSource() const
{
    return m_dataSource;
}

TADOQuery *TDBGrid::dataSet() const
{
    return m_dataSource ? m_dataSource->dataSet() : nullptr;
}

int TDBGrid::columnCount() const
{
    return m_model->columnCount();
}

QString TDBGrid::columnTitle(int column) const
{
    return m_model->titles().value(column);
}

void TDBGrid::setTitleFont(const QFont &font)
{
    m_titleFont = font;
    horizontalHeader()->setFont(font);
}

void TDBGrid::changeEvent(QEvent *event)
{
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateRowHeight();
}

// Every row has the same height, fixed by the cell font, so the view never measures rows.
void TDBGrid::updateRowHeight()
{
    const int height = fontMetrics().height() + 3;
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(height);
}

void TDBGrid::dataSetChanged()
{
    m_model->reload(dataSet());
    followCurrentRecord();
}

void TDBGrid::followCurrentRecord()
{
    const TADOQuery *ds = dataSet();
    const int row = ds && ds->active() ? ds->recNo() : -1;
    QScopedValueRollback following(m_following, true);
    if (row < 0 || row >= m_model->rowCount() || m_model->columnCount() == 0) {
        selectionModel()->clearCurrentIndex();
        return;
    }
    const int column = qMax(0, currentIndex().column());
    const QModelIndex index = m_model->index(row, column);
    selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    scrollTo(index);
}

void TDBGrid::currentRowChanged(const QModelIndex &current)
{
    if (m_following || !current.isValid())
        return;
    TADOQuery *ds = dataSet();
    if (!ds || !ds->active() || ds->recNo() == current.row())
        return;
    const int row = current.row();
    guarded([ds, row] { ds->setRecNo(row); })();
    // A refused move leaves the dataset where it was; so must the grid.
    if (ds->recNo() != row)
        followCurrentRecord();
}
