// How the size and kind of reads and writes change their cost on this
// machine: the measurements behind the file ciphers' I/O.
//
//   io_bench [folder] [size in MiB] [rounds]     (defaults: ., 1024, 3; run as root)
//
// Writes: the file is written with one buffer size per call, then flushed;
// before each run 128 MiB are touched and freed and the process sleeps half a
// second, as a key derivation would. Reads: the page cache is dropped first.
// Each row gives the wall time, the kernel time of the calls, and (for
// writes) the flush. Rounds interleave every row.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "BenchSupport.h"

namespace {

using namespace bench;

double kernelSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_stime.tv_sec) + static_cast<double>(usage.ru_stime.tv_usec) / 1e6;
}

struct Row
{
    std::string name;
    bool write;
    std::size_t size;
    bool direct;
    Series wall, kernel, flush;
};

unsigned char* buffer(std::size_t size)
{
    void* memory = nullptr;
    if (::posix_memalign(&memory, 4096, size) != 0)
        fail("out of memory");
    std::memset(memory, 0x5a, size);
    return static_cast<unsigned char*>(memory);
}

void writeRow(Row& row, const std::string& path, std::size_t total)
{
    unsigned char* data = buffer(row.size);
    {
        // What a key derivation leaves behind: memory used, freed, a pause.
        std::vector<unsigned char> scratch(128u << 20, 1);
        std::memset(scratch.data(), 2, scratch.size());
    }
    ::usleep(500000);
    const auto start = Clock::now();
    const double kernelStart = kernelSeconds();
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | (row.direct ? O_DIRECT : 0), 0600);
    if (fd < 0)
        fail("cannot create " + path);
    for (std::size_t done = 0; done < total; done += row.size) {
        if (::write(fd, data, row.size) != static_cast<ssize_t>(row.size))
            fail("write failed");
    }
    const double written = secondsSince(start);
    const double kernel = kernelSeconds() - kernelStart;
    if (::fsync(fd) != 0)
        fail("fsync failed");
    ::close(fd);
    row.wall.values.push_back(secondsSince(start));
    row.kernel.values.push_back(kernel);
    row.flush.values.push_back(secondsSince(start) - written);
    std::free(data);
}

void readRow(Row& row, const std::string& path)
{
    unsigned char* data = buffer(row.size);
    dropCaches();
    const auto start = Clock::now();
    const double kernelStart = kernelSeconds();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | (row.direct ? O_DIRECT : 0));
    if (fd < 0)
        fail("cannot open " + path);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
    while (::read(fd, data, row.size) > 0) {
    }
    ::close(fd);
    row.wall.values.push_back(secondsSince(start));
    row.kernel.values.push_back(kernelSeconds() - kernelStart);
    std::free(data);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ".";
    const std::size_t mebibytes = argc > 2 ? static_cast<std::size_t>(std::atol(argv[2])) : 1024;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::string target = folder + "/io-bench-write.bin";
    const std::string source = folder + "/io-bench-read.bin";
    shell("head -c " + std::to_string(mebibytes) + "M /dev/urandom > '" + source + "' && sync");

    std::vector<Row> rows = {
        {"write 8 MiB per call", true, 8u << 20, false, {}, {}, {}},
        {"write 1 MiB per call", true, 1u << 20, false, {}, {}, {}},
        {"write 512 KiB per call", true, 512u << 10, false, {}, {}, {}},
        {"write 256 KiB per call", true, 256u << 10, false, {}, {}, {}},
        {"write 4 MiB per call, O_DIRECT", true, 4u << 20, true, {}, {}, {}},
        {"read 4 MiB per call, cold", false, 4u << 20, false, {}, {}, {}},
        {"read 4 MiB per call, cold, O_DIRECT", false, 4u << 20, true, {}, {}, {}},
    };
    std::printf("%zu MiB, %d rounds; load average at the start: %s\n", mebibytes, rounds, loadText().c_str());
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t k = 0; k < rows.size(); ++k) {
            Row& row = rows[(k + static_cast<std::size_t>(round)) % rows.size()];
            ::unlink(target.c_str());
            ::sync();
            if (row.write)
                writeRow(row, target, mebibytes << 20);
            else
                readRow(row, source);
        }
    }
    std::printf("\n| calls | wall (s) | kernel time in the calls (s) | of the wall: flush (s) |\n|---|---|---|---|\n");
    for (const Row& row : rows)
        std::printf("| %s | %s | %s | %s |\n",
                    row.name.c_str(),
                    row.wall.text().c_str(),
                    row.kernel.text().c_str(),
                    row.write ? row.flush.text().c_str() : "");
    std::printf("\nLoad average at the end: %s\n", loadText().c_str());
    ::unlink(target.c_str());
    ::unlink(source.c_str());
    return 0;
}
