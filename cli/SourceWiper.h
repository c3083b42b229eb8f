#pragma once

#include <QString>
#include <mutex>
#include <string>

#include <FileIdentity.h>

namespace cli {

enum class WipeOutcome {
    Wiped,          // overwritten where it lay and removed
    RemovedOnly,    // removed, but its content could not be overwritten where it lies
    NotWiped,       // still there under its name
    Changed,        // the path no longer names the file as it was: nothing was touched
    LibraryMissing, // libzqvdod.so or its entry point could not be loaded
};

// Wipes files with the secure deletion library's routines: through a held
// descriptor where there is one, otherwise by name through libzqvdod.so in
// the program folder, loaded at the first wipe. Only a file that is still
// the very file it was when the caller took its identity is wiped. Calls are
// serialised.
class SourceWiper
{
public:
    explicit SourceWiper(QString libraryPath);
    ~SourceWiper();
    SourceWiper(const SourceWiper&) = delete;
    SourceWiper& operator=(const SourceWiper&) = delete;

    [[nodiscard]] WipeOutcome wipe(const std::string& path, const cryptelle::FileIdentity& expected);
    // The same, for a file held open since the operation began (for writing
    // where its permissions allow): wiped through that descriptor.
    [[nodiscard]] WipeOutcome wipe(cryptelle::HeldFile& held);

private:
    using ShredFunction = int (*)(const char*);
    [[nodiscard]] bool load();

    QString m_libraryPath;
    std::mutex m_lock;
    void* m_handle = nullptr;
    ShredFunction m_shred = nullptr;
};

// The library next to the running program.
[[nodiscard]] QString shredLibraryPath();

// What happened, in words, for a message that names the file.
[[nodiscard]] QString describe(WipeOutcome outcome);

} // namespace cli
