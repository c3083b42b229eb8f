// Proof on a real file system: after a wipe, the blocks that held the file no
// longer hold its data, and each pattern really went to the device.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "Shredder.h"
#include "TempDir.h"

using namespace testsupport;

namespace {

const std::string kMarker = "CRYPTELLE-WIPE-MARKER-0123456789";

std::string capture(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen((command + " 2>/dev/null").c_str(), "r"), ::pclose);
    if (!pipe)
        return {};
    std::string out;
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe.get()) != nullptr)
        out += buffer;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

struct PhysicalExtent
{
    std::uint64_t physical;
    std::uint64_t length;
};

std::vector<PhysicalExtent> physicalExtents(const std::string& path)
{
    std::vector<PhysicalExtent> result;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0)
        return result;
    std::vector<std::uint64_t> storage((sizeof(fiemap) + 512 * sizeof(fiemap_extent)) / 8 + 1);
    auto* map = reinterpret_cast<fiemap*>(storage.data());
    map->fm_length = FIEMAP_MAX_OFFSET;
    map->fm_flags = FIEMAP_FLAG_SYNC;
    map->fm_extent_count = 512;
    if (::ioctl(fd, FS_IOC_FIEMAP, map) == 0) {
        for (std::uint32_t i = 0; i < map->fm_mapped_extents; ++i)
            result.push_back({map->fm_extents[i].fe_physical, map->fm_extents[i].fe_length});
    }
    ::close(fd);
    return result;
}

std::size_t countMarkers(const std::string& data)
{
    std::size_t count = 0;
    for (auto at = data.find(kMarker); at != std::string::npos; at = data.find(kMarker, at + 1))
        ++count;
    return count;
}

void writeMarkerAt(int fd, std::uint64_t offset, std::size_t length)
{
    std::string block;
    while (block.size() < length)
        block += kMarker;
    block.resize(length);
    ASSERT_EQ(::pwrite(fd, block.data(), block.size(), static_cast<off_t>(offset)), static_cast<ssize_t>(length));
}

class LoopDeviceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to attach and mount a loop device";
        image = dir.file("disk.img");
        mountPoint = dir.file("mnt");
        if (!run("truncate -s 64M '" + image + "'") ||
            !run("mkfs.ext4 -q -F -E lazy_itable_init=0,lazy_journal_init=0 '" + image + "'"))
            GTEST_SKIP() << "mkfs.ext4 is not available";
        device = capture("losetup -f --show '" + image + "'");
        if (device.rfind("/dev/loop", 0) != 0)
            GTEST_SKIP() << "no loop device available";
        if (!run("mkdir -p '" + mountPoint + "'") || !run("mount -t ext4 '" + device + "' '" + mountPoint + "'")) {
            static_cast<void>(run("losetup -d " + device));
            device.clear();
            GTEST_SKIP() << "cannot mount an ext4 loop device here";
        }
        mounted = true;
    }

    void TearDown() override
    {
        unmount();
        if (!device.empty())
            static_cast<void>(run("losetup -d " + device));
    }

    void unmount()
    {
        if (mounted)
            static_cast<void>(run("umount '" + mountPoint + "'"));
        mounted = false;
    }

    std::string readImage(std::uint64_t offset, std::uint64_t length) const
    {
        std::ifstream in(image, std::ios::binary);
        in.seekg(static_cast<std::streamoff>(offset));
        std::string data(length, '\0');
        in.read(data.data(), static_cast<std::streamsize>(length));
        return data;
    }

    std::uint64_t sectorsWritten() const
    {
        static_cast<void>(run("sync"));
        const std::string name = device.substr(device.rfind('/') + 1);
        std::ifstream stat("/sys/block/" + name + "/stat");
        std::uint64_t field = 0;
        for (int i = 0; i < 7 && (stat >> field); ++i) {
        }
        return field; // the seventh field: sectors written
    }

    void expectGoneFromDisk(const std::string& path)
    {
        const auto extents = physicalExtents(path);
        ASSERT_FALSE(extents.empty());
        std::size_t before = 0;
        for (const auto& extent : extents)
            before += countMarkers(readImage(extent.physical, extent.length));
        ASSERT_GT(before, 0u) << "marker should be on disk before the wipe";

        zqvdod::FileOps ops;
        zqvdod::Shredder shredder(ops);
        EXPECT_EQ(shredder.shred(path.c_str()), 0);
        EXPECT_FALSE(exists(path));
        unmount();

        for (const auto& extent : extents)
            EXPECT_EQ(countMarkers(readImage(extent.physical, extent.length)), 0u) << "at " << extent.physical;
        EXPECT_EQ(countMarkers(readFile(image)), 0u) << "marker found elsewhere in the image";
    }

    TempDir dir;
    std::string image;
    std::string mountPoint;
    std::string device;
    bool mounted = false;
};

TEST_F(LoopDeviceTest, WipedFileLeavesNoMarkerOnTheDisk)
{
    const std::string path = mountPoint + "/secret.bin";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    writeMarkerAt(fd, 0, 4 << 20);
    ASSERT_EQ(::fsync(fd), 0);
    ::close(fd);
    expectGoneFromDisk(path);
}

TEST_F(LoopDeviceTest, WipedSparseFileLeavesNoMarkerOnTheDisk)
{
    const std::string path = mountPoint + "/sparse.bin";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    writeMarkerAt(fd, 0, 256 << 10);
    writeMarkerAt(fd, 5 << 20, 300 << 10);
    writeMarkerAt(fd, 11 << 20, 100 << 10);
    ASSERT_EQ(::ftruncate(fd, 16 << 20), 0);
    ASSERT_EQ(::fsync(fd), 0);
    ::close(fd);
    expectGoneFromDisk(path);
}

TEST_F(LoopDeviceTest, EveryPatternReachesTheDevice)
{
    constexpr std::uint64_t kSize = 8 << 20;
    const std::string path = mountPoint + "/counted.bin";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    writeMarkerAt(fd, 0, kSize);
    ASSERT_EQ(::fsync(fd), 0);
    ::close(fd);

    const std::uint64_t before = sectorsWritten();
    zqvdod::FileOps ops;
    zqvdod::Shredder shredder(ops);
    ASSERT_EQ(shredder.shred(path.c_str()), 0);
    const std::uint64_t written = (sectorsWritten() - before) * 512;

    // Three patterns of the whole size; the rest is journal and metadata.
    EXPECT_GE(written, 3 * kSize);
    EXPECT_LE(written, 3 * kSize + (4 << 20));
}

} // namespace
