#pragma once

#include <QString>
#include <mutex>

namespace engine {

enum class WipeResult {
    Wiped,         // the library reported success and the file is gone
    NotWiped,      // the file is still there, or was not securely overwritten
    LibraryMissing // the library or its entry point could not be loaded
};

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
