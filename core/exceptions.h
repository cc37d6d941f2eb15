// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

#include <exception>
#include <functional>

// The one exception family of the program. Each failure carries the class name that the
// user sees in front of its message, so the name is data, not RTTI.
class Exception : public std::exception
{
public:
    explicit Exception(const QString &message);
    ~Exception() override;

    virtual QString className() const { return QStringLiteral("Exception"); }
    const QString &message() const { return m_message; }
    const char *what() const noexcept override { return m_what.constData(); }

private:
    QString m_message;
    QByteArray m_what;
};

// A refusal of the data-access layer itself; the message names the dataset.
class EDatabaseError : public Exception
{
public:
    using Exception::Exception;
    QString className() const override { return QStringLiteral("EDatabaseError"); }
};

// A delete refused because other rows still refer to the row (the dataset's delete guard).
class ERowInUse : public EDatabaseError
{
public:
    using EDatabaseError::EDatabaseError;
    QString className() const override { return QStringLiteral("ERowInUse"); }
};

// A failure of the storage engine. Its text loses trailing periods, spaces and line breaks,
// as the general error handler adds its own period.
class EOleException : public Exception
{
public:
    explicit EOleException(const QString &description);
    QString className() const override { return QStringLiteral("EOleException"); }
};

// A save refused because another program changed or deleted the row after it was read. The
// pending edit stays; discardAndReload() drops it and reads the row as it is now. `changedBy`
// names who changed it and when ("por maria às 14:32") when the catalogue knows.
class ERowConflict : public EOleException
{
public:
    ERowConflict(const QString &description, std::function<void()> discardAndReload,
                 const QString &changedBy = {})
        : EOleException(description)
        , m_discardAndReload(std::move(discardAndReload))
        , m_changedBy(changedBy)
    {}
    void discardAndReload() const { m_discardAndReload(); }
    QString changedBy() const { return m_changedBy; }

private:
    std::function<void()> m_discardAndReload;
    QString m_changedBy;
};

// Silent abort: reaches the general error handler and shows nothing.
class EAbort : public Exception
{
public:
    EAbort()
        : Exception(QStringLiteral("Operation aborted"))
    {}
    QString className() const override { return QStringLiteral("EAbort"); }
};

class EInOutError : public Exception
{
public:
    EInOutError(int errorCode, const QString &message);
    QString className() const override { return QStringLiteral("EInOutError"); }
    int errorCode() const { return m_errorCode; }

private:
    int m_errorCode;
};

// Removes trailing periods, spaces and line breaks from an engine's description.
QString trimDescription(QString text);
