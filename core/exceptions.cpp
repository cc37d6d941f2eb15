// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exceptions.h"

Exception::Exception(const QString &message)
    : m_message(message)
    , m_what(message.toUtf8())
{}

Exception::~Exception() = default;

EOleException::EOleException(const QString &description)
    : Exception(trimDescription(description))
{}

EInOutError::EInOutError(int errorCode, const QString &message)
    : Exception(message)
    , m_errorCode(errorCode)
{}

QString trimDescription(QString text)
{
    while (!text.isEmpty()) {
        const QChar last = text.back();
        if (last != u'.' && last != u' ' && last != u'\r' && last != u'\n')
            break;
        text.chop(1);
    }
    return text;
}
