#pragma once

#include <QString>

namespace zqvshell {

// How the window uses it: frmMain's toolbar and Queue menu enabling (enablingForRow)
// and the context menu all ask availableOperations, so they never disagree.

// Which file operations fit a row: the one rule for the toolbar, the Queue
// menu and the context menu.
struct OperationAvailability
{
    bool encrypt = false;
    bool decrypt = false;
    bool makeExe = false;
    bool wipe = false;
    bool queue = false;
    bool hash = false;

    friend bool operator==(const OperationAvailability&, const OperationAvailability&) = default;
};

// `name` is the row's shown text, `tag` its path. A name ending in exactly
// ".zqv" may be decrypted, any other encrypted or made self-extracting;
// nothing but the text tool fits a tag that is not a plain readable file.
[[nodiscard]] OperationAvailability availableOperations(const QString& name, const QString& tag);
// The same with the plain-file test already made (for paths text cannot carry).
[[nodiscard]] OperationAvailability availableOperations(const QString& name, bool plainFile);
// True when the path bytes open as an existing regular file for reading.
[[nodiscard]] bool isPlainFile(const QByteArray& path);

} // namespace zqvshell
