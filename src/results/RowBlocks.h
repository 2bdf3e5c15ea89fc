#pragma once

#include <array>
#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

/// Append-only storage in blocks of fixed size that never move. A copy of blocks() lets
/// another thread read the items that were there when it was taken while this thread
/// appends more (they land in other slots) or clears (the copy keeps its blocks alive).
template<typename T> class RowBlocks final
{
public:
    static constexpr std::size_t kShift = 12;
    static constexpr std::size_t kBlockSize = std::size_t(1) << kShift;

    struct Block
    {
        std::array<T, kBlockSize> items;
    };
    using Blocks = std::vector<std::shared_ptr<Block>>;

    static const T &at(const Blocks &blocks, std::size_t i)
    {
        return blocks[i >> kShift]->items[i & (kBlockSize - 1)];
    }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const Blocks &blocks() const { return m_blocks; }

    const T &operator[](std::size_t i) const { return at(m_blocks, i); }
    T &operator[](std::size_t i) { return m_blocks[i >> kShift]->items[i & (kBlockSize - 1)]; }
    T &back() { return (*this)[m_size - 1]; }
    const T &back() const { return (*this)[m_size - 1]; }

    void push_back(T &&item)
    {
        if ((m_size >> kShift) == m_blocks.size())
            m_blocks.push_back(std::make_shared<Block>());
        (*this)[m_size] = std::move(item);
        ++m_size;
    }

    void clear()
    {
        m_blocks.clear();
        m_size = 0;
    }

private:
    Blocks m_blocks;
    std::size_t m_size = 0;
};
