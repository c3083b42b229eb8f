#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileOps.h"
#include "WipePatterns.h"

// Real file operations that also record what happened, and can be told to
// fail one kind of step.
class RecordingOps : public zqvdod::FileOps
{
public:
    struct Snapshot
    {
        std::uint64_t size = 0;
        std::uint64_t blocks512 = 0;
        std::string content;
    };

    int openForOverwrite(const std::string& path) override
    {
        opened.push_back(path);
        if (beforeOpen)
            beforeOpen(path);
        return FileOps::openForOverwrite(path);
    }

    // Reading each sync back through a second descriptor would break a real
    // lease and wait for it, so by default this behaves as a file system
    // without leases.
    Lease takeWriteLease(int fd) override { return realLease ? FileOps::takeWriteLease(fd) : Lease::Unavailable; }

    bool renameNoReplace(const std::string& from, const std::string& to) override
    {
        if (failRenameTo == to)
            return false;
        const bool ok = FileOps::renameNoReplace(from, to);
        if (ok)
            renames.push_back(to);
        return ok;
    }

    bool removeFile(const std::string& path) override
    {
        removed.push_back(path);
        return failRemove ? false : FileOps::removeFile(path);
    }

    bool syncData(int fd) override
    {
        if (failSyncAt == static_cast<int>(syncs.size()))
            return false;
        // Reads back through a second descriptor what the file holds at each sync.
        Snapshot snapshot;
        struct stat info
        {
        };
        ::fstat(fd, &info);
        snapshot.size = static_cast<std::uint64_t>(info.st_size);
        snapshot.blocks512 = static_cast<std::uint64_t>(info.st_blocks);
        if (keepContent) {
            const int reader = ::open(("/proc/self/fd/" + std::to_string(fd)).c_str(), O_RDONLY);
            snapshot.content.resize(snapshot.size);
            if (reader >= 0) {
                [[maybe_unused]] const ssize_t n = ::pread(reader, snapshot.content.data(), snapshot.size, 0);
                ::close(reader);
            }
        }
        syncs.push_back(std::move(snapshot));
        if (afterSync)
            afterSync(syncs.size());
        return FileOps::syncData(fd);
    }

    std::vector<std::string> opened;
    std::vector<std::string> renames;
    std::vector<std::string> removed;
    std::vector<Snapshot> syncs;
    std::string failRenameTo;
    bool failRemove = false;
    bool keepContent = true;
    int failSyncAt = -1;
    bool realLease = false;
    void (*beforeOpen)(const std::string&) = nullptr;
    std::function<void(std::size_t syncCount)> afterSync;
};
