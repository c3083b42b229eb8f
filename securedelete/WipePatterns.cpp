#include "WipePatterns.h"

#include <cstring>
#include <new>

namespace zqvdod {

unsigned WipePatterns::nextRandom(std::uint32_t& state)
{
    state = state * 214013u + 2531011u;
    return (state >> 16) & 0x7FFFu;
}

bool WipePatterns::prepare(std::uint32_t seed)
{
    if (m_prepared)
        return true;
    std::array<std::unique_ptr<unsigned char[]>, kCount> fresh;
    for (auto& buffer : fresh) {
        buffer.reset(new (std::nothrow) unsigned char[kSize]);
        if (!buffer)
            return false;
    }
    std::memset(fresh[0].get(), 0x00, kSize);
    std::memset(fresh[1].get(), 0xFF, kSize);
    std::uint32_t state = seed;
    for (std::size_t j = 0; j < kSize; ++j)
        fresh[2][j] = static_cast<unsigned char>(nextRandom(state) & 0xFFu);
    m_buffers = std::move(fresh);
    m_prepared = true;
    return true;
}

} // namespace zqvdod
