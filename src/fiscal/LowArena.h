#pragma once

#include "fiscal/ThermalBlocks.h"

#include <QByteArray>

#include <cstddef>
#include <cstring>
#include <vector>

namespace ostrevo {

// Memory below 4 GiB for what the Thermal blocks point to: their 32-bit address fields
// hold real pointers. On x86-64 the pages come from mmap with MAP_32BIT; elsewhere from
// hinted low addresses, checked. Everything is released with the arena.
class LowArena {
public:
    LowArena() = default;
    ~LowArena();
    LowArena(const LowArena &) = delete;
    LowArena &operator=(const LowArena &) = delete;

    // Zeroed room for `size` bytes. Throws JobError when no low memory can be had.
    void *allocate(std::size_t size);

    // A copy of the text with its NUL, and its address.
    thermal::Address32 text(const QByteArray &bytes);
    // A 32-bit word holding `value`, and its address.
    thermal::Address32 word(std::uint32_t value);
    // A byte holding `value`, and its address.
    thermal::Address32 byte(std::uint8_t value);

    template <typename Block>
    Block *place()
    {
        return static_cast<Block *>(allocate(sizeof(Block)));
    }

    static thermal::Address32 address(const void *p);

private:
    struct Chunk {
        char *base;
        std::size_t size;
        std::size_t used;
    };
    std::vector<Chunk> m_chunks;
};

} // namespace ostrevo
