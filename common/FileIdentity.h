#pragma once

#include <cstdint>
#include <string>

#include "UniqueFd.h"

struct stat;

namespace cryptelle {

// What tells one file apart from another, and whether it changed: the file
// (device and inode) and its size, modification and change time to the
// nanosecond. A rename, a chmod, a new hard link or a write all move the
// change time, so an unchanged identity means the very same, untouched file.
struct FileIdentity
{
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    std::int64_t changedSeconds = 0;
    std::int64_t changedNanoseconds = 0;

    [[nodiscard]] static FileIdentity of(const struct stat& info);
    // Device and inode: the same file, changed or not.
    [[nodiscard]] bool sameFile(const FileIdentity& other) const
    {
        return device == other.device && inode == other.inode;
    }
    friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// What a path names now, compared with the file it named before.
enum class IdentityCheck {
    Unchanged, // the same file, untouched
    Changed,   // the same file, but written to, truncated, renamed or its attributes changed
    Replaced,  // the path names another file (or something that is not a regular file)
    Gone       // the path names nothing
};

// Identity of the regular file a path names, without following a link in the
// last component. False when the path names nothing or no regular file.
[[nodiscard]] bool identityOfPath(const std::string& path, FileIdentity& identity);
// Identity of an open descriptor. False when it is not a regular file.
[[nodiscard]] bool identityOfDescriptor(int fd, FileIdentity& identity);

// Compares what `path` names now with `expected` (no link followed).
[[nodiscard]] IdentityCheck checkPath(const std::string& path, const FileIdentity& expected);

// A regular file held open from the moment an operation starts, with its
// identity at that moment, so that what is done to it later (a wipe after the
// operation) can be limited to the very file the operation read.
class HeldFile
{
public:
    enum class Access {
        Read,        // read only
        ReadOrWrite, // read and write where the file's permissions allow, else read only
    };

    HeldFile() = default;
    HeldFile(HeldFile&&) noexcept = default;
    HeldFile& operator=(HeldFile&&) noexcept = default;

    // Opens the regular file the path names. A link in the last component is
    // followed only when `followLink` is set; FIFOs and devices are never
    // opened in a blocking way and are refused. False (errno set) on failure;
    // the object is then empty.
    [[nodiscard]] bool open(const std::string& path, Access access = Access::Read, bool followLink = false);
    // Takes over an already opened descriptor of `path` and snapshots it.
    [[nodiscard]] bool adopt(const std::string& path, UniqueFd fd);

    [[nodiscard]] bool isOpen() const { return m_fd.get() >= 0; }
    [[nodiscard]] int fd() const { return m_fd.get(); }
    [[nodiscard]] bool writable() const { return m_writable; }
    [[nodiscard]] const std::string& path() const { return m_path; }
    // The identity when it was opened.
    [[nodiscard]] const FileIdentity& identity() const { return m_identity; }

    // Whether the path still names the held file and the file is unchanged
    // since it was opened. A held link is checked as the file it led to when
    // the link itself is unchanged.
    [[nodiscard]] IdentityCheck check() const;

    void close();

private:
    UniqueFd m_fd;
    std::string m_path;
    FileIdentity m_identity;
    bool m_writable = false;
    bool m_throughLink = false;
    FileIdentity m_link; // the link's own identity when one was followed
};

} // namespace cryptelle
