// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

class TADOQuery;
struct ResultColumn;

enum class TFieldType { AutoInc, Integer, Float, WideString };

// Whether an edit left a value as it was: null equals only null, other values compare as values.
bool sameValue(const QVariant &a, const QVariant &b);

// One column of a dataset, read and written through the dataset's current record. A
// persistent field is declared by its owner before the dataset opens and is matched to the
// result's column by name; an automatic field is made by the dataset for each column.
class TField
{
public:
    TField(const QString &fieldName, TFieldType dataType, int size = 0);
    virtual ~TField();
    TField(const TField &) = delete;
    TField &operator=(const TField &) = delete;

    const QString &fieldName() const { return m_fieldName; }
    TFieldType dataType() const { return m_dataType; }
    // Maximum length in characters of a text field; 0 when unlimited or not text.
    int size() const { return m_size; }
    bool readOnly() const { return m_readOnly || m_dataType == TFieldType::AutoInc; }
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }

    TADOQuery *dataSet() const { return m_dataSet; }
    // Position among the dataset's fields, or -1 while the dataset is closed.
    int index() const { return m_index; }

    bool isNull() const;
    QVariant value() const;
    QString asString() const;
    qint64 asInteger() const;

    void setValue(const QVariant &value);
    void setAsString(const QString &text);
    void clear() { setValue(QVariant()); }

    // The value a new record starts with (null when none); a new record that holds only its
    // fields' defaults is still untouched, and is dropped rather than saved.
    const QVariant &defaultValue() const { return m_defaultValue; }
    void setDefaultValue(const QVariant &value) { m_defaultValue = value; }

    static QString typeName(TFieldType type);

private:
    friend class TADOQuery;
    friend class ResultFields;

    QString m_fieldName;
    TFieldType m_dataType;
    int m_size;
    bool m_readOnly = false;
    QVariant m_defaultValue;
    TADOQuery *m_dataSet = nullptr;
    int m_index = -1;
    int m_column = -1; // column of the result this field reads
    bool m_automatic = false;
};

class TAutoIncField : public TField
{
public:
    explicit TAutoIncField(const QString &fieldName)
        : TField(fieldName, TFieldType::AutoInc)
    {}
};

class TIntegerField : public TField
{
public:
    explicit TIntegerField(const QString &fieldName)
        : TField(fieldName, TFieldType::Integer)
    {}
};

class TWideStringField : public TField
{
public:
    TWideStringField(const QString &fieldName, int size)
        : TField(fieldName, TFieldType::WideString, size)
    {}
};

// The fields a dataset shows of its open result: its persistent fields when it declares any,
// each matched to the result's column of its name and type, otherwise one automatic field per
// column.
class ResultFields
{
public:
    explicit ResultFields(TADOQuery *dataSet)
        : m_dataSet(dataSet)
    {}
    // Persistent fields outlive nothing of the dataset's: they are let go, not deleted.
    ~ResultFields();
    ResultFields(const ResultFields &) = delete;
    ResultFields &operator=(const ResultFields &) = delete;

    void declare(TField *field);
    // A persistent field going away before its dataset.
    void forget(TField *field);

    // Matches the fields to an open result; a field the result lacks or types otherwise
    // throws EDatabaseError naming the dataset, and leaves the fields unbound.
    void bind(const std::vector<ResultColumn> &columns);
    void unbind();
    // The state of one binding, to put back when a new result is refused.
    struct Binding
    {
        std::vector<TField *> fields;
        std::vector<std::unique_ptr<TField>> automatic;
    };
    Binding take();
    void restore(Binding binding);

    const std::vector<TField *> &all() const { return m_fields; }
    TField *find(const QString &fieldName) const;

    // Refuses a text typed longer than its field or column allows, counted in code points as
    // the catalogue counts them; a value the user did not change passes (another program may
    // have stored it longer).
    void checkLengths(const std::vector<ResultColumn> &columns, const std::vector<QVariant> &values,
                      const std::vector<QVariant> &original) const;

private:
    TADOQuery *m_dataSet;
    std::vector<TField *> m_persistent;
    std::vector<std::unique_ptr<TField>> m_automatic;
    std::vector<TField *> m_fields;
};
