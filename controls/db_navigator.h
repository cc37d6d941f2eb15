// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include <array>
#include <initializer_list>

class QToolButton;
class TDataSource;

// The navigator's actions; their order is their numbering.
enum TNavigateBtn {
    nbFirst,
    nbPrior,
    nbNext,
    nbLast,
    nbInsert,
    nbDelete,
    nbEdit,
    nbPost,
    nbCancel,
    nbRefresh
};

constexpr int navigateBtnCount = nbRefresh + 1;

// A set of navigator actions.
class TNavButtonSet
{
public:
    constexpr TNavButtonSet() = default;
    constexpr TNavButtonSet(std::initializer_list<TNavigateBtn> buttons)
    {
        for (TNavigateBtn b : buttons)
            m_bits |= 1u << b;
    }
    constexpr bool contains(TNavigateBtn button) const { return m_bits & (1u << button); }
    constexpr bool operator==(const TNavButtonSet &) const = default;
    static constexpr TNavButtonSet all()
    {
        return {nbFirst,  nbPrior, nbNext, nbLast,   nbInsert,
                nbDelete, nbEdit,  nbPost, nbCancel, nbRefresh};
    }

private:
    unsigned m_bits = 0;
};

// A row of buttons that move through and change the records of a data source. Its buttons
// enable themselves from the dataset's state; it is no tab stop. Other code runs any of the
// ten actions through BtnClick, whether or not its button is shown.
class TDBNavigator : public QWidget
{
    Q_OBJECT

public:
    explicit TDBNavigator(QWidget *parent = nullptr);
    ~TDBNavigator() override;

    TDataSource *dataSource() const { return m_dataSource; }
    void setDataSource(TDataSource *dataSource);

    TNavButtonSet visibleButtons() const { return m_visible; }
    void setVisibleButtons(TNavButtonSet buttons);

    // Runs the action on the dataset; nothing while the dataset is closed. Returns whether it
    // ran. Failures of the dataset propagate to the caller.
    bool BtnClick(TNavigateBtn button);

    // The button of an action (null when it is not shown), for tests and accessibility.
    QToolButton *button(TNavigateBtn button) const;

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void updateButtons();
    void layoutButtons();

    TDataSource *m_dataSource = nullptr;
    TNavButtonSet m_visible = TNavButtonSet::all();
    std::array<QToolButton *, navigateBtnCount> m_buttons{};
    QMetaObject::Connection m_connections[4];
};

// The picture of an action, as a navigator draws it: black, or greyed for a disabled button.
QPixmap navigatorPicture(TNavigateBtn button, bool enabled);
