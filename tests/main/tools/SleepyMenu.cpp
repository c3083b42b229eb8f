// A stand-in plug-in whose entry points take far longer than anyone waits.
#include <chrono>
#include <thread>

extern "C" __attribute__((visibility("default"))) int DllRegisterServer(void)
{
    std::this_thread::sleep_for(std::chrono::seconds(5));
    return 0;
}

extern "C" __attribute__((visibility("default"))) int DllUnregisterServer(void)
{
    std::this_thread::sleep_for(std::chrono::seconds(5));
    return 0;
}
