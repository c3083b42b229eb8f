#pragma once

#include <QString>
#include <atomic>

#include "Crypto.h"
#include "ZIPLight.h"

// A folder packed into a zip archive and encrypted (or made self-extracting)
// as it is packed: the archive's plaintext never reaches a file. Shared by
// the engine's folder dialog and the command line.
namespace zqvpack {

struct FolderJob
{
    QString folder;
    QString archive; // ends in ".zip"; the result is it followed by ".zqv" or ".exe"
    qint16 level = 6;
    bool recursive = false;
    bool innerPassword = false;  // the archive itself asks for the password too
    bool selfExtracting = false; // the result is a self-extracting ".exe"
    QString output;              // where the result goes; empty for the name folderJobResult gives
};

// The file the job makes.
[[nodiscard]] QString folderJobResult(const FolderJob& job);

struct PackRun
{
    bool written = false;   // the result took its name
    bool packed = false;    // the archive was packed in full
    bool cancelled = false; // stopped on request at a piece of the archive
};

// Packs with `zip` (whose progress callback the caller may set) into the
// key's output; `password` becomes the archive's own password when the job
// asks for one. Stops at the next piece once `cancel` is set. The key's
// error says why nothing was written.
[[nodiscard]] PackRun packEncrypted(zqvcrypto::CryptoKey& key,
                                    ziplight::ZIPLight& zip,
                                    const FolderJob& job,
                                    const QString& password,
                                    const std::atomic<bool>* cancel = nullptr);

} // namespace zqvpack
