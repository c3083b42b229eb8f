// Stands in for the engine in the main window's tests: it records its
// arguments in the log file named by ZQV_STANDIN_LOG, waits, and records its
// end. It exits with 1 when ZQV_STANDIN_GATES/<file name>.unfinished exists, 0
// otherwise. It waits until the file ZQV_STANDIN_GATES/<last argument's file name>
// exists, or ZQV_STANDIN_SLEEP_MS milliseconds when no gate folder is given.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void record(const std::string& line)
{
    const char* log = std::getenv("ZQV_STANDIN_LOG");
    if (log == nullptr)
        return;
    if (FILE* file = std::fopen(log, "a")) {
        std::fprintf(file, "%s\n", line.c_str());
        std::fclose(file);
    }
}

std::string baseName(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

int main(int argc, char** argv)
{
    std::string arguments;
    for (int i = 1; i < argc; ++i)
        arguments += std::string(i > 1 ? "|" : "") + argv[i];
    const std::string pid = std::to_string(::getpid());
    record("start " + pid + " " + std::to_string(::getsid(0)) + " " + arguments);

    const char* gates = std::getenv("ZQV_STANDIN_GATES");
    if (gates != nullptr && argc > 1) {
        const std::string gate = std::string(gates) + "/" + baseName(argv[argc - 1]);
        struct stat info
        {
        };
        for (int waited = 0; ::stat(gate.c_str(), &info) != 0 && waited < 60000; waited += 5)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } else if (const char* sleep = std::getenv("ZQV_STANDIN_SLEEP_MS")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(sleep)));
    }
    record("end " + pid + " " + arguments);
    // The engine's way of saying the operation was not done (a dialog closed
    // without doing it): a gate named "<file name>.unfinished".
    if (gates != nullptr && argc > 1) {
        struct stat info
        {
        };
        if (::stat((std::string(gates) + "/" + baseName(argv[argc - 1]) + ".unfinished").c_str(), &info) == 0)
            return 1;
    }
    return 0;
}
