#pragma once

#include <QString>
#include <functional>
#include <mutex>

namespace engine {

enum class WipeResult {
    Wiped,             // overwritten where it lay and removed
    RemovedOtherLinks, // removed, but other hard links keep the content, so it was not overwritten
    RemovedNotInPlace, // removed, but the file system could not have it overwritten where it lies
    NotWiped,          // still there under its name
    Gone,              // the path named nothing when the wipe began
    LibraryMissing     // the library or its entry point could not be loaded
};

// True when the path no longer names the file, whatever became of its content.
[[nodiscard]] bool isRemoved(WipeResult result);

// What the user is told about a file that was removed without being
// overwritten; empty for the other outcomes.
[[nodiscard]] QString removedNotOverwrittenText(const QString& path, WipeResult result);

// Wipes one path; the dialogs take it as a value so tests can give another.
using Wiper = std::function<WipeResult(const QString&)>;

// The secure deletion library, loaded by its file name at the first wipe.
class ShredLibrary
{
public:
    explicit ShredLibrary(QString libraryPath);
    ShredLibrary(const ShredLibrary&) = delete;
    ShredLibrary& operator=(const ShredLibrary&) = delete;
    ~ShredLibrary();

    [[nodiscard]] WipeResult wipe(const QString& path);
    [[nodiscard]] const QString& libraryPath() const { return m_libraryPath; }

private:
    using ShredFunction = int (*)(const char*);

    QString m_libraryPath;
    std::mutex m_lock;
    void* m_handle = nullptr;
    ShredFunction m_shred = nullptr;
};

// The library next to the running program.
[[nodiscard]] QString defaultShredLibraryPath();

// Wipes one file through the program folder's library. Safe to call from a
// worker thread; calls are serialised.
WipeResult WipeFile(const QString& path);

} // namespace engine
