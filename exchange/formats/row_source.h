// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <functional>
#include <stdexcept>

namespace Exchange {

// A failure to write or read a table file; the message is Portuguese and ready to show.
class ExchangeError : public std::runtime_error
{
public:
    explicit ExchangeError(const QString &message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

struct Column
{
    QString title;
    // Whole numbers (codes): written as numbers where the format has them.
    bool numeric = false;
};

// The rows a writer reads, one at a time and once, so a whole catalogue never sits in memory.
class RowSource
{
public:
    virtual ~RowSource() = default;

    virtual QList<Column> columns() const = 0;
    // Moves to the next row; false once there is none.
    virtual bool next() = 0;
    // The current row's value as UTF-8, valid until next(); a null view for an empty cell.
    virtual QByteArrayView utf8(int column) = 0;
    // How many rows there will be, for progress; -1 when unknown.
    virtual qint64 rowCount() const { return -1; }
};

// Told now and then how many rows were written; false stops the writing.
using Progress = std::function<bool(qint64 rowsWritten)>;

} // namespace Exchange
