#pragma once

#include <QString>
#include <functional>

#include "ZqvStream.h"

namespace zqvcrypto {

// Hands on the next bytes of a plaintext; false when they are not taken.
using ByteWriter = std::function<bool(const unsigned char* data, std::size_t size)>;
// Writes a whole plaintext through the writer, in order; false when it could
// not be made whole.
using Producer = std::function<bool(const ByteWriter& write)>;

struct FileJob
{
    QString source;
    QString destination;
    bool replaceExisting = false;
    // Read the new file back and authenticate it in full before it takes the
    // destination's name; asked for when the source is to be wiped afterwards.
    bool verify = false;
    std::function<void(int percent)> progress;
    // When set (encryption only), the plaintext is what this makes, on a
    // thread of its own while it is encrypted, and `source` is not read: no
    // copy of it ever needs a file. Its size is not known ahead, so the
    // producer reports progress, not the job.
    Producer produce;
};

[[nodiscard]] CryptoError encryptFile(const FileJob& job, Bytes password, const Argon2Params& kdf);
[[nodiscard]] CryptoError decryptFile(const FileJob& job, Bytes password);

} // namespace zqvcrypto
