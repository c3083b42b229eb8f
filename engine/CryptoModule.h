#pragma once

#include <QString>
#include <atomic>
#include <functional>

#include "Crypto.h"
#include "EngineMessages.h"
#include "FolderPack.h"
#include "WipeFile.h"
#include "WorkRunner.h"
#include "ZIPLight.h"

class QWidget;

namespace engine {

// What the operation routines need of a dialog, and nothing more.
struct OperationTools
{
    zqvcrypto::Crypto& crypto;
    zqvgui::WorkRunner& runner;
    Messenger& messenger;
    QWidget* window; // messages are parented to it and centred over it
    Wiper wiper;
    // Set from the interface thread to stop work that can stop; null where none can.
    const std::atomic<bool>* cancel = nullptr;
    // Progress of work whose plaintext the routine reads itself; from any thread.
    std::function<void(int)> progress = {};
};

struct CipherOptions
{
    bool replaceExisting = false; // the user agreed to replace the destination
    bool verify = false;          // read the result back before it takes its name
    QString storedName;           // self-extracting files: the name the recipient gets
};

// What a cipher call proves about its new file.
struct CipherOutcome
{
    bool written = false;
    bool readBack = false;  // read back and authenticated in full before it took its name
    bool cancelled = false; // stopped on request: nothing was written, and nothing said
    explicit operator bool() const { return written; }
};

// Both derive the key from the password on the crypto control, run the file
// operation beside the interface and report a failure themselves. With the
// tools' cancel set, encrypting and making a self-extracting file read the
// source themselves and stop at its next piece once asked; decrypting stops
// at the next chunk of the encrypted file.
CipherOutcome EncryptFileWithPassword(OperationTools& tools,
                                      const QString& source,
                                      const QString& destination,
                                      const QString& password,
                                      const CipherOptions& options = {});
CipherOutcome DecryptFileWithPassword(OperationTools& tools,
                                      const QString& source,
                                      const QString& destination,
                                      const QString& password,
                                      const CipherOptions& options = {});
CipherOutcome MakeSelfExtractingFile(OperationTools& tools,
                                     const QString& source,
                                     const QString& destination,
                                     const QString& password,
                                     const CipherOptions& options = {});

// Packs the folder into a zip archive and encrypts it (or makes it
// self-extracting) as it is packed: the archive's plaintext is never written
// to a file, and a file already called like the archive is never touched.
using zqvpack::FolderJob;
using zqvpack::folderJobResult;
enum class FolderResult { Done, Failed, Cancelled };
// Stops at the next piece of the archive once the tools' cancel is set: the
// unnamed output is dropped and the folder is left as it was. Reports a
// failure itself, a cancel not.
FolderResult EncryptFolderToArchive(OperationTools& tools,
                                    ziplight::ZIPLight& zip,
                                    const FolderJob& job,
                                    const QString& password,
                                    const CipherOptions& options = {});

// True when the password opens the encrypted file's header; otherwise the
// failure is reported as a failed decryption would be. Costs one key derivation.
bool CheckDecryptPassword(OperationTools& tools, const QString& source, const QString& password);

// Wipes the source of a finished operation through the tools' runner and
// wiper, and says what became of it. Only a new file that was read back and
// authenticated may replace its source, and only the very file the operation
// read, unchanged since it started: otherwise nothing is wiped.
WipeResult wipeAfterSuccess(OperationTools& tools, const WipeTarget& source, const CipherOutcome& outcome);

// Asks before an existing destination is replaced. False when the user said no.
bool confirmReplace(OperationTools& tools, const QString& destination, bool& replace);

} // namespace engine
