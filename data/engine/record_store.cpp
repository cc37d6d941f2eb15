// SPDX-License-Identifier: GPL-3.0-or-later
#include "data/engine/record_store.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>

RecordStore::RecordStore(std::vector<Kind> kinds, std::uint64_t narrowLimit)
    : m_narrowLimit(std::min<std::uint64_t>(narrowLimit, UINT32_MAX))
{
    m_columns.resize(kinds.size());
    for (size_t i = 0; i < kinds.size(); ++i) {
        m_columns[i].kind = kinds[i];
        m_columns[i].offsets.push_back(0);
    }
}

bool RecordStore::isNull(int row, int column) const
{
    return m_columns[size_t(column)].nulls[slot(row)];
}

QVariant RecordStore::value(int row, int column) const
{
    const Column &c = m_columns[size_t(column)];
    const std::uint32_t s = slot(row);
    if (c.nulls[s])
        return {};
    switch (c.kind) {
    case Kind::Integer:
        return QVariant::fromValue<qlonglong>(c.integer(s));
    case Kind::Real:
        return c.real(s);
    case Kind::Text:
        break;
    }
    return text(row, column);
}

QString RecordStore::text(int row, int column) const
{
    const Column &c = m_columns[size_t(column)];
    const std::uint32_t s = slot(row);
    if (c.nulls[s])
        return {};
    switch (c.kind) {
    case Kind::Integer:
        return QString::number(c.integer(s));
    case Kind::Real:
        return QString::number(c.real(s), 'g', 15);
    case Kind::Text:
        break;
    }
    const std::string_view bytes = c.textAt(s);
    return QString::fromUtf8(bytes.data(), qsizetype(bytes.size()));
}

bool RecordStore::utf8(int row, int column, Scratch &scratch, std::string_view &text) const
{
    const Column &c = m_columns[size_t(column)];
    const std::uint32_t s = slot(row);
    if (c.nulls[s]) {
        text = {};
        return true;
    }
    switch (c.kind) {
    case Kind::Integer: {
        const auto result =
            std::to_chars(scratch.data(), scratch.data() + scratch.size(), c.integer(s));
        text = std::string_view(scratch.data(), size_t(result.ptr - scratch.data()));
        return true;
    }
    case Kind::Real:
        return false;
    case Kind::Text:
        break;
    }
    text = c.textAt(s);
    return true;
}

QByteArray RecordStore::bytes(int row, int column) const
{
    const Column &c = m_columns[size_t(column)];
    const std::string_view text = c.textAt(slot(row));
    return QByteArray(text.data(), qsizetype(text.size()));
}

void RecordStore::appendNumber(Column &column, std::int64_t value)
{
    if (column.kind == Kind::Integer && column.integers.empty()) {
        if (value >= INT32_MIN && value <= INT32_MAX) {
            column.narrowIntegers.push_back(std::int32_t(value));
            return;
        }
        column.integers.assignFrom(column.narrowIntegers);
        column.narrowIntegers = {};
    }
    column.integers.push_back(value);
}

void RecordStore::appendText(Column &column, const char *data, size_t size) const
{
    // The end of this value is where the next one would start.
    if (size > 0)
        column.text.append(data, size);
    const std::uint64_t end = column.text.end();
    if (column.wideOffsets.empty() && end > m_narrowLimit) {
        column.wideOffsets.assignFrom(column.offsets);
        column.offsets = {};
    }
    if (column.wideOffsets.empty())
        column.offsets.push_back(std::uint32_t(end));
    else
        column.wideOffsets.push_back(end);
}

void RecordStore::appendNullCell(int column)
{
    Column &c = m_columns[size_t(column)];
    c.nulls.push_back(true);
    if (c.kind == Kind::Text)
        appendText(c, nullptr, 0);
    else
        appendNumber(c, 0);
}

void RecordStore::appendIntegerCell(int column, std::int64_t value)
{
    Column &c = m_columns[size_t(column)];
    c.nulls.push_back(false);
    switch (c.kind) {
    case Kind::Integer:
        appendNumber(c, value);
        break;
    case Kind::Real:
        appendNumber(c, std::bit_cast<std::int64_t>(double(value)));
        break;
    case Kind::Text: {
        const QByteArray digits = QByteArray::number(qlonglong(value));
        appendText(c, digits.constData(), size_t(digits.size()));
        break;
    }
    }
}

