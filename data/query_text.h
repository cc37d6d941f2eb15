// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <QVariant>

// A query's statement as its lines, the named parameters it uses (":name") and the values
// given to them. Names match whatever their letters' case.
class QueryText
{
public:
    using Parameters = QHash<QString, QVariant>;

    // New lines forget every value given before.
    void setLines(const QStringList &lines);
    // New lines with their values, as a statement run in steps brings them.
    void setLines(const QStringList &lines, const Parameters &parameters);

    const QStringList &lines() const { return m_lines; }
    QString text() const { return m_lines.join(u'\n'); }
    const QStringList &parameterNames() const { return m_parameterNames; }
    const Parameters &parameters() const { return m_parameters; }

    // False when the statement has no such parameter.
    bool setParameter(const QString &name, const QVariant &value);
    // Invalid when none was given.
    QVariant parameter(const QString &name) const;

private:
    QStringList m_lines;
    QStringList m_parameterNames;
    Parameters m_parameters;
};
