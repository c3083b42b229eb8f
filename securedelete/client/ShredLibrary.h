#pragma once

#include <QString>
#include <functional>
#include <mutex>
#include <string>

#include <FileIdentity.h>

#include "LibraryHandle.h"

// The client side of the secure deletion library, shared by every program
// that wipes: Qt Core only, so the command line carries it as the engine does.
namespace zqvwipe {

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

// One file to wipe, as it was when the wipe was chosen: only that very file,
// unchanged since, is ever wiped.
struct WipeTarget
{
    QString path;
    // What the path named then, a link in the last component not followed.
    cryptelle::FileIdentity expected;
    // The file held open since then, where it could be (a regular file); its
    // own name, as bytes, is the one wiped then.
    const cryptelle::HeldFile* held = nullptr;
};

// What the path names now, for a wipe chosen now. False when it names nothing.
[[nodiscard]] bool targetOf(const QString& path, WipeTarget& target);
// The target of a held file.
[[nodiscard]] WipeTarget targetOf(const cryptelle::HeldFile& held);

// Wipes one target; callers take it as a value so tests can give another.
using Wiper = std::function<WipeResult(const WipeTarget&)>;

// The secure deletion library, loaded by its file name at the first wipe.
// Calls are serialised, so one object may serve many threads.
class ShredLibrary
{
public:
    explicit ShredLibrary(QString libraryPath);
    ShredLibrary(const ShredLibrary&) = delete;
    ShredLibrary& operator=(const ShredLibrary&) = delete;

    [[nodiscard]] WipeResult wipe(const WipeTarget& target);
    // Wipes what the path names now.
    [[nodiscard]] WipeResult wipe(const QString& path);
    // Wipes by its name alone, through the library, a file that is still the
    // one `expected` describes: for a file this process may not write, which
    // only the library can wipe, once no descriptor of ours holds it. The
    // path is the bytes of the name, whatever their encoding.
    [[nodiscard]] WipeResult wipeUnheld(const std::string& path, const cryptelle::FileIdentity& expected);
    [[nodiscard]] const QString& libraryPath() const { return m_libraryPath; }

private:
    using ShredFunction = int (*)(const char*);

    [[nodiscard]] bool load();
    [[nodiscard]] WipeResult wipeHeld(const std::string& path, const cryptelle::HeldFile& held);
    [[nodiscard]] WipeResult wipeByName(const std::string& path);

    QString m_libraryPath;
    std::mutex m_lock;
    cryptelle::LibraryHandle m_library;
    ShredFunction m_shred = nullptr;
};

// The library next to the running program.
[[nodiscard]] QString defaultShredLibraryPath();

} // namespace zqvwipe
