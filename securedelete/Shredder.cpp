#include "Shredder.h"

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <memory>

#include <UniqueFd.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/uio.h>
#include <unistd.h>

#include "PathPattern.h"

namespace zqvdod {
namespace {

constexpr int kSweepLetters = 26;
// Pieces per write call; each piece is one whole pattern buffer.
constexpr int kPiecesPerWrite = 16;

using Descriptor = cryptelle::UniqueFd;

// Rounds of overwriting what a writer appended during the passes, when no
// lease keeps writers out.
constexpr int kGrowthRounds = 8;

bool isFailure(Shredder::Outcome outcome)
{
    return outcome == Shredder::Outcome::Kept || outcome == Shredder::Outcome::RemovedNotOverwritten ||
           outcome == Shredder::Outcome::NotTheHeldFile;
}

bool isMountPoint(const std::string& path, const struct stat& found, const struct stat& folder)
{
    if (found.st_dev != folder.st_dev)
        return true;
    // A file bind-mounted onto another file keeps its device.
    struct statx extended
    {
    };
    if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS, &extended) != 0)
        return false;
    return (extended.stx_attributes_mask & STATX_ATTR_MOUNT_ROOT) != 0 &&
           (extended.stx_attributes & STATX_ATTR_MOUNT_ROOT) != 0;
}

} // namespace

Shredder::Shredder(FileOps& ops)
    : m_ops(ops)
{
}

int Shredder::shred(const char* path)
{
    const auto fullPath = absolutePath(path);
    if (!fullPath)
        return 1;
    int failures = 0;
    int treated = 0;
    // The whole list is taken before the first file is treated, so the renamed
    // intermediates of one file are never matched again.
    for (const std::string& entry : matchingEntries(*fullPath)) {
        const Outcome outcome = treatEntry(entry);
        if (outcome != Outcome::Skipped)
            ++treated;
        if (isFailure(outcome))
            ++failures;
    }
    // Nothing matched is nothing wiped, which the caller must not read as success.
    return treated > 0 && failures == 0 ? 0 : 1;
}

std::vector<std::string> Shredder::matchingEntries(const std::string& fullPath) const
{
    const SplitPath split = splitPath(fullPath);
    std::vector<std::string> entries;
    // A folder path ending in '/' (or the root) names no file at all.
    if (split.name.empty() || split.name == "." || split.name == "..")
        return entries;
    // A file that really has this name is the one meant, wildcards or not.
    struct stat named
    {
    };
    if (!hasWildcard(split.name) || ::lstat(fullPath.c_str(), &named) == 0) {
        entries.push_back(fullPath);
        return entries;
    }
    std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(split.folder.c_str()), ::closedir);
    if (!folder)
        return entries;
    while (const dirent* entry = ::readdir(folder.get())) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (matchesWildcard(split.name, name))
            entries.push_back(split.folder + std::string(name));
    }
    return entries;
}

Shredder::Outcome Shredder::treatEntry(const std::string& path)
{
    struct stat found
    {
    };
    if (::lstat(path.c_str(), &found) != 0 || S_ISDIR(found.st_mode))
        return Outcome::Skipped;
    if (!S_ISREG(found.st_mode) && !S_ISLNK(found.st_mode))
        return Outcome::Kept; // FIFOs, sockets and device nodes are never written
    // Content is destroyed only when the name can go afterwards.
    if (!canBeRemoved(path, found))
        return Outcome::Kept;
    if (S_ISLNK(found.st_mode)) {
        // The link goes; whatever it points to is never touched.
        return removeName(path) ? Outcome::Wiped : Outcome::Kept;
    }
    return wipeRegularFile(path, found);
}

bool Shredder::canBeRemoved(const std::string& path, const struct stat& found) const
{
    const std::string folder = splitPath(path).folder;
    struct stat folderInfo
    {
    };
    if (::stat(folder.c_str(), &folderInfo) != 0)
        return false;
    // Renaming and removing need write and search permission on the folder.
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return false;
    // In a sticky folder (such as /tmp) only the owners and root may remove.
    const uid_t self = ::geteuid();
    if ((folderInfo.st_mode & S_ISVTX) != 0 && self != 0 && self != found.st_uid && self != folderInfo.st_uid)
        return false;
    return !isMountPoint(path, found, folderInfo);
}