void RecordStore::appendRealCell(int column, double value)
{
    Column &c = m_columns[size_t(column)];
    if (c.kind == Kind::Integer)
        convertToText(c);
    c.nulls.push_back(false);
    if (c.kind == Kind::Real) {
        appendNumber(c, std::bit_cast<std::int64_t>(value));
        return;
    }
    const QByteArray digits = QByteArray::number(value, 'g', 15);
    appendText(c, digits.constData(), size_t(digits.size()));
}

void RecordStore::appendUtf8Cell(int column, const char *data, size_t size)
{
    Column &c = m_columns[size_t(column)];
    if (c.kind != Kind::Text)
        convertToText(c);
    c.nulls.push_back(false);
    appendText(c, data, size);
}

void RecordStore::shrinkToFit()
{
    for (Column &c : m_columns) {
        c.narrowIntegers.shrink_to_fit();
        c.integers.shrink_to_fit();
        c.text.shrinkToFit();
        c.offsets.shrink_to_fit();
        c.wideOffsets.shrink_to_fit();
        c.nulls.shrink_to_fit();
    }
}

void RecordStore::appendTextCell(int column, const char *data, size_t size)
{
    Column &c = m_columns[size_t(column)];
    if (!data) {
        c.nulls.push_back(true);
        if (c.kind == Kind::Text)
            appendText(c, nullptr, 0);
        else
            appendNumber(c, 0);
        return;
    }
    const char *end = data + size;
    if (c.kind == Kind::Integer) {
        std::int64_t value = 0;
        const auto [at, error] = std::from_chars(data, end, value);
        if (error == std::errc() && at == end) {
            c.nulls.push_back(false);
            appendNumber(c, value);
            return;
        }
        convertToText(c);
    } else if (c.kind == Kind::Real) {
        double value = 0;
        const auto [at, error] = std::from_chars(data, end, value);
        if (error == std::errc() && at == end) {
            c.nulls.push_back(false);
            appendNumber(c, std::bit_cast<std::int64_t>(value));
            return;
        }
        convertToText(c);
    }
    c.nulls.push_back(false);
    appendText(c, data, size);
}

void RecordStore::endRow()
{
    m_order.pushBack(m_slotCount++);
}

// A column declared as a number may still hold text in some rows; keep every value
// faithfully by turning the column into text.
void RecordStore::convertToText(Column &column) const
{
    Column text;
    text.kind = Kind::Text;
    text.offsets.push_back(0);
    text.nulls = column.nulls;
    for (size_t s = 0; s < column.nulls.size(); ++s) {
        QByteArray bytes;
        if (!column.nulls[s]) {
            bytes = column.kind == Kind::Integer ? QByteArray::number(qlonglong(column.integer(s)))
                                                 : QByteArray::number(column.real(s), 'g', 15);
        }
        appendText(text, bytes.constData(), size_t(bytes.size()));
    }
    column = std::move(text);
}

void RecordStore::appendValue(Column &column, const QVariant &value)
{
    if (!value.isValid() || value.isNull()) {
        column.nulls.push_back(true);
        if (column.kind == Kind::Text)
            appendText(column, nullptr, 0);
        else
            appendNumber(column, 0);
        return;
    }
    const auto type = value.typeId();
    const bool integral = type == QMetaType::Int || type == QMetaType::LongLong ||
                          type == QMetaType::UInt || type == QMetaType::ULongLong;
    if (column.kind == Kind::Integer && !integral)
        convertToText(column);
    if (column.kind == Kind::Real && !integral && type != QMetaType::Double)
        convertToText(column);
    column.nulls.push_back(false);
    switch (column.kind) {
    case Kind::Integer:
        appendNumber(column, value.toLongLong());
        break;
    case Kind::Real:
        appendNumber(column, std::bit_cast<std::int64_t>(value.toDouble()));
        break;
    case Kind::Text: {
        // A byte array is a stored value kept as the engine gave it.
        const QByteArray bytes =
            type == QMetaType::QByteArray ? value.toByteArray() : value.toString().toUtf8();
        appendText(column, bytes.constData(), size_t(bytes.size()));
        break;
    }
    }
}

