#pragma once

#include <cstddef>

namespace zqvcrypto {

// Memory for large working areas (the key derivation's, the file blocks):
// mapped on its own and, where the system offers them, in huge pages.
// Touching megabytes a small page at a time costs a page fault per 4 KiB,
// which on a virtual machine is more than the work done in them. Aligned to
// at least 4096 bytes, as direct I/O needs. Not wiped here: whoever puts
// secrets in it wipes them.
[[nodiscard]] unsigned char* mapLarge(std::size_t bytes);
void unmapLarge(unsigned char* memory, std::size_t bytes);

} // namespace zqvcrypto
