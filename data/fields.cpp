// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/fields.h"

#include "core/exceptions.h"
#include "data/query.h"

TField::TField(const QString &fieldName, TFieldType dataType, int size)
    : m_fieldName(fieldName)
    , m_dataType(dataType)
    , m_size(size)
{}

TField::~TField()
{
    // Members of one owner may go in either order: a field leaving first tells its dataset.
    if (m_dataSet && !m_automatic)
        m_dataSet->removeField(this);
}

QVariant TField::value() const
{
    if (!m_dataSet || m_column < 0)
        return {};
    return m_dataSet->currentValue(m_column);
}

bool TField::isNull() const
{
    const QVariant v = value();
    return !v.isValid() || v.isNull();
}

QString TField::asString() const
{
    const QVariant v = value();
    if (!v.isValid() || v.isNull())
        return {};
    if (v.typeId() == QMetaType::Double)
        return QString::number(v.toDouble(), 'g', 15);
    return v.toString();
}

qint64 TField::asInteger() const
{
    return value().toLongLong();
}

void TField::setValue(const QVariant &value)
{
    if (!m_dataSet || m_column < 0)
        throw EDatabaseError(
            QStringLiteral("Field '%1' is not bound to an open dataset").arg(m_fieldName));
    m_dataSet->setCurrentValue(this, value);
}

void TField::setAsString(const QString &text)
{
    if (m_dataType == TFieldType::WideString) {
        setValue(text);
        return;
    }
    if (text.isEmpty()) {
        clear();
        return;
    }
    bool ok = false;
    if (m_dataType == TFieldType::Float) {
        const double d = text.toDouble(&ok);
        if (ok) {
            setValue(d);
            return;
        }
    } else {
        const qlonglong n = text.trimmed().toLongLong(&ok);
        if (ok) {
            setValue(n);
            return;
        }
    }
    throw EDatabaseError(
        QStringLiteral("'%1' is not a valid value for field '%2'").arg(text, m_fieldName));
}

QString TField::typeName(TFieldType type)
{
    switch (type) {
    case TFieldType::AutoInc:
        return QStringLiteral("AutoInc");
    case TFieldType::Integer:
        return QStringLiteral("Integer");
    case TFieldType::Float:
        return QStringLiteral("Float");
    case TFieldType::WideString:
        return QStringLiteral("WideString");
    }
    return {};
}
