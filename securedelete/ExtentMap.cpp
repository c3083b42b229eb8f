#include "ExtentMap.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <fcntl.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace zqvdod {
namespace {

constexpr std::uint32_t kExtentsPerQuery = 8192;

// Extents whose bytes an overwrite through the file would not reach where they lie.
constexpr std::uint32_t kNotInPlace = FIEMAP_EXTENT_UNKNOWN | FIEMAP_EXTENT_DELALLOC | FIEMAP_EXTENT_ENCODED |
                                      FIEMAP_EXTENT_DATA_ENCRYPTED | FIEMAP_EXTENT_NOT_ALIGNED |
                                      FIEMAP_EXTENT_DATA_INLINE | FIEMAP_EXTENT_DATA_TAIL | FIEMAP_EXTENT_SHARED;

void addRange(std::vector<ByteRange>& ranges, std::uint64_t offset, std::uint64_t end, std::uint64_t size)
{
    end = std::min(end, size);
    if (offset >= end)
        return;
    if (!ranges.empty() && ranges.back().offset + ranges.back().length == offset) {
        ranges.back().length += end - offset;
        return;
    }
    ranges.push_back({offset, end - offset});
}

bool mapWithFiemap(int fd, std::uint64_t size, ExtentMap& map)
{
    const std::size_t bytes = sizeof(fiemap) + kExtentsPerQuery * sizeof(fiemap_extent);
    auto storage = std::make_unique<std::uint64_t[]>(bytes / sizeof(std::uint64_t) + 1);
    auto* request = reinterpret_cast<fiemap*>(storage.get());

    std::uint64_t start = 0;
    std::uint32_t flags = FIEMAP_FLAG_SYNC;
    for (;;) {
        std::memset(request, 0, sizeof(fiemap));
        request->fm_start = start;
        request->fm_length = FIEMAP_MAX_OFFSET - start;
        request->fm_flags = flags;
        request->fm_extent_count = kExtentsPerQuery;
        if (::ioctl(fd, FS_IOC_FIEMAP, request) != 0)
            return false;
        flags = 0; // one flush is enough
        if (request->fm_mapped_extents == 0)
            return true;
        bool last = false;
        for (std::uint32_t i = 0; i < request->fm_mapped_extents; ++i) {
            const fiemap_extent& extent = request->fm_extents[i];
            const std::uint64_t end = extent.fe_logical + extent.fe_length;
            if ((extent.fe_flags & FIEMAP_EXTENT_UNWRITTEN) == 0 && extent.fe_logical < size) {
                if (extent.fe_flags & kNotInPlace)
                    map.inPlace = false;
                addRange(map.dataRanges, extent.fe_logical, end, size);
            }
            start = end;
            last = last || (extent.fe_flags & FIEMAP_EXTENT_LAST) != 0;
        }
        if (last || start >= size)
            return true;
    }
}

bool mapWithSeek(int fd, std::uint64_t size, ExtentMap& map)
{
    auto offset = static_cast<off_t>(0);
    const auto end = static_cast<off_t>(size);
    while (offset < end) {
        const off_t data = ::lseek(fd, offset, SEEK_DATA);
        if (data < 0)
            return errno == ENXIO; // no data after offset
        off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0)
            return false;
        addRange(map.dataRanges, static_cast<std::uint64_t>(data), static_cast<std::uint64_t>(hole), size);
        offset = hole;
    }
    return true;
}

} // namespace

ExtentMap mapExtents(int fd, std::uint64_t size)
{
    ExtentMap map;
    if (mapWithFiemap(fd, size, map)) {
        map.listed = true;
        return map;
    }
    map = ExtentMap{};
    if (!mapWithSeek(fd, size, map)) {
        map = ExtentMap{};
        addRange(map.dataRanges, 0, size, size);
    }
    return map;
}

bool looksSparse(std::uint64_t size, std::uint64_t allocatedBlocks512)
{
    return allocatedBlocks512 * 512 < size;
}

bool hasCompressionFlag(int fd)
{
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0)
        return false;
    return (flags & FS_COMPR_FL) != 0;
}

bool isCopyOnWriteFileSystem(int fd)
{
    struct statfs info
    {
    };
    if (::fstatfs(fd, &info) != 0)
        return false;
    switch (static_cast<unsigned long>(info.f_type)) {
    case 0x9123683EUL: // btrfs
    case 0x2FC12FC1UL: // zfs
    case 0xCA451A4EUL: // bcachefs
    case 0x3434UL:     // nilfs2
    case 0xF2F52010UL: // f2fs, log-structured
        return true;
    default:
        return false;
    }
}

} // namespace zqvdod
