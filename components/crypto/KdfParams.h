#pragma once

#include <cstdint>

namespace zqvcrypto {

// The cost of deriving a key from a password (Argon2id), stored in every file.
struct Argon2Params
{
    std::uint32_t memoryKiB = 0;
    std::uint32_t iterations = 0;
    std::uint32_t lanes = 0;
};

} // namespace zqvcrypto