Shredder::Outcome Shredder::wipeRegularFile(const std::string& path, const struct stat& found)
{
    if (found.st_nlink > 1) {
        // Overwriting would destroy the content under its other names too.
        return removeName(path) ? Outcome::RemovedNotOverwritten : Outcome::Kept;
    }

    Descriptor file(m_ops.openForOverwrite(path));
    if (file.get() < 0)
        return Outcome::Kept;
    struct stat opened
    {
    };
    if (::fstat(file.get(), &opened) != 0 || !S_ISREG(opened.st_mode) || opened.st_dev != found.st_dev ||
        opened.st_ino != found.st_ino || opened.st_nlink > 1) {
        return Outcome::Kept;
    }
    bool inPlace = true;
    if (!emptyOpenFile(file.get(), inPlace) || !file.close())
        return Outcome::Kept;
    if (!removeName(path))
        return Outcome::Kept;
    return inPlace ? Outcome::Wiped : Outcome::RemovedNotOverwritten;
}

Shredder::Outcome Shredder::treatHeld(const std::string& path, int fd)
{
    struct stat held
    {
    };
    struct stat named
    {
    };
    if (::fstat(fd, &held) != 0 || !S_ISREG(held.st_mode))
        return Outcome::Kept;
    if (::lstat(path.c_str(), &named) != 0)
        return Outcome::NotTheHeldFile;
    if (!S_ISREG(named.st_mode) || named.st_dev != held.st_dev || named.st_ino != held.st_ino)
        return Outcome::NotTheHeldFile;
    if (!canBeRemoved(path, named))
        return Outcome::Kept;
    const auto removal = [&](bool overwritten) {
        switch (removeHeldName(path, held)) {
        case NameRemoval::Removed:
            return overwritten ? Outcome::Wiped : Outcome::RemovedNotOverwritten;
        case NameRemoval::NotTheHeldFile:
            return Outcome::NotTheHeldFile;
        case NameRemoval::Kept:
            break;
        }
        return Outcome::Kept;
    };
    if (held.st_nlink > 1)
        return removal(false); // its other names still show the content
    const int mode = ::fcntl(fd, F_GETFL);
    if (mode < 0 || (mode & O_ACCMODE) == O_RDONLY)
        return Outcome::Kept; // held for reading only: its permissions do not allow writing
    bool inPlace = true;
    if (!emptyOpenFile(fd, inPlace))
        return Outcome::Kept;
    return removal(inPlace);
}

bool Shredder::emptyOpenFile(int fd, bool& inPlace)
{
    // A file another program has open is left alone, as the exclusive open of
    // other platforms would: its writes could outlive the wipe.
    const FileOps::Lease lease = m_ops.takeWriteLease(fd);
    if (lease == FileOps::Lease::InUse)
        return false;
    struct LeaseRelease
    {
        FileOps& ops;
        int fd;
        bool held;
        ~LeaseRelease()
        {
            if (held)
                ops.releaseLease(fd);
        }
    } release{m_ops, fd, lease == FileOps::Lease::Taken};
    // The size may have changed between the listing and the lease.
    struct stat opened
    {
    };
    if (::fstat(fd, &opened) != 0)
        return false;

    const auto size = static_cast<std::uint64_t>(opened.st_size);
    const std::vector<ByteRange> ranges = rangesOf(fd, opened, inPlace);

    if (!overwrite(fd, ranges))
        return false;
    if (lease != FileOps::Lease::Taken && !overwriteGrowth(fd, size))
        return false;
    if (::ftruncate(fd, 0) != 0 || !m_ops.syncData(fd))
        return false;
    release.held = false;
    m_ops.releaseLease(fd);
    return true;
}

std::vector<ByteRange> Shredder::rangesOf(int fd, const struct stat& info, bool& inPlace) const
{
    const auto size = static_cast<std::uint64_t>(info.st_size);
    inPlace = !isCopyOnWriteFileSystem(fd);
    std::vector<ByteRange> ranges;
    if (size == 0)
        return ranges;
    const ExtentMap map = mapExtents(fd, size);
    inPlace = inPlace && map.inPlace;
    const bool compressed = hasCompressionFlag(fd);
    if (compressed && !map.listed)
        inPlace = false;
    if (compressed || looksSparse(size, static_cast<std::uint64_t>(info.st_blocks)))
        ranges = map.dataRanges; // holes stay holes
    else
        ranges.push_back({0, size});
    return ranges;
}

bool Shredder::wipeContent(int fd)
{
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    bool inPlace = true;
    const std::vector<ByteRange> ranges = rangesOf(fd, info, inPlace);
    // Emptied even when a pass fails: the blocks go back to the file system either way.
    const bool overwritten = overwrite(fd, ranges) && overwriteGrowth(fd, static_cast<std::uint64_t>(info.st_size));
    const bool emptied = ::ftruncate(fd, 0) == 0 && m_ops.syncData(fd);
    return overwritten && emptied && inPlace;
}

