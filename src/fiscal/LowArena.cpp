#include "fiscal/LowArena.h"

#include "jobs/Errors.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <sys/mman.h>

namespace ostrevo {

namespace {

constexpr std::size_t ChunkSize = 64 * 1024;
constexpr std::uint64_t Limit = std::uint64_t(1) << 32;

bool BelowLimit(const void *p, std::size_t size)
{
    if constexpr (sizeof(void *) <= 4)
        return true;
    const auto at = std::uint64_t(reinterpret_cast<std::uintptr_t>(p));
    return at + size <= Limit;
}

void *MapLow(std::size_t size)
{
    const int flags = MAP_PRIVATE | MAP_ANONYMOUS;
    if constexpr (sizeof(void *) <= 4) {
        void *p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags, -1, 0);
        return p == MAP_FAILED ? nullptr : p;
    }
#if defined(MAP_32BIT)
    void *p = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, flags | MAP_32BIT, -1, 0);
    if (p != MAP_FAILED && BelowLimit(p, size))
        return p;
    if (p != MAP_FAILED)
        ::munmap(p, size);
#endif
    // Without MAP_32BIT: hints in the low 4 GiB, each result checked.
    for (std::uint64_t hint = 0x10000000; hint + size <= Limit; hint += 0x10000000) {
        void *q = ::mmap(reinterpret_cast<void *>(std::uintptr_t(hint)), size, PROT_READ | PROT_WRITE, flags, -1, 0);
        if (q == MAP_FAILED)
            continue;
        if (BelowLimit(q, size))
            return q;
        ::munmap(q, size);
    }
    return nullptr;
}

} // namespace

LowArena::~LowArena()
{
    for (const Chunk &chunk : m_chunks)
        ::munmap(chunk.base, chunk.size);
}

void *LowArena::allocate(std::size_t size)
{
    const std::size_t rounded = (size + 7) & ~std::size_t(7);
    if (m_chunks.empty() || m_chunks.back().size - m_chunks.back().used < rounded) {
        const std::size_t chunkSize = rounded > ChunkSize ? (rounded + 4095) & ~std::size_t(4095) : ChunkSize;
        void *base = MapLow(chunkSize);
        if (!base)
            throw JobError(QStringLiteral("brak pamięci poniżej 4 GiB na bloki sterownika drukarki fiskalnej"));
        m_chunks.push_back({static_cast<char *>(base), chunkSize, 0});
    }
    Chunk &chunk = m_chunks.back();
    char *p = chunk.base + chunk.used;
    chunk.used += rounded;
    return p; // fresh anonymous pages are zero
}

thermal::Address32 LowArena::address(const void *p)
{
    return thermal::Address32(reinterpret_cast<std::uintptr_t>(p));
}

thermal::Address32 LowArena::text(const QByteArray &bytes)
{
    char *p = static_cast<char *>(allocate(std::size_t(bytes.size()) + 1));
    std::memcpy(p, bytes.constData(), std::size_t(bytes.size()));
    p[bytes.size()] = '\0';
    return address(p);
}

thermal::Address32 LowArena::word(std::uint32_t value)
{
    auto *p = static_cast<std::uint32_t *>(allocate(sizeof value));
    *p = value;
    return address(p);
}

thermal::Address32 LowArena::byte(std::uint8_t value)
{
    auto *p = static_cast<std::uint8_t *>(allocate(1));
    *p = value;
    return address(p);
}

} // namespace ostrevo