std::uint32_t RecordStore::appendSlot(const std::vector<QVariant> &values)
{
    for (size_t i = 0; i < m_columns.size(); ++i)
        appendValue(m_columns[i], i < values.size() ? values[i] : QVariant());
    return m_slotCount++;
}

void RecordStore::insertRow(int row, const std::vector<QVariant> &values)
{
    const std::uint32_t s = appendSlot(values);
    m_order.insert(size_t(row), s);
}

void RecordStore::replaceRow(int row, const std::vector<QVariant> &values)
{
    m_order.set(size_t(row), appendSlot(values));
}

void RecordStore::removeRow(int row)
{
    m_order.erase(size_t(row));
}

std::vector<QVariant> RecordStore::rowValues(int row) const
{
    std::vector<QVariant> values;
    values.reserve(m_columns.size());
    for (int c = 0; c < columnCount(); ++c)
        values.push_back(value(row, c));
    return values;
}

std::vector<QVariant> RecordStore::storedRow(int row) const
{
    std::vector<QVariant> values;
    values.reserve(m_columns.size());
    for (int c = 0; c < columnCount(); ++c) {
        if (isNull(row, c))
            values.emplace_back();
        else if (kind(c) == Kind::Text)
            values.emplace_back(bytes(row, c));
        else
            values.push_back(value(row, c));
    }
    return values;
}

int RecordStore::findRow(int column, const QVariant &value) const
{
    if (!value.isValid() || value.isNull())
        return -1;
    const bool numeric = kind(column) == Kind::Integer;
    bool ok = false;
    const qlonglong wanted = numeric ? value.toLongLong(&ok) : 0;
    if (numeric && !ok)
        return -1;
    const QString wantedText = numeric ? QString() : value.toString();
    for (int row = 0; row < rowCount(); ++row) {
        if (isNull(row, column))
            continue;
        if (numeric ? this->value(row, column).toLongLong() == wanted
                    : text(row, column) == wantedText)
            return row;
    }
    return -1;
}

size_t RecordStore::memoryUsage() const
{
    size_t total = m_order.memoryUsage();
    for (const Column &c : m_columns) {
        total += c.narrowIntegers.capacity() * sizeof(std::int32_t) +
                 c.integers.capacity() * sizeof(std::int64_t) + c.text.capacity() +
                 c.offsets.capacity() * sizeof(std::uint32_t) +
                 c.wideOffsets.capacity() * sizeof(std::uint64_t) + c.nulls.capacity() / 8;
    }
    return total;
}

void RecordStore::TextBlocks::append(const char *data, size_t size)
{
    std::uint64_t begin = m_end;
    const std::uint64_t room = blockSize - (begin & mask);
    // A value that does not fit the rest of the block starts the next one.
    if (size > room && room < blockSize)
        begin += room;
    const size_t block = size_t(begin >> shift);
    if (block == m_blocks.size()) {
        m_blocks.emplace_back();
        m_used.push_back(begin);
        // The first block grows as needed, so that small results stay small; a later one is
        // known to be needed whole.
        if (block > 0 || size > blockSize)
            m_blocks.back().reserve(std::max<size_t>(size, blockSize));
    }
    std::vector<char> &bytes = m_blocks[block];
    bytes.insert(bytes.end(), data, data + size);
    m_used[block] = begin + size;
    m_end = begin + size;
    if (size > blockSize) {
        // The positions the large value covers have no block of their own; the next value
        // starts on a fresh block.
        const std::uint64_t next = (m_end + mask) & ~mask;
        for (size_t b = block + 1; b < size_t(next >> shift); ++b) {
            m_blocks.emplace_back();
            m_used.push_back(std::uint64_t(b) << shift);
        }
        m_end = next;
    }
}

void RecordStore::TextBlocks::shrinkToFit()
{
    if (!m_blocks.empty())
        m_blocks.back().shrink_to_fit();
}

size_t RecordStore::TextBlocks::capacity() const
{
    size_t total = m_used.capacity() * sizeof(std::uint64_t);
    for (const std::vector<char> &block : m_blocks)
        total += block.capacity();
    return total;
}
