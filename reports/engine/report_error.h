// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <stdexcept>

// The engine's own failure: a bad layout, a field the dataset lacks, an unreadable report file.
// The message is Portuguese and ready to show.
class ReportError : public std::runtime_error
{
public:
    explicit ReportError(const QString &message)
        : std::runtime_error(message.toStdString())
        , m_message(message)
    {}

    QString message() const { return m_message; }

private:
    QString m_message;
};
