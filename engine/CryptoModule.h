#pragma once

#include <QString>

#include "EngineMessages.h"

namespace engine {

class OperationDialog;

struct CipherOptions
{
    bool replaceExisting = false; // the user agreed to replace the destination
    bool verify = false;          // read the result back before it takes its name
    QString storedName;           // self-extracting files: the name the recipient gets
};

// Both derive the key from the password on the dialog's crypto control, run
// the file operation beside the interface and report a failure themselves.
bool EncryptFileWithPassword(OperationDialog& dialog,
                             const QString& source,
                             const QString& destination,
                             const QString& password,
                             const CipherOptions& options = {});
bool DecryptFileWithPassword(OperationDialog& dialog,
                             const QString& source,
                             const QString& destination,
                             const QString& password,
                             const CipherOptions& options = {});

bool MakeSelfExtractingFile(OperationDialog& dialog,
                            const QString& source,
                            const QString& destination,
                            const QString& password,
                            const CipherOptions& options = {});

class FrmEncryptFolder;

// Packs the folder into a zip archive, encrypts it (or makes it
// self-extracting) and wipes the intermediate archive. The archive is built
// under a temporary name, so a file already called like it is never touched.
bool EncryptFolderToArchive(FrmEncryptFolder& dialog,
                            const QString& folder,
                            const QString& archive,
                            const QString& password,
                            bool applyPassword,
                            bool makeExecutable,
                            qint16 level,
                            const CipherOptions& options = {});

// Wipes the source after a verified operation; tells the user when it stays.
void wipeAfterSuccess(Messenger& messenger, QWidget* parent, const QString& path);

// Asks before an existing destination is replaced. False when the user said no.
bool confirmReplace(OperationDialog& dialog, const QString& destination, bool& replace);

} // namespace engine
