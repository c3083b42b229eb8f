#include "LargeMemory.h"

#include <cstdint>

#include <sys/mman.h>

namespace zqvcrypto {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

std::size_t mappedLength(std::size_t bytes)
{
    return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

} // namespace

unsigned char* mapLarge(std::size_t bytes)
{
    if (bytes == 0 || bytes > SIZE_MAX - 2 * kHugePage)
        return nullptr;
    // Mapped with room to start on a huge-page boundary; the rest is given back.
    const std::size_t length = mappedLength(bytes);
    void* mapped = ::mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED)
        return nullptr;
    auto* base = static_cast<unsigned char*>(mapped);
    const auto address = reinterpret_cast<std::uintptr_t>(base);
    unsigned char* aligned = base + (kHugePage - address % kHugePage) % kHugePage;
    if (aligned > base)
        ::munmap(base, static_cast<std::size_t>(aligned - base));
    const auto tail = static_cast<std::size_t>((base + length + kHugePage) - (aligned + length));
    if (tail > 0)
        ::munmap(aligned + length, tail);
#ifdef MADV_HUGEPAGE
    ::madvise(aligned, length, MADV_HUGEPAGE);
#endif
    return aligned;
}

void unmapLarge(unsigned char* memory, std::size_t bytes)
{
    if (memory != nullptr)
        ::munmap(memory, mappedLength(bytes));
}

} // namespace zqvcrypto
