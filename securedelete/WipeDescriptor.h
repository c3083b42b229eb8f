#pragma once

namespace zqvdod {

// Overwrites the content of an open regular file where it lies (the same
// passes as `shred`) and empties it. For plaintext that never had a name,
// such as an unnamed intermediate archive. Linked statically by its users,
// so the library keeps `shred` as its only export. Safe to call from any
// thread: it shares no state with `shred`.
[[nodiscard]] bool wipeDescriptorContent(int fd);

} // namespace zqvdod
