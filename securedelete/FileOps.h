#pragma once

#include <string>

namespace zqvdod {

// Every call that changes a file or its name goes through here, so tests can
// make a single step fail and another platform can supply its own calls.
class FileOps
{
public:
    virtual ~FileOps() = default;

    // Opens an existing regular file for writing without truncating it and
    // without following a symbolic link in the last component. Returns -1 on failure.
    virtual int openForOverwrite(const std::string& path);
    enum class Lease { Taken, InUse, Unavailable };
    // Takes a write lease, the exclusive open of this platform: it fails while
    // any other descriptor has the file open. Unavailable where the file
    // system or the file's owner does not allow leases.
    virtual Lease takeWriteLease(int fd);
    virtual void releaseLease(int fd);
    // Renames without ever replacing an existing entry.
    virtual bool renameNoReplace(const std::string& from, const std::string& to);
    virtual bool removeFile(const std::string& path);
    // Makes the written data durable; the first failure is final for that file.
    virtual bool syncData(int fd);
    virtual void syncFolder(const std::string& folder);
};

} // namespace zqvdod
