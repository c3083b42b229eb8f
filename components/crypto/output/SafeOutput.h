#pragma once

#include <QString>

#include <UnnamedOutput.h>

#include "CryptoError.h"

namespace zqvcrypto {

// The new file of a ciphering call: unnamed in the destination's folder until
// it is complete and on disk, then linked under the destination's name.
// Dropped without commit, it leaves nothing behind.
class SafeOutput
{
public:
    [[nodiscard]] bool open(const QString& destination);
    // The destination as the bytes the system takes, whatever their encoding.
    [[nodiscard]] bool open(const std::string& destination);
    [[nodiscard]] int fd() const { return m_output.fd(); }
    [[nodiscard]] int folderFd() const { return m_output.folderFd(); }

    // Without `replaceExisting`, an existing destination is never replaced.
    // With Sync::Neither the caller has made the content durable already and
    // syncs the folder afterwards.
    [[nodiscard]] CryptoError
    commit(bool replaceExisting, cryptelle::UnnamedOutput::Sync sync = cryptelle::UnnamedOutput::Sync::FileAndFolder);

private:
    std::string m_name;
    cryptelle::UnnamedOutput m_output;
};

// True when both paths name the same file (same device and inode), whatever
// links or spellings lead there.
[[nodiscard]] bool isSameFile(const QString& a, const QString& b);
[[nodiscard]] bool isSameFile(const std::string& a, const std::string& b);

} // namespace zqvcrypto
