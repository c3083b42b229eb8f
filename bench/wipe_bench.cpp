// Wipes a file of the given size with our library, with `shred -n 3 -u` (the
// same number of bytes overwritten) and writes it once with `dd oflag=direct`,
// and prints the times side by side.
//
//   wipe_bench [folder] [size in MiB]      (defaults: current folder, 1024)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

void makeFile(const std::string& path, long mebibytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::vector<char> block(1 << 20);
    for (std::size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>('A' + i % 26);
    for (long i = 0; i < mebibytes; ++i) {
        if (::write(fd, block.data(), block.size()) != static_cast<ssize_t>(block.size())) {
            std::perror("write");
            std::exit(1);
        }
    }
    ::fsync(fd);
    ::close(fd);
    ::sync();
}

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long maxRssKiB()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ".";
    const long mebibytes = argc > 2 ? std::atol(argv[2]) : 1024;
    const std::string file = folder + "/wipe-bench.bin";

    void* library = ::dlopen(ZQVDOD_LIBRARY_PATH, RTLD_NOW);
    if (library == nullptr) {
        std::fprintf(stderr, "%s\n", ::dlerror());
        return 1;
    }
    auto shred = reinterpret_cast<int (*)(const char*)>(::dlsym(library, "shred"));

    makeFile(file, mebibytes);
    const long rssBefore = maxRssKiB();
    auto start = Clock::now();
    const int result = shred(file.c_str());
    const double ours = seconds(start);
    const long rssAfter = maxRssKiB();
    if (result != 0 || ::access(file.c_str(), F_OK) == 0) {
        std::fprintf(stderr, "our wipe failed\n");
        return 1;
    }

    makeFile(file, mebibytes);
    start = Clock::now();
    if (std::system(("shred -n 3 -u '" + file + "'").c_str()) != 0)
        return 1;
    const double gnuShred = seconds(start);

    start = Clock::now();
    const std::string dd =
        "dd if=/dev/zero of='" + file + "' bs=1M count=" + std::to_string(mebibytes) + " oflag=direct status=none";
    if (std::system(dd.c_str()) != 0)
        return 1;
    const double ddWrite = seconds(start);
    ::unlink(file.c_str());

    std::printf("| file | ours (s) | shred -n 3 -u (s) | dd oflag=direct (s) | ours / shred | ours / dd | "
                "shred / dd | max RSS growth (KiB) |\n");
    std::printf("|---|---|---|---|---|---|---|---|\n");
    std::printf("| %ld MiB | %.2f | %.2f | %.2f | %.2f | %.2f | %.2f | %ld |\n",
                mebibytes,
                ours,
                gnuShred,
                ddWrite,
                ours / gnuShred,
                ours / ddWrite,
                gnuShred / ddWrite,
                rssAfter - rssBefore);
    return 0;
}
