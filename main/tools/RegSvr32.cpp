#include "RegSvr32.h"

#include <QFile>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include <LibraryHandle.h>
#include <sys/stat.h>

namespace zqvtools {

namespace {

using EntryPoint = int (*)();

struct Completion
{
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
};

} // namespace

bool SelfRegisterLibrary(const QString& path, Registration registration, std::chrono::milliseconds limit)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info
    {
    };
    if (path.isEmpty() || ::stat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    cryptelle::LibraryHandle library;
    if (!library.open(native.toStdString()))
        return false;
    const char* name = registration == Registration::Register ? "DllRegisterServer" : "DllUnregisterServer";
    const auto entry = library.entry<EntryPoint>(name);
    if (entry == nullptr)
        return false;

    // Shared with the thread, which may outlive this call.
    auto completion = std::make_shared<Completion>();
    std::thread worker;
    try {
        worker = std::thread([entry, completion] {
            [[maybe_unused]] const int result = entry(); // the result code is not examined
            const std::lock_guard<std::mutex> guard(completion->lock);
            completion->finished = true;
            completion->done.notify_all();
        });
    } catch (const std::system_error&) {
        return false;
    }

    bool finished = false;
    {
        std::unique_lock<std::mutex> guard(completion->lock);
        finished = completion->done.wait_for(guard, limit, [&completion] { return completion->finished; });
    }
    if (!finished) {
        // Unloading code that still runs would crash; stopping a thread from
        // outside is not possible safely. Let it run out.
        worker.detach();
        library.keepLoaded();
        return false;
    }
    worker.join();
    return true;
}

} // namespace zqvtools
