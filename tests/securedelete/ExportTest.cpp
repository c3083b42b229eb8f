#include <cstdio>
#include <memory>
#include <string>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "TempDir.h"

using namespace testsupport;

namespace {

TEST(ExportTest, OnlyShredIsExported)
{
    const std::string command = std::string("nm -D --defined-only '") + ZQVDOD_LIBRARY_PATH + "'";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(::popen(command.c_str(), "r"), ::pclose);
    ASSERT_TRUE(pipe);
    std::vector<std::string> symbols;
    char line[512];
    while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
        std::string text(line);
        const auto space = text.rfind(' ');
        std::string name = text.substr(space + 1);
        name.erase(name.find_last_not_of("\n") + 1);
        // Version nodes of the linker script are not symbols of ours.
        if (text.find(" A ") == std::string::npos)
            symbols.push_back(name);
    }
    EXPECT_EQ(symbols, std::vector<std::string>{"shred"});
}

TEST(ExportTest, LoadedByNameItWipesAFileSilently)
{
    void* library = ::dlopen(ZQVDOD_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << ::dlerror();
    using ShredFunction = int (*)(const char*);
    auto shred = reinterpret_cast<ShredFunction>(::dlsym(library, "shred"));
    ASSERT_NE(shred, nullptr);

    TempDir dir;
    writeFile(dir.file("one.txt"), "first");
    writeFile(dir.file("two.txt"), "second");
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const int first = shred(dir.file("one.txt").c_str());
    const int second = shred(dir.file("*.txt").c_str());
    const int nothing = shred(nullptr);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    EXPECT_NE(nothing, 0);
    EXPECT_EQ(listFolder(dir.path()), "");
    ::dlclose(library);
}

} // namespace
