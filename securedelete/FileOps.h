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
    // Renames without ever replacing an existing entry.
    virtual bool renameNoReplace(const std::string& from, const std::string& to);
    virtual bool removeFile(const std::string& path);
    // Makes the written data durable; the first failure is final for that file.
    virtual bool syncData(int fd);
    virtual void syncFolder(const std::string& folder);
};

} // namespace zqvdod
