#pragma once

#include <QString>
#include <functional>

#include "FileCipher.h"

namespace zqvcrypto {

struct SfxJob
{
    QString stubPath; // the extractor program that goes in front
    QString source;
    QString destination;
    QString storedName; // the name the recipient gets; the source's base name when empty
    QString title;      // shown by the extractor
    bool replaceExisting = false;
    bool verify = false;
    std::function<void(int percent)> progress;
    PlaintextProducer produce;   // as for FileJob; then `storedName` names the content
    std::string sourcePath;      // as for FileJob
    std::string destinationPath; // as for FileJob
};

[[nodiscard]] CryptoError makeSelfExtracting(const SfxJob& job, Bytes password, const Argon2Params& kdf);

} // namespace zqvcrypto
