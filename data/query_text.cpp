// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/query_text.h"

#include "data/engine/sql_text.h"

void QueryText::setLines(const QStringList &lines)
{
    setLines(lines, {});
}

void QueryText::setLines(const QStringList &lines, const Parameters &parameters)
{
    m_lines = lines;
    m_parameterNames = scanParameterNames(text());
    m_parameters = parameters;
}

bool QueryText::setParameter(const QString &name, const QVariant &value)
{
    for (const QString &known : std::as_const(m_parameterNames)) {
        if (known.compare(name, Qt::CaseInsensitive) == 0) {
            m_parameters.insert(known, value);
            return true;
        }
    }
    return false;
}

QVariant QueryText::parameter(const QString &name) const
{
    for (auto it = m_parameters.cbegin(); it != m_parameters.cend(); ++it) {
        if (it.key().compare(name, Qt::CaseInsensitive) == 0)
            return it.value();
    }
    return {};
}
