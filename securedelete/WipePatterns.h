#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace zqvdod {

// The three overwrite patterns: zeros, 0xFF and pseudo-random bytes. Built
// once and reused for every file, so memory stays constant whatever the size.
class WipePatterns
{
public:
    static constexpr std::size_t kSize = 65536;
    static constexpr int kCount = 3;

    // Builds the buffers on first use. A failed attempt leaves nothing behind,
    // so the next call tries again.
    [[nodiscard]] bool prepare(std::uint32_t seed);
    [[nodiscard]] bool prepared() const { return m_prepared; }
    [[nodiscard]] const unsigned char* buffer(int index) const
    {
        return m_buffers[static_cast<std::size_t>(index)].get();
    }

    // One step of the generator that fills the random buffer.
    static unsigned nextRandom(std::uint32_t& state);

private:
    std::array<std::unique_ptr<unsigned char[]>, kCount> m_buffers;
    bool m_prepared = false;
};

} // namespace zqvdod
