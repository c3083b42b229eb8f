#pragma once

#include <cstdint>
#include <vector>

namespace zqvdod {

struct ByteRange
{
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};

// Where a file keeps its bytes on disk, as far as the file system tells.
struct ExtentMap
{
    std::vector<ByteRange> dataRanges; // logical ranges that hold data, within the file's size
    bool listed = false;               // the file system answered the extent query
    bool inPlace = true;               // every data range can be overwritten where it lies
};

// Lists the file's extents (flushing delayed allocation first), up to 8,192 per
// query, until the last one. Falls back to SEEK_DATA/SEEK_HOLE where the query
// is not supported.
[[nodiscard]] ExtentMap mapExtents(int fd, std::uint64_t size);

// Fewer allocated blocks than the size needs: the file has holes.
[[nodiscard]] bool looksSparse(std::uint64_t size, std::uint64_t allocatedBlocks512);
[[nodiscard]] bool hasCompressionFlag(int fd);
// File systems that write every change to new blocks, so an in-place overwrite
// never reaches the old ones.
[[nodiscard]] bool isCopyOnWriteFileSystem(int fd);

} // namespace zqvdod
