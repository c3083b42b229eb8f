#pragma once

#include <QString>
#include <functional>
#include <mutex>

#include <FileIdentity.h>

#include "LibraryHandle.h"

namespace engine {

enum class WipeResult {
    Wiped,             // overwritten where it lay and removed
    RemovedOtherLinks, // removed, but other hard links keep the content, so it was not overwritten
    RemovedNotInPlace, // removed, but the file system could not have it overwritten where it lies
    NotWiped,          // still there under its name
    Gone,              // the path named nothing when the wipe began
    Changed,           // the path no longer named the chosen file as it was: nothing was wiped
    LibraryMissing     // the library or its entry point could not be loaded
};

// True when the path no longer names the file, whatever became of its content.
[[nodiscard]] bool isRemoved(WipeResult result);

// What the user is told about a file that was removed without being
// overwritten; empty for the other outcomes.
[[nodiscard]] QString removedNotOverwrittenText(const QString& path, WipeResult result);

// One file to wipe, as it was when the wipe was chosen: only that very file,
// unchanged since, is ever wiped.
struct WipeTarget
{
    QString path;
    // What the path named then, a link in the last component not followed.
    cryptelle::FileIdentity expected;
    // The file held open since then, where it could be (a regular file).
    const cryptelle::HeldFile* held = nullptr;
};

// What the path names now, for a wipe chosen now. False when it names nothing.
[[nodiscard]] bool targetOf(const QString& path, WipeTarget& target);
// The target of a held file.
[[nodiscard]] WipeTarget targetOf(const cryptelle::HeldFile& held);

// Wipes one target; the dialogs take it as a value so tests can give another.
using Wiper = std::function<WipeResult(const WipeTarget&)>;

// The secure deletion library, loaded by its file name at the first wipe.
class ShredLibrary
{
public:
    explicit ShredLibrary(QString libraryPath);
    ShredLibrary(const ShredLibrary&) = delete;
    ShredLibrary& operator=(const ShredLibrary&) = delete;

    [[nodiscard]] WipeResult wipe(const WipeTarget& target);
    // Wipes what the path names now.
    [[nodiscard]] WipeResult wipe(const QString& path);
    [[nodiscard]] const QString& libraryPath() const { return m_libraryPath; }

private:
    using ShredFunction = int (*)(const char*);

    [[nodiscard]] WipeResult wipeHeld(const QString& path, const cryptelle::HeldFile& held);
    [[nodiscard]] WipeResult wipeByName(const QString& path);

    QString m_libraryPath;
    std::mutex m_lock;
    cryptelle::LibraryHandle m_library;
    ShredFunction m_shred = nullptr;
};

// The library next to the running program.
[[nodiscard]] QString defaultShredLibraryPath();

// Wipes one target through the program folder's library. Safe to call from a
// worker thread; calls are serialised.
WipeResult WipeFile(const WipeTarget& target);

} // namespace engine
