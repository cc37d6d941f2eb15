// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/fields.h"

#include "core/exceptions.h"
#include "data/engine/backend.h"
#include "data/query.h"

#include <algorithm>

namespace {

TFieldType fieldType(const ResultColumn &column)
{
    if (column.key)
        return TFieldType::AutoInc;
    switch (column.kind) {
    case RecordStore::Kind::Integer:
        return TFieldType::Integer;
    case RecordStore::Kind::Real:
        return TFieldType::Float;
    case RecordStore::Kind::Text:
        break;
    }
    return TFieldType::WideString;
}

bool compatible(TFieldType wanted, TFieldType actual)
{
    const auto numeric = [](TFieldType t) {
        return t == TFieldType::AutoInc || t == TFieldType::Integer;
    };
    if (numeric(wanted))
        return numeric(actual);
    return wanted == actual;
}

} // namespace

bool sameValue(const QVariant &a, const QVariant &b)
{
    const bool aNull = !a.isValid() || a.isNull();
    const bool bNull = !b.isValid() || b.isNull();
    if (aNull || bNull)
        return aNull == bNull;
    return a == b;
}

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

ResultFields::~ResultFields()
{
    for (TField *f : m_persistent) {
        f->m_dataSet = nullptr;
        f->m_column = -1;
    }
}

void ResultFields::declare(TField *field)
{
    field->m_dataSet = m_dataSet;
    m_persistent.push_back(field);
}

void ResultFields::forget(TField *field)
{
    std::erase(m_persistent, field);
    std::erase(m_fields, field);
}

void ResultFields::bind(const std::vector<ResultColumn> &columns)
{
    m_fields.clear();
    m_automatic.clear();
    const auto fail = [this](const QString &message) {
        throw EDatabaseError(m_dataSet->name() + QStringLiteral(": ") + message);
    };
    const auto columnNamed = [&columns](const QString &fieldName) {
        for (size_t i = 0; i < columns.size(); ++i) {
            if (columns[i].name.compare(fieldName, Qt::CaseInsensitive) == 0)
                return int(i);
        }
        return -1;
    };
    if (m_persistent.empty()) {
        for (size_t i = 0; i < columns.size(); ++i) {
            const ResultColumn &c = columns[i];
            auto field = std::make_unique<TField>(c.name, fieldType(c), c.size);
            field->m_dataSet = m_dataSet;
            field->m_automatic = true;
            field->m_column = int(i);
            field->m_index = int(i);
            m_fields.push_back(field.get());
            m_automatic.push_back(std::move(field));
        }
        return;
    }
    for (TField *f : m_persistent) {
        const int column = columnNamed(f->fieldName());
        if (column < 0)
            fail(QStringLiteral("Field '%1' not found").arg(f->fieldName()));
        const TFieldType actual = fieldType(columns[size_t(column)]);
        if (!compatible(f->dataType(), actual)) {
            fail(QStringLiteral("Type mismatch for field '%1', expecting: %2 actual: %3")
                     .arg(f->fieldName(), TField::typeName(f->dataType()),
                          TField::typeName(actual)));
        }
    }
    for (TField *f : m_persistent) {
        f->m_column = columnNamed(f->fieldName());
        f->m_index = int(m_fields.size());
        m_fields.push_back(f);
    }
}

void ResultFields::unbind()
{
    m_fields.clear();
    m_automatic.clear();
    for (TField *f : m_persistent) {
        f->m_column = -1;
        f->m_index = -1;
    }
}

ResultFields::Binding ResultFields::take()
{
    return {std::move(m_fields), std::move(m_automatic)};
}

void ResultFields::restore(Binding binding)
{
    m_fields = std::move(binding.fields);
    m_automatic = std::move(binding.automatic);
}

TField *ResultFields::find(const QString &fieldName) const
{
    for (TField *f : m_fields) {
        if (f->fieldName().compare(fieldName, Qt::CaseInsensitive) == 0)
            return f;
    }
    return nullptr;
}

void ResultFields::checkLengths(const std::vector<ResultColumn> &columns,
                                const std::vector<QVariant> &values,
                                const std::vector<QVariant> &original) const
{
    for (const TField *f : m_fields) {
        const size_t column = size_t(f->m_column);
        const int limit = f->size() > 0 ? f->size() : columns[column].size;
        if (limit <= 0 || f->dataType() != TFieldType::WideString)
            continue;
        if (sameValue(values[column], original[column]))
            continue;
        const QVariant &v = values[column];
        const qsizetype length = v.isNull() ? 0 : v.toString().toUcs4().size();
        if (length > limit) {
            throw EDatabaseError(m_dataSet->name() +
                                 QStringLiteral(": O campo '%1' aceita no máximo %2 caracteres, "
                                                "e o texto digitado tem %3; nada foi salvo")
                                     .arg(f->fieldName())
                                     .arg(limit)
                                     .arg(length));
        }
    }
}
