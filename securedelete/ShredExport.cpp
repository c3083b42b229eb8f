#include <mutex>

#include "FileOps.h"
#include "Shredder.h"
#include "zqvdod.h"

namespace {

std::mutex& callLock()
{
    static std::mutex lock;
    return lock;
}

zqvdod::Shredder& processShredder()
{
    static zqvdod::FileOps ops;
    static zqvdod::Shredder shredder(ops);
    return shredder;
}

} // namespace

extern "C" __attribute__((visibility("default"))) int shred(const char* path)
{
    // The patterns and their buffers are shared by every call of the process.
    const std::lock_guard<std::mutex> guard(callLock());
    zqvdod::Shredder& shredder = processShredder();
    shredder.setPassCount(zqvdod::Shredder::kDefaultPassCount);
    return shredder.shred(path);
}
