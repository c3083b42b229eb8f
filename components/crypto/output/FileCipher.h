#pragma once

#include <QString>
#include <functional>

#include "ZqvStream.h"

namespace zqvcrypto {

struct FileJob
{
    QString source;
    QString destination;
    bool replaceExisting = false;
    // Read the new file back and authenticate it in full before it takes the
    // destination's name; asked for when the source is to be wiped afterwards.
    bool verify = false;
    std::function<void(int percent)> progress;
};

[[nodiscard]] CryptoError encryptFile(const FileJob& job, Bytes password, const Argon2Params& kdf);
[[nodiscard]] CryptoError decryptFile(const FileJob& job, Bytes password);

} // namespace zqvcrypto
