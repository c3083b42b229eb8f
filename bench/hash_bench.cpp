// The hash viewer's computation (one pass, SHA-256 and MD5 together) against
// `sha256sum` followed by `md5sum` on the same file, rounds interleaved.
//
//   hash_bench [folder] [size in MiB] [runs]     (defaults: ., 1024, 3)
//
// Warm: the file is in the page cache for every tool. Cold: the file's pages
// are dropped (for this file only) before each tool's turn.
#include <QString>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "Crypto.h"
#include "HashValues.h"
#include "Md5Module.h"

namespace {

using Clock = std::chrono::steady_clock;

void shell(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

void dropFromCache(const std::string& file)
{
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

void warm(const std::string& file)
{
    shell("cat '" + file + "' > /dev/null");
}

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// User plus system time of this process or of its finished children. The
// machine may be shared, so CPU time is the figure that does not depend on
// how many cores were free.
double cpuSeconds(int who)
{
    struct rusage usage
    {
    };
    ::getrusage(who, &usage);
    auto toSeconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return toSeconds(usage.ru_utime) + toSeconds(usage.ru_stime);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ".";
    const long sizeMiB = argc > 2 ? std::atol(argv[2]) : 1024;
    const int runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::string file = folder + "/hash_bench.bin";
    shell("head -c " + std::to_string(sizeMiB) + "M /dev/urandom > '" + file + "'");

    const zqvcrypto::Crypto control;
    zqvtools::Md5Library md5(QStringLiteral(ZQVMD5_LIBRARY_PATH));
    const std::atomic<bool> cancel{false};
    std::string ourValues;
    double ourCpu = 0;
    double peerCpu = 0;
    auto ours = [&] {
        const double cpu = cpuSeconds(RUSAGE_SELF);
        const auto start = Clock::now();
        const zqvtools::HashValues values =
            zqvtools::computeHashValues(QString::fromStdString(file), control, md5, {}, cancel);
        const double elapsed = seconds(start);
        ourValues = (values.sha + QLatin1Char(' ') + values.md5).toStdString();
        ourCpu = cpuSeconds(RUSAGE_SELF) - cpu;
        return elapsed;
    };
    auto peers = [&] {
        const double cpu = cpuSeconds(RUSAGE_CHILDREN);
        const auto start = Clock::now();
        shell("sha256sum '" + file + "' > '" + folder + "/hash_bench.sha'");
        shell("md5sum '" + file + "' > '" + folder + "/hash_bench.md5'");
        const double elapsed = seconds(start);
        peerCpu = cpuSeconds(RUSAGE_CHILDREN) - cpu;
        return elapsed;
    };

    std::printf("%ld MiB, %d runs, median\n\n", sizeMiB, runs);
    std::printf("| cache | ours (s) | sha256sum + md5sum (s) | ours / peers | CPU ours (s) | CPU peers (s) |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const bool cold : {false, true}) {
        std::vector<double> ourTimes;
        std::vector<double> peerTimes;
        std::vector<double> ourCpus;
        std::vector<double> peerCpus;
        for (int i = 0; i < runs; ++i) {
            cold ? dropFromCache(file) : warm(file);
            ourTimes.push_back(ours());
            ourCpus.push_back(ourCpu);
            cold ? dropFromCache(file) : warm(file);
            peerTimes.push_back(peers());
            peerCpus.push_back(peerCpu);
        }
        const double a = median(ourTimes);
        const double b = median(peerTimes);
        std::printf("| %s | %.2f | %.2f | %.2f | %.2f | %.2f |\n",
                    cold ? "cold" : "warm",
                    a,
                    b,
                    a / b,
                    median(ourCpus),
                    median(peerCpus));
    }
    // The values must agree, or the times mean nothing.
    shell("cut -d' ' -f1 '" + folder + "/hash_bench.sha' > '" + folder + "/hash_bench.both'");
    FILE* f = std::fopen((folder + "/hash_bench.both").c_str(), "r");
    char sha[80] = {};
    const bool gotSha = f != nullptr && std::fscanf(f, "%79s", sha) == 1;
    if (f != nullptr)
        std::fclose(f);
    std::printf("\nvalues agree with sha256sum: %s\n", gotSha && ourValues.rfind(sha, 0) == 0 ? "yes" : "NO");
    shell("rm -f '" + file + "' '" + folder + "/hash_bench.sha' '" + folder + "/hash_bench.md5' '" + folder +
          "/hash_bench.both'");
    return 0;
}
