// Runs the extractor on arbitrary self-extracting files: the trailer, the
// encrypted payload and the envelope inside it, up to the extracted file.
#include <cstdlib>
#include <cstring>
#include <string>

#include <dirent.h>
#include <sys/mman.h>
#include <unistd.h>

#include "FuzzCommon.h"
#include "SfxExtractor.h"
#include "SfxFormat.h"

namespace {

std::string g_folder;

void removeOutputFolder()
{
    ::rmdir(g_folder.c_str());
}

// A private folder for what gets extracted, emptied after every input and
// removed when the run ends. In memory where there is a memory file system:
// every extraction syncs its output, which on a disk costs milliseconds.
const std::string& outputFolder()
{
    if (g_folder.empty()) {
        char inMemory[] = "/dev/shm/zqv-fuzz-XXXXXX";
        char onDisk[] = "/tmp/zqv-fuzz-XXXXXX";
        char* pattern = ::mkdtemp(inMemory) != nullptr ? inMemory : ::mkdtemp(onDisk);
        if (pattern == nullptr)
            std::abort();
        g_folder = pattern;
        std::atexit(removeOutputFolder);
    }
    return g_folder;
}

void emptyFolder(const std::string& folder)
{
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr)
        return;
    while (const dirent* entry = ::readdir(listing)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            ::unlink((folder + "/" + name).c_str());
    }
    ::closedir(listing);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    // Only payloads whose key derivation stays cheap go on.
    if (size >= zqvcrypto::sfx::kTrailerSize) {
        const auto trailer =
            zqvcrypto::sfx::decodeTrailer(data + size - zqvcrypto::sfx::kTrailerSize, static_cast<std::uint64_t>(size));
        if (trailer &&
            !fuzzing::cheapEnough(data + trailer->payloadOffset, static_cast<std::size_t>(trailer->payloadSize)))
            return 0;
    }
    const int file = ::memfd_create("sfx", MFD_CLOEXEC);
    if (file < 0)
        return 0;
    if (size > 0 && ::write(file, data, size) != static_cast<ssize_t>(size)) {
        ::close(file);
        return 0;
    }
    zqvsfx::Options options;
    options.selfPath = "/proc/self/fd/" + std::to_string(file);
    options.outputDir = outputFolder();
    auto prompt = [](int attempt, std::string&) -> std::optional<std::string> {
        if (attempt > 1)
            return std::nullopt;
        return fuzzing::kPassword;
    };
    auto quiet = [](const std::string&) {};
    static_cast<void>(zqvsfx::extract(options, prompt, quiet, quiet));
    ::close(file);
    emptyFolder(outputFolder());
    return 0;
}
