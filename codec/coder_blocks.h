// The code blocks of a coder's batch.
#pragma once

#include "qvt_memory.h"

#include <cstddef>
#include <memory>
#include <new>
#include <type_traits>
#include <vector>

// `count` blocks in one allocation whose pages are mapped in one request, reached through
// pointers a coder may reorder. A batch of two threads takes 3 MiB; blocks allocated one by one
// faulted that in a page at a time, which took 5 ms in a virtual machine, a seventh of a
// 4-megapixel decode. The allocation is kept for the thread's next coder (AllocateReused), so
// that a container's coder of every tile does not map it again.
template <typename Block>
class CoderBlocks {
    // The blocks are released without running destructors.
    static_assert(std::is_trivially_destructible_v<Block>);

public:
    CoderBlocks() = default;
    // Throws std::bad_alloc.
    explicit CoderBlocks(int count) {
        const auto size = BlockBytes(static_cast<std::uint64_t>(count), sizeof(Block));
        if (size)
            m_storage = Storage(static_cast<Block*>(AllocateReused(*size)), KeptDeleter{*size});
        if (!m_storage) throw std::bad_alloc();
        std::uninitialized_value_construct_n(m_storage.get(), count);
        m_blocks.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            m_blocks.push_back(m_storage.get() + i);
    }

    Block*& operator[](std::size_t index) { return m_blocks[index]; }
    Block* operator[](std::size_t index) const { return m_blocks[index]; }

private:
    struct KeptDeleter {
        std::size_t size = 0;
        void operator()(Block* blocks) const noexcept { FreeForReuse(blocks, size); }
    };
    using Storage = std::unique_ptr<Block[], KeptDeleter>;

    Storage m_storage;
    std::vector<Block*> m_blocks;
};
