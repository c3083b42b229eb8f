#include <array>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include "zqvmd5.h"

namespace {

using InitFn = void (*)(void*);
using UpdateFn = void (*)(void*, const unsigned char*, std::uint32_t);
using FinalFn = void (*)(unsigned char*, void*);

// The library as the hash viewer meets it: loaded by name, bound by name.
class Md5Library : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_handle = ::dlopen(ZQVMD5_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_handle, nullptr) << ::dlerror();
        init = reinterpret_cast<InitFn>(::dlsym(m_handle, "MD5Init"));
        update = reinterpret_cast<UpdateFn>(::dlsym(m_handle, "MD5Update"));
        final = reinterpret_cast<FinalFn>(::dlsym(m_handle, "MD5Final"));
        ASSERT_NE(init, nullptr);
        ASSERT_NE(update, nullptr);
        ASSERT_NE(final, nullptr);
    }
    void TearDown() override
    {
        if (m_handle != nullptr)
            ::dlclose(m_handle);
    }

    // Feeds `text` in pieces of `piece` bytes (0: all at once) and returns the hexadecimal digest.
    std::string digest(const std::string& text, std::size_t piece)
    {
        std::array<unsigned char, kMd5ContextSize> context{};
        init(context.data());
        const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
        const std::size_t step = piece == 0 ? std::max<std::size_t>(text.size(), 1) : piece;
        for (std::size_t at = 0; at < text.size(); at += step)
            update(context.data(), bytes + at, static_cast<std::uint32_t>(std::min(step, text.size() - at)));
        unsigned char out[kMd5DigestSize];
        final(out, context.data());
        std::string hex;
        char two[3];
        for (unsigned char b : out) {
            std::snprintf(two, sizeof two, "%02x", b);
            hex += two;
        }
        return hex;
    }

    InitFn init = nullptr;
    UpdateFn update = nullptr;
    FinalFn final = nullptr;

private:
    void* m_handle = nullptr;
};

TEST_F(Md5Library, Rfc1321SuiteInEveryPieceSize)
{
    const std::pair<std::string, std::string> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, expected] : suite) {
        for (std::size_t piece : {0, 1, 7, 64})
            EXPECT_EQ(digest(text, piece), expected) << '"' << text << "\" in pieces of " << piece;
    }
}

TEST_F(Md5Library, FinishedContextIsClearedAndCanStartAgain)
{
    std::array<unsigned char, kMd5ContextSize> context{};
    unsigned char out[kMd5DigestSize];
    for (int round = 0; round < 2; ++round) {
        init(context.data());
        update(context.data(), reinterpret_cast<const unsigned char*>("abc"), 3);
        final(out, context.data());
        EXPECT_EQ(out[0], 0x90);
        EXPECT_EQ(out[15], 0x72);
        EXPECT_EQ(context, (std::array<unsigned char, kMd5ContextSize>{})) << "the handle must not outlive MD5Final";
    }
    // A context that was never started gives no digest that could pass for a real one.
    final(out, context.data());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(out), sizeof out), std::string(sizeof out, '\0'));
}

TEST(Md5Exports, OnlyTheThreeFunctionsLeaveTheLibrary)
{
    const std::string command = std::string("nm -D --defined-only ") + ZQVMD5_LIBRARY_PATH;
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> symbols;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        std::string text(line);
        const std::size_t space = text.find_last_of(' ');
        std::string name = text.substr(space + 1);
        name.erase(name.find_last_not_of("\n") + 1);
        symbols.insert(name);
    }
    ASSERT_EQ(::pclose(pipe), 0);
    EXPECT_EQ(symbols, (std::set<std::string>{"MD5Final", "MD5Init", "MD5Update"}));
}

} // namespace
