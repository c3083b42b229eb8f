#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "PlaintextProducer.h"
#include "ZqvStream.h"

namespace zqvcrypto {

class SafeOutput;

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
    PlaintextProducer produce;
    // When set, keys derived for one file serve the next ones that share the
    // salt and cost: encryption writes with the ring's key once it holds one.
    KeyRing* keys = nullptr;
    // When not empty, these bytes are the paths instead of the two above: a
    // name that is not valid in the locale's encoding survives no QString.
    std::string sourcePath{};
    std::string destinationPath{};
    // When set, the finished new file is handed over here, complete but
    // neither synced nor named (see PendingOutputs), instead of being committed.
    std::function<void(std::unique_ptr<SafeOutput>)> hold{};
    // When set (decryption and verification), the work ends with Cancelled
    // at the next chunk once it is true, and its unnamed output is dropped.
    const std::atomic<bool>* stop = nullptr;
};

// The job's paths as bytes.
[[nodiscard]] std::string sourceBytes(const FileJob& job);
[[nodiscard]] std::string destinationBytes(const FileJob& job);

[[nodiscard]] CryptoError encryptFile(const FileJob& job, Bytes password, const Argon2Params& kdf);
[[nodiscard]] CryptoError decryptFile(const FileJob& job, Bytes password);
// Decrypts and authenticates every byte of `job.source`, writing nothing.
[[nodiscard]] CryptoError verifyFile(const FileJob& job, Bytes password);

// A self-extracting file: the extractor program, then the encrypted content.
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
