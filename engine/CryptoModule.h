#pragma once

#include <QString>

namespace engine {

class OperationDialog;

struct CipherOptions
{
    bool replaceExisting = false; // the user agreed to replace the destination
    bool verify = false;          // read the result back before it takes its name
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

// Asks before an existing destination is replaced. False when the user said no.
bool confirmReplace(OperationDialog& dialog, const QString& destination, bool& replace);

} // namespace engine
