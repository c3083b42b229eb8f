// Packs and encrypts a folder tree with ZIPLight plus our encryption, next to
// `zip -r` followed by the same encryption, and `7z a -tzip -mem=AES256`.
//
//   folder_bench [folder] [runs]      (defaults: ., 3)
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "Crypto.h"
#include "FileCipher.h"
#include "ZIPLight.h"

namespace {

using Clock = std::chrono::steady_clock;
std::string g_folder;
int g_runs = 3;
const std::string kPassword = "benchmark password";

void shell(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

std::string path(const std::string& name)
{
    return g_folder + "/" + name;
}

double timeIt(const std::function<void()>& run, const std::function<void()>& prepare)
{
    std::vector<double> times;
    for (int i = 0; i < g_runs; ++i) {
        prepare();
        const auto start = Clock::now();
        run();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

void encrypt(const std::string& from, const std::string& to)
{
    zqvcrypto::FileJob job{QString::fromStdString(from), QString::fromStdString(to), true, false, {}};
    const zqvcrypto::Bytes password(reinterpret_cast<const unsigned char*>(kPassword.data()), kPassword.size());
    if (zqvcrypto::encryptFile(job, password, zqvcrypto::Crypto::defaultKdfParams()) != zqvcrypto::CryptoError::None)
        std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    g_folder = argc > 1 ? argv[1] : ".";
    g_runs = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string tree = path("bench-tree");
    // About 5,000 small files of text-like content in 50 folders, and a few large files.
    shell("rm -rf '" + tree + "' && mkdir -p '" + tree + "'");
    shell("cd '" + tree +
          "' && for d in $(seq 1 50); do mkdir -p dir$d; for f in $(seq 1 100); do "
          "head -c $(( (f * 37) % 8000 + 200 )) /usr/share/common-licenses/GPL-3 > dir$d/file$f.txt; done; done");
    shell("head -c 64M /dev/urandom > '" + tree + "/random.bin'");
    shell("for i in 1 2 3 4 5 6 7 8; do cat /usr/share/common-licenses/GPL-3; done > '" + tree +
          "/text.part' && "
          "for i in $(seq 1 200); do cat '" +
          tree + "/text.part'; done > '" + tree + "/text.txt' && rm '" + tree + "/text.part'");
    shell("head -c 32M /dev/zero > '" + tree + "/zeros.bin' && sync");

    const std::string zipOut = path("bench.zip");
    const std::string sealed = path("bench.zip.zqv");
    const auto clean = [&] { shell("rm -f '" + zipOut + "' '" + sealed + "' '" + path("bench7.zip") + "' && sync"); };

    std::printf("| level | ZIPLight + encryption (s) | zip -r + encryption (s) | 7z a -tzip -mem=AES256 (s) | ours / "
                "zip | ours / 7z |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (int level : {0, 6}) {
        const double ours = timeIt(
            [&] {
                ziplight::ZIPLight zip;
                zip.SourceDirectory = QString::fromStdString(tree);
                zip.CompressionLevel = static_cast<qint16>(level);
                zip.ZipFileName = QString::fromStdString(zipOut);
                zip.Recursive = true;
                if (!zip.Add())
                    std::exit(1);
                encrypt(zipOut, sealed);
            },
            clean);
        const double zip = timeIt(
            [&] {
                shell("cd '" + tree + "' && zip -q -r -" + std::to_string(level) + " '" + zipOut + "' .");
                encrypt(zipOut, sealed);
            },
            clean);
        const double sevenZip = timeIt(
            [&] {
                shell("cd '" + tree + "' && 7z a -bd -bso0 -tzip -mem=AES256 -mx=" + std::to_string(level) + " -p'" +
                      kPassword + "' '" + path("bench7.zip") + "' . && sync '" + path("bench7.zip") + "'");
            },
            clean);
        std::printf(
            "| %d | %.2f | %.2f | %.2f | %.2f | %.2f |\n", level, ours, zip, sevenZip, ours / zip, ours / sevenZip);
        std::fflush(stdout);
    }
    clean();
    shell("rm -rf '" + tree + "'");
    return 0;
}
