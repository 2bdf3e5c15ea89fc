#pragma once

#include <cstddef>
#include <memory>
#include <new>
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

    /// Room for kBlockSize items, made one by one as they are appended: a block is not
    /// filled with empty items first, which would write all of it twice.
    struct Block
    {
        Block() {} // leaves the room as it is
        ~Block()
        {
            for (std::size_t i = 0; i < made; ++i)
                item(i).~T();
        }
        Block(const Block &) = delete;
        Block &operator=(const Block &) = delete;

        void *slot(std::size_t i) { return room + i * sizeof(T); }
        T &item(std::size_t i) { return *std::launder(reinterpret_cast<T *>(room) + i); }
        const T &item(std::size_t i) const
        {
            return *std::launder(reinterpret_cast<const T *>(room) + i);
        }

        alignas(T) std::byte room[sizeof(T) * kBlockSize];
        std::size_t made = 0;
    };
    using Blocks = std::vector<std::shared_ptr<Block>>;

    static const T &at(const Blocks &blocks, std::size_t i)
    {
        return blocks[i >> kShift]->item(i & (kBlockSize - 1));
    }

    RowBlocks() = default;
    // Two stores appending into one shared block would make its items twice.
    RowBlocks(const RowBlocks &) = delete;
    RowBlocks &operator=(const RowBlocks &) = delete;
    RowBlocks(RowBlocks &&other) noexcept
        : m_blocks(std::move(other.m_blocks)), m_size(std::exchange(other.m_size, 0))
    {
        other.m_blocks.clear();
    }
    RowBlocks &operator=(RowBlocks &&other) noexcept
    {
        m_blocks = std::move(other.m_blocks);
        other.m_blocks.clear();
        m_size = std::exchange(other.m_size, 0);
        return *this;
    }

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    const Blocks &blocks() const { return m_blocks; }

    const T &operator[](std::size_t i) const { return at(m_blocks, i); }
    T &operator[](std::size_t i) { return m_blocks[i >> kShift]->item(i & (kBlockSize - 1)); }
    T &back() { return (*this)[m_size - 1]; }
    const T &back() const { return (*this)[m_size - 1]; }

    void push_back(T &&item)
    {
        if ((m_size >> kShift) == m_blocks.size())
            m_blocks.push_back(std::make_shared<Block>());
        Block &block = *m_blocks.back();
        ::new (block.slot(block.made)) T(std::move(item));
        ++block.made;
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