bool Shredder::overwrite(int fd, const std::vector<ByteRange>& ranges)
{
    if (ranges.empty() || m_passCount == 0)
        return true;
    if (!m_patterns.prepare(static_cast<std::uint32_t>(std::time(nullptr))))
        return false;
    for (unsigned pass = 0; pass < m_passCount; ++pass) {
        for (int pattern = 0; pattern < WipePatterns::kCount; ++pattern) {
            for (const ByteRange& range : ranges) {
                if (!writeRange(fd, range, m_patterns.buffer(pattern)))
                    return false;
            }
            // Each pattern must reach the disk before the next one replaces it
            // in the page cache.
            if (!m_ops.syncData(fd))
                return false;
        }
    }
    return true;
}

bool Shredder::overwriteGrowth(int fd, std::uint64_t covered)
{
    for (int round = 0; round < kGrowthRounds; ++round) {
        struct stat now
        {
        };
        if (::fstat(fd, &now) != 0)
            return false;
        const auto size = static_cast<std::uint64_t>(now.st_size);
        if (size <= covered)
            return true;
        if (!overwrite(fd, {ByteRange{covered, size - covered}}))
            return false;
        covered = size;
    }
    return false; // still growing: a writer is racing us, so the file stays
}

bool Shredder::writeRange(int fd, const ByteRange& range, const unsigned char* pattern) const
{
    iovec pieces[kPiecesPerWrite];
    std::uint64_t offset = range.offset;
    const std::uint64_t end = range.offset + range.length;
    while (offset < end) {
        int count = 0;
        std::uint64_t due = end - offset;
        while (count < kPiecesPerWrite && due > 0) {
            const auto piece = static_cast<std::size_t>(std::min<std::uint64_t>(due, WipePatterns::kSize));
            pieces[count].iov_base = const_cast<unsigned char*>(pattern);
            pieces[count].iov_len = piece;
            due -= piece;
            ++count;
        }
        const ssize_t written = ::pwritev(fd, pieces, count, static_cast<off_t>(offset));
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        if (written == 0)
            return false;
        // A short write resumes at the next byte from the buffer's start; only
        // the random pattern shifts, and its exact bytes do not matter.
        offset += static_cast<std::uint64_t>(written);
    }
    return true;
}

std::string Shredder::renameSweep(const std::string& path)
{
    const SplitPath split = splitPath(path);
    std::string current = path;
    for (int step = 0; step < kSweepLetters; ++step) {
        std::string candidate = split.folder + sweepName(split.name, step);
        if (candidate == current)
            continue; // a name that already has this form
        if (!m_ops.renameNoReplace(current, candidate))
            break;
        current = std::move(candidate);
    }
    return current;
}

bool Shredder::removeName(const std::string& path)
{
    const std::string finalName = renameSweep(path);
    const bool removed = m_ops.removeFile(finalName);
    if (!removed && finalName != path)
        static_cast<void>(m_ops.renameNoReplace(finalName, path));
    m_ops.syncFolder(splitPath(path).folder);
    return removed;
}

Shredder::NameRemoval Shredder::removeHeldName(const std::string& path, const struct stat& held)
{
    const auto leadsToHeld = [&held](const std::string& name) {
        struct stat now
        {
        };
        return ::lstat(name.c_str(), &now) == 0 && now.st_dev == held.st_dev && now.st_ino == held.st_ino;
    };
    const SplitPath split = splitPath(path);
    std::string current = path;
    bool claimed = false;
    for (int step = 0; step < kSweepLetters; ++step) {
        std::string candidate = split.folder + sweepName(split.name, step);
        if (candidate == current)
            continue;
        if (!m_ops.renameNoReplace(current, candidate))
            break;
        // The first rename takes the name away atomically; if what it took is
        // not the held file, it goes straight back.
        if (!claimed && !leadsToHeld(candidate)) {
            static_cast<void>(m_ops.renameNoReplace(candidate, current));
            return NameRemoval::NotTheHeldFile;
        }
        claimed = true;
        current = std::move(candidate);
    }
    if (!claimed && !leadsToHeld(current))
        return NameRemoval::NotTheHeldFile;
    const bool removed = m_ops.removeFile(current);
    if (!removed && current != path)
        static_cast<void>(m_ops.renameNoReplace(current, path));
    m_ops.syncFolder(split.folder);
    return removed ? NameRemoval::Removed : NameRemoval::Kept;
}

} // namespace zqvdod
