#pragma once

#include <cstdint>

namespace zqvcrypto {

// The cost of deriving a key from a password (Argon2id), stored in every file
// and every text message.
struct Argon2Params
{
    std::uint32_t memoryKiB = 0;
    std::uint32_t iterations = 0;
    std::uint32_t lanes = 0;
};

// What new files and messages are made with: about half a second on a
// two-core machine. Stored in each of them, so it can be raised later without
// breaking older ones.
inline constexpr Argon2Params kDefaultArgon2Params{128u * 1024, 3, 2};

// The most a stored cost may ask for. A stored cost is checked against these
// before anything is derived, so a crafted file or text cannot make us
// allocate or compute without bound.
struct Argon2Limits
{
    std::uint32_t maxMemoryKiB = 0;
    std::uint32_t maxIterations = 0;
    std::uint32_t maxLanes = 0;
};

// ".zqv" files: the engine is a process of its own, and a file's owner may
// have chosen a higher cost for a file kept for years.
inline constexpr Argon2Limits kFileKdfLimits{2u * 1024 * 1024, 16, 16};

// Text messages arrive pasted from anywhere into a window of the main
// program: twice each figure of what we write (256 MiB, 6 passes, 4 lanes),
// about four times our own cost, a couple of seconds at most.
inline constexpr Argon2Limits kTextKdfLimits{
    2 * kDefaultArgon2Params.memoryKiB, 2 * kDefaultArgon2Params.iterations, 2 * kDefaultArgon2Params.lanes};

// At least one pass and one lane, and the 8 KiB per lane Argon2 needs.
[[nodiscard]] constexpr bool withinLimits(const Argon2Params& params, const Argon2Limits& limits)
{
    return params.lanes >= 1 && params.lanes <= limits.maxLanes && params.iterations >= 1 &&
           params.iterations <= limits.maxIterations && params.memoryKiB >= 8 * params.lanes &&
           params.memoryKiB <= limits.maxMemoryKiB;
}

static_assert(withinLimits(kDefaultArgon2Params, kTextKdfLimits) && withinLimits(kDefaultArgon2Params, kFileKdfLimits),
              "what we write must be what we read");

} // namespace zqvcrypto
