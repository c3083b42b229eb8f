#pragma once

#include <cstddef>
#include <functional>

namespace zqvcrypto {

// Hands on the next bytes of a plaintext that is being made; false when they
// are not taken.
using PlaintextWriter = std::function<bool(const unsigned char* data, std::size_t size)>;
// Makes a whole plaintext through the writer, in order; false when it could
// not be made whole.
using PlaintextProducer = std::function<bool(const PlaintextWriter& write)>;

} // namespace zqvcrypto
