// The plug-in as the preferences see it: a library loaded by path, two entry
// points, entries written for the engine beside it.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempDir.h"

namespace {

using EntryPoint = int (*)();

std::set<std::string> exportedNames(const std::string& library)
{
    std::set<std::string> names;
    FILE* pipe = ::popen(("nm -D --defined-only '" + library + "'").c_str(), "r");
    if (pipe == nullptr)
        return names;
    char line[1024];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        names.insert(text.substr(text.rfind(' ') + 1));
    }
    ::pclose(pipe);
    return names;
}

TEST(MenuPlugin, ExportsOnlyItsTwoEntryPoints)
{
    EXPECT_EQ(exportedNames(ZQVMENU_LIBRARY_PATH), (std::set<std::string>{"DllRegisterServer", "DllUnregisterServer"}));
}

class LoadedPlugin : public ::testing::Test
{
protected:
    testsupport::TempDir temp;
    std::string programFolder = temp.path() + "/moved program ü";
    void* library = nullptr;

    void SetUp() override
    {
        ::setenv("XDG_DATA_HOME", (temp.path() + "/data").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (temp.path() + "/config").c_str(), 1);
        ::setenv("XDG_CONFIG_DIRS", (temp.path() + "/etc").c_str(), 1);
        ::mkdir(programFolder.c_str(), 0755);
        // A copy under a new name is a new library to the loader, found in its new place.
        std::filesystem::copy_file(ZQVMENU_LIBRARY_PATH, programFolder + "/libzqvmenu.so");
        library = ::dlopen((programFolder + "/libzqvmenu.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library, nullptr) << ::dlerror();
    }

    void TearDown() override
    {
        if (library != nullptr)
            ::dlclose(library);
    }

    int call(const char* name) const
    {
        const auto entry = reinterpret_cast<EntryPoint>(::dlsym(library, name));
        EXPECT_NE(entry, nullptr) << name;
        return entry == nullptr ? -1 : entry();
    }

    [[nodiscard]] std::string entries() const
    {
        return testsupport::listFolder(temp.path() + "/data/nautilus/scripts") + " | " +
               testsupport::listFolder(temp.path() + "/data/kio/servicemenus") + " | " +
               testsupport::listFolder(temp.path() + "/data/nemo/actions");
    }
};

TEST_F(LoadedPlugin, RegisterWritesTheFourFileVerbsForTheEngineBesideIt)
{
    EXPECT_EQ(call("DllRegisterServer"), 0);
    EXPECT_EQ(entries(),
              "Decrypt File Encrypt File Make Self-Extracting Exe Wipe File | zqv-encrypted-files.desktop "
              "zqv-files.desktop | "
              "zqv-decrypt-file.nemo_action zqv-encrypt-file.nemo_action zqv-make-exe.nemo_action "
              "zqv-wipe-file.nemo_action");
    const std::string nemo = testsupport::readFile(temp.path() + "/data/nemo/actions/zqv-decrypt-file.nemo_action");
    EXPECT_NE(nemo.find("'" + programFolder + "/zqvengine'"), std::string::npos) << nemo;
    EXPECT_NE(nemo.find("Extensions=zqv;"), std::string::npos);

    EXPECT_EQ(call("DllUnregisterServer"), 0);
    // Nothing of ours is left, not even the folders that only held our entries.
    EXPECT_EQ(testsupport::listFolder(temp.path() + "/data"), "nautilus");
    EXPECT_EQ(testsupport::listFolder(temp.path() + "/data/nautilus"), "");
    // Unregistering twice is not a failure.
    EXPECT_EQ(call("DllUnregisterServer"), 0);
}

TEST_F(LoadedPlugin, RegisterReportsEntriesItCouldNotWrite)
{
    std::filesystem::create_directories(temp.path() + "/data");
    testsupport::writeFile(temp.path() + "/data/nemo", "a file where a folder belongs");
    EXPECT_NE(call("DllRegisterServer"), 0);
    EXPECT_EQ(call("DllUnregisterServer"), 0);
    EXPECT_EQ(testsupport::readFile(temp.path() + "/data/nemo"), "a file where a folder belongs");
}

} // namespace
