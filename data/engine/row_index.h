// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

// Maps a row's position to its storage slot. Rows live in chunks of a few thousand, so
// inserting or removing one row moves at most one chunk and a short table of chunk starts,
// whatever the number of rows loaded.
class RowIndex
{
public:
    size_t size() const { return m_size; }

    std::uint32_t at(size_t row) const
    {
        const size_t c = chunkOf(row);
        return m_chunks[c][row - m_starts[c]];
    }

    void set(size_t row, std::uint32_t slot)
    {
        const size_t c = chunkOf(row);
        m_chunks[c][row - m_starts[c]] = slot;
    }

    void pushBack(std::uint32_t slot)
    {
        if (m_chunks.empty() || m_chunks.back().size() >= chunkSize) {
            m_starts.push_back(m_size);
            m_chunks.emplace_back().reserve(chunkSize);
        }
        m_chunks.back().push_back(slot);
        ++m_size;
    }

    void insert(size_t row, std::uint32_t slot)
    {
        if (row == m_size) {
            pushBack(slot);
            return;
        }
        const size_t c = chunkOf(row);
        std::vector<std::uint32_t> &chunk = m_chunks[c];
        chunk.insert(chunk.begin() + std::ptrdiff_t(row - m_starts[c]), slot);
        ++m_size;
        if (chunk.size() >= 2 * chunkSize) {
            std::vector<std::uint32_t> tail(chunk.begin() + chunkSize, chunk.end());
            chunk.resize(chunkSize);
            m_chunks.insert(m_chunks.begin() + std::ptrdiff_t(c) + 1, std::move(tail));
            m_starts.insert(m_starts.begin() + std::ptrdiff_t(c) + 1, 0);
        }
        restart(c);
    }

    void erase(size_t row)
    {
        const size_t c = chunkOf(row);
        std::vector<std::uint32_t> &chunk = m_chunks[c];
        chunk.erase(chunk.begin() + std::ptrdiff_t(row - m_starts[c]));
        --m_size;
        if (chunk.empty()) {
            m_chunks.erase(m_chunks.begin() + std::ptrdiff_t(c));
            m_starts.erase(m_starts.begin() + std::ptrdiff_t(c));
        }
        restart(c);
    }

    size_t memoryUsage() const
    {
        size_t total = m_starts.capacity() * sizeof(size_t);
        for (const auto &chunk : m_chunks)
            total += chunk.capacity() * sizeof(std::uint32_t) + sizeof chunk;
        return total;
    }

private:
    static constexpr size_t chunkSize = 4096;

    size_t chunkOf(size_t row) const
    {
        // Rows only appended fill whole chunks, and reading them in order is the common case:
        // the chunk a row would be in then is where it is, found without a search.
        const size_t full = row / chunkSize;
        if (full < m_starts.size() && m_starts[full] == full * chunkSize &&
            (full + 1 == m_starts.size() || m_starts[full + 1] > row))
            return full;
        const auto it = std::upper_bound(m_starts.begin(), m_starts.end(), row);
        return size_t(it - m_starts.begin()) - 1;
    }

    // Chunk starts from chunk `from` on follow the sizes before them.
    void restart(size_t from)
    {
        for (size_t c = from; c < m_chunks.size(); ++c)
            m_starts[c] = c == 0 ? 0 : m_starts[c - 1] + m_chunks[c - 1].size();
    }

    std::vector<std::vector<std::uint32_t>> m_chunks;
    std::vector<size_t> m_starts;
    size_t m_size = 0;
};
