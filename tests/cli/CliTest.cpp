// The cryptelle program, run as a script runs it.
#include <QString>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <set>
#include <thread>

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "CliRunner.h"
#include "CryptoModule.h"
#include "FileHashes.h"
#include "PathText.h"
#include "RecordingMessenger.h"
#include "ShredLibrary.h"
#include "TempDir.h"
#include "ZIPLight.h"

using namespace testsupport;
using clitest::Call;
using clitest::Result;

namespace {

const std::string kPassword = "correct horse";
const zqvcrypto::Argon2Params kCheapKdf{64, 1, 1};

QString q(const std::string& text)
{
    return QString::fromStdString(text);
}

Result
cryptelle(std::vector<std::string> args, const std::string& password = kPassword, std::vector<std::string> env = {})
{
    return clitest::run(Call{std::move(args), password, std::move(env), {}});
}

std::string header(const std::string& file, std::size_t offset, std::size_t size)
{
    return readFile(file).substr(offset, size);
}

// The engine's routines with everything they need and nothing shown.
struct EngineTools
{
    EngineTools()
    {
        crypto.setKdfParams(kCheapKdf);
        messenger.answer = false;
    }

    zqvcrypto::Crypto crypto;
    zqvgui::WorkRunner runner;
    RecordingMessenger messenger;
    engine::OperationTools tools{crypto, runner, messenger, nullptr, {}};
};

TEST(CliTest, ManyFilesShareOneSaltYetEachHasItsOwnKeyAndOpensAloneWithTheEngine)
{
    TempDir dir;
    std::vector<std::string> args{"encrypt"};
    for (int i = 0; i < 5; ++i) {
        writeFile(dir.file(numbered("f", i)), std::string(1000 * i + 1, static_cast<char>('a' + i)));
        args.push_back(dir.file(numbered("f", i)));
    }
    const Result result = cryptelle(args);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "") << "quiet on success, and no progress line when standard error is no terminal";
    EngineTools engine;
    std::set<std::string> nonces;
    for (int i = 0; i < 5; ++i) {
        const std::string name = dir.file(numbered("f", i));
        // Salt at 28, key nonce at 44 (docs/zqv-format.md).
        EXPECT_EQ(header(name + ".zqv", 28, 16), header(dir.file("f0.zqv"), 28, 16));
        nonces.insert(header(name + ".zqv", 44, 12 + 32));
        ASSERT_TRUE(engine::DecryptFileWithPassword(engine.tools, q(name + ".zqv"), q(name + ".back"), q(kPassword)));
        EXPECT_EQ(readFile(name + ".back"), readFile(name));
    }
    EXPECT_EQ(nonces.size(), 5u) << "every file has its own key nonce and sealed file key";
}

TEST(CliTest, DecryptsWhatTheEngineWroteAndVerifiesEveryFile)
{
    TempDir dir;
    EngineTools engine;
    writeFile(dir.file("a"), std::string(700000, 'q'));
    writeFile(dir.file("b"), "second");
    ASSERT_TRUE(engine::EncryptFileWithPassword(engine.tools, q(dir.file("a")), q(dir.file("a.zqv")), q(kPassword)));
    ASSERT_TRUE(engine::EncryptFileWithPassword(engine.tools, q(dir.file("b")), q(dir.file("b.zqv")), q(kPassword)));
    std::filesystem::create_directory(dir.file("out"));
    const Result verified = cryptelle({"verify", dir.file("a.zqv"), dir.file("b.zqv")});
    EXPECT_EQ(verified.status, 0) << verified.err;
    EXPECT_EQ(verified.out, dir.file("a.zqv") + ": OK\n" + dir.file("b.zqv") + ": OK\n");
    const Result decrypted = cryptelle({"decrypt", dir.file("a.zqv"), "-o", dir.file("out/a")});
    ASSERT_EQ(decrypted.status, 0) << decrypted.err;
    EXPECT_EQ(readFile(dir.file("out/a")), readFile(dir.file("a")));
    std::filesystem::remove(dir.file("b"));
    ASSERT_EQ(cryptelle({"decrypt", dir.file("b.zqv")}).status, 0);
    EXPECT_EQ(readFile(dir.file("b")), "second");
}

TEST(CliTest, SelfExtractingFilesRunOnTheirOwnBothWays)
{
    TempDir dir;
    writeFile(dir.file("doc.txt"), "carried inside");
    writeAskpass(dir.file("askpass"), kPassword);
    const Result made = cryptelle({"sfx", dir.file("doc.txt")});
    ASSERT_EQ(made.status, 0) << made.err;
    std::filesystem::create_directory(dir.file("x"));
    EXPECT_TRUE(run("ZQV_ASKPASS='" + dir.file("askpass") + "' '" + dir.file("doc.txt.exe") + "' --output '" +
                    dir.file("x") + "'"));
    EXPECT_EQ(readFile(dir.file("x/doc.txt")), "carried inside");

    // The engine's self-extracting file carries the same stream.
    EngineTools engine;
    engine.crypto.setStubPath(q(ZQVSFX_PATH));
    ASSERT_TRUE(
        engine::MakeSelfExtractingFile(engine.tools, q(dir.file("doc.txt")), q(dir.file("engine.exe")), q(kPassword)));
    std::filesystem::create_directory(dir.file("y"));
    EXPECT_TRUE(run("ZQV_ASKPASS='" + dir.file("askpass") + "' '" + dir.file("engine.exe") + "' --output '" +
                    dir.file("y") + "'"));
    EXPECT_EQ(readFile(dir.file("y/doc.txt")), "carried inside");
}

TEST(CliTest, PackedFoldersOpenWithTheEngineAndTheOtherWayRound)
{
    TempDir dir;
    std::filesystem::create_directories(dir.file("Data/sub"));
    writeFile(dir.file("Data/top.txt"), "top");
    writeFile(dir.file("Data/sub/deep.txt"), "deep");
    const Result packed = cryptelle({"pack", "--recursive", "--zip-password", "--level", "9", dir.file("Data/")});
    ASSERT_EQ(packed.status, 0) << packed.err;
    EngineTools engine;
    ASSERT_TRUE(engine::DecryptFileWithPassword(
        engine.tools, q(dir.file("Data.zip.zqv")), q(dir.file("restored.zip")), q(kPassword)));
    // unzip cannot read AES entries; 7z can.
    EXPECT_TRUE(run("7z t '-p" + kPassword + "' '" + dir.file("restored.zip") + "'"));
    EXPECT_FALSE(run("7z t -pwrong '" + dir.file("restored.zip") + "'")) << "the entries carry the password";
    EXPECT_TRUE(run("unzip -l '" + dir.file("restored.zip") + "' | grep -q 'sub/deep.txt'"));

    ziplight::ZIPLight zip;
    engine::FolderJob job;
    job.folder = q(dir.file("Data"));
    job.archive = q(dir.file("Engine.zip"));
    job.recursive = true;
    ASSERT_EQ(engine::EncryptFolderToArchive(engine.tools, zip, job, q(kPassword)), engine::FolderResult::Done);
    const Result decrypted = cryptelle({"decrypt", dir.file("Engine.zip.zqv")});
    ASSERT_EQ(decrypted.status, 0) << decrypted.err;
    EXPECT_TRUE(run("unzip -tq '" + dir.file("Engine.zip") + "'"));

    const Result selfExtracting = cryptelle({"pack", "--sfx", "--store", dir.file("Data")});
    ASSERT_EQ(selfExtracting.status, 0) << selfExtracting.err;
    EXPECT_TRUE(exists(dir.file("Data.zip.exe")));
}

TEST(CliTest, WipeSourceWipesOnlyAfterTheNewFileWasWrittenAndChecked)
{
    TempDir dir;
    writeFile(dir.file("a"), "only copy");
    writeFile(dir.file("b"), "other");
    const Result result = cryptelle({"encrypt", "--wipe-source", dir.file("a"), dir.file("b")});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(listFolder(dir.path()), "a.zqv b.zqv");
    ASSERT_EQ(cryptelle({"decrypt", "--wipe-source", dir.file("a.zqv")}).status, 0);
    EXPECT_EQ(listFolder(dir.path()), "a b.zqv");
    EXPECT_EQ(readFile(dir.file("a")), "only copy");

    // A failed decryption wipes nothing.
    const Result wrong = cryptelle({"decrypt", "--wipe-source", dir.file("b.zqv")}, "wrong");
    EXPECT_EQ(wrong.status, 3);
    EXPECT_EQ(listFolder(dir.path()), "a b.zqv");
}

TEST(ShredLibraryTest, AFileChangedSinceItsIdentityWasTakenIsNotWipedByName)
{
    TempDir dir;
    writeFile(dir.file("a"), "before");
    cryptelle::FileIdentity identity;
    ASSERT_TRUE(cryptelle::identityOfPath(dir.file("a"), identity));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    writeFile(dir.file("a"), "changed after");
    zqvwipe::ShredLibrary wiper(q(ZQVDOD_LIBRARY_PATH));
    EXPECT_EQ(wiper.wipeUnheld(dir.file("a"), identity), zqvwipe::WipeResult::Changed);
    EXPECT_EQ(readFile(dir.file("a")), "changed after");
    ASSERT_TRUE(cryptelle::identityOfPath(dir.file("a"), identity));
    EXPECT_EQ(wiper.wipeUnheld(dir.file("a"), identity), zqvwipe::WipeResult::Wiped);
    EXPECT_FALSE(exists(dir.file("a")));
}

TEST(ShredLibraryTest, AHeldSourceReplacedUnderItsNameIsNotWipedNorIsTheNewFile)
{
    TempDir dir;
    writeFile(dir.file("a"), "read by the operation");
    zqvwipe::ShredLibrary wiper(q(ZQVDOD_LIBRARY_PATH));
    {
        cryptelle::HeldFile held;
        ASSERT_TRUE(held.open(dir.file("a"), cryptelle::HeldFile::Access::ReadOrWrite));
        std::filesystem::rename(dir.file("a"), dir.file("moved"));
        writeFile(dir.file("a"), "put in its place");
        EXPECT_EQ(wiper.wipe(zqvwipe::targetOf(held)), zqvwipe::WipeResult::Changed);
    }
    EXPECT_EQ(readFile(dir.file("a")), "put in its place");
    EXPECT_EQ(readFile(dir.file("moved")), "read by the operation");

    cryptelle::HeldFile held;
    ASSERT_TRUE(held.open(dir.file("a"), cryptelle::HeldFile::Access::ReadOrWrite));
    EXPECT_EQ(wiper.wipe(zqvwipe::targetOf(held)), zqvwipe::WipeResult::Wiped);
    EXPECT_EQ(listFolder(dir.path()), "moved");
}

TEST(CliTest, WipeRemovesFilesAndRefusesFoldersLinksAndMissingNames)
{
    TempDir dir;
    dir.write({{"a", "secret"}, {"b*", "star"}, {"bz", "neighbour"}, {"folder/inside", "kept"}});
    std::filesystem::create_symlink(dir.file("bz"), dir.file("link"));
    EXPECT_EQ(cryptelle({"wipe", dir.file("a"), dir.file("b*")}, "").status, 0);
    EXPECT_EQ(listFolder(dir.path()), "bz folder link");
    for (const char* refused : {"folder", "link", "missing"}) {
        const Result result = cryptelle({"wipe", dir.file(refused)}, "");
        EXPECT_EQ(result.status, 5) << refused;
        EXPECT_NE(result.err.find(dir.file(refused)), std::string::npos) << "the message names the file";
    }
    EXPECT_EQ(readFile(dir.file("bz")), "neighbour");
    EXPECT_EQ(readFile(dir.file("folder/inside")), "kept");
}

TEST(CliTest, HashLinesAreCheckedBySha256sumAndMd5sum)
{
    TempDir dir;
    dir.write({{"plain", "abc"}, {"with space", ""}, {"back\\slash", "x"}, {"new\nline", "y"}});
    const std::vector<std::string> names{"plain", "with space", "back\\slash", "new\nline"};
    for (const char* kind : {"sha256", "md5"}) {
        std::vector<std::string> args{"hash", std::string("--") + kind};
        for (const std::string& name : names)
            args.push_back(name);
        const Result result = clitest::run(Call{args, "", {}, dir.path()});
        ASSERT_EQ(result.status, 0) << result.err;
        writeFile(dir.file(std::string("sums.") + kind), result.out);
        EXPECT_TRUE(run("cd '" + dir.path() + "' && " + kind + "sum --strict -c sums." + kind)) << result.out;
    }
    EXPECT_EQ(readFile(dir.file("sums.sha256")).substr(0, 64),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(readFile(dir.file("sums.md5")).substr(0, 32), "900150983cd24fb0d6963f7d28e17f72");
    // Both: two blocks, each checked on its own.
    const Result both = clitest::run(Call{{"hash", "--sha256", "--md5", "plain"}, "", {}, dir.path()});
    EXPECT_EQ(both.out,
              readFile(dir.file("sums.sha256")).substr(0, 64 + 8) + readFile(dir.file("sums.md5")).substr(0, 32 + 8));
    const Result missing = cryptelle({"hash", dir.file("nothing")}, "");
    EXPECT_EQ(missing.status, 5);
}

// Every name the system allows reaches each command byte for byte.
TEST(CliTest, NamesInAnyEncodingReachEveryCommandUnchanged)
{
    const std::vector<std::string> names{
        "bad\xff\xfe name", "new\nline", "-dash", "100%?*", "quo\"te's", "back\\slash", "tab\there", "caf\xc3\xa9"};
    TempDir dir;
    for (std::size_t i = 0; i < names.size(); ++i)
        writeFile(dir.file(names[i]), "content " + std::to_string(i));
    const auto call = [&](std::vector<std::string> args,
                          const std::vector<std::string>& files,
                          const std::string& password = kPassword) {
        args.emplace_back("--");
        args.insert(args.end(), files.begin(), files.end());
        return clitest::run(Call{args, password, {}, dir.path()});
    };
    std::vector<std::string> sealed;
    for (const std::string& name : names)
        sealed.push_back(name + ".zqv");

    const Result encrypted = call({"encrypt"}, names);
    ASSERT_EQ(encrypted.status, 0) << encrypted.err;
    for (const std::string& name : sealed)
        EXPECT_TRUE(exists(dir.file(name))) << cli::shown(name).toStdString();

    const Result verified = call({"verify"}, sealed);
    EXPECT_EQ(verified.status, 0) << verified.out;
    EXPECT_NE(verified.out.find("bad\\xff\\xfe name.zqv: OK\n"), std::string::npos) << verified.out;
    EXPECT_NE(verified.out.find("new\\nline.zqv: OK\n"), std::string::npos) << verified.out;

    const Result wrong = call({"decrypt", "--force"}, {sealed[0]}, "not it");
    EXPECT_EQ(wrong.status, 3);
    EXPECT_NE(wrong.err.find("bad\\xff\\xfe name.zqv: "), std::string::npos) << wrong.err;

    const Result sums = call({"hash", "--sha256"}, names, "");
    ASSERT_EQ(sums.status, 0) << sums.err;
    writeFile(dir.file("sums"), sums.out);
    EXPECT_TRUE(run("cd '" + dir.path() + "' && sha256sum --strict --quiet -c sums")) << sums.out;
    const Result md5 = call({"hash", "--md5"}, names, "");
    writeFile(dir.file("sums"), md5.out);
    EXPECT_TRUE(run("cd '" + dir.path() + "' && md5sum --strict --quiet -c sums")) << md5.out;

    // The sources go aside; what decrypts must be them again, under the same names.
    ASSERT_TRUE(run("mkdir '" + dir.file("aside") + "'"));
    for (const std::string& name : names)
        ASSERT_EQ(::rename(dir.file(name).c_str(), dir.file("aside/" + name).c_str()), 0);
    const Result decrypted = call({"decrypt"}, sealed);
    ASSERT_EQ(decrypted.status, 0) << decrypted.err;
    for (std::size_t i = 0; i < names.size(); ++i)
        EXPECT_EQ(readFile(dir.file(names[i])), "content " + std::to_string(i)) << cli::shown(names[i]).toStdString();

    const Result wiped = call({"wipe"}, names, "");
    EXPECT_EQ(wiped.status, 0) << wiped.err;
    for (const std::string& name : names) {
        EXPECT_FALSE(exists(dir.file(name))) << cli::shown(name).toStdString();
        EXPECT_TRUE(exists(dir.file("aside/" + name))) << "only the named file goes";
    }
    const Result gone = call({"wipe"}, {names[0]}, "");
    EXPECT_EQ(gone.status, 5);
    EXPECT_NE(gone.err.find("cryptelle: bad\\xff\\xfe name: "), std::string::npos) << gone.err;
}

// Held new files get no name until the batch is committed; one whose name
// was taken meanwhile is refused alone and replaces nothing.
TEST(PendingOutputsTest, NamesNothingBeforeTheCommitAndReplacesNothingWithoutForce)
{
    TempDir dir;
    zqvcrypto::Crypto crypto;
    crypto.setKdfParams(kCheapKdf);
    std::unique_ptr<zqvcrypto::CryptoKey> key = crypto.DeriveKey(q(kPassword), zqvcrypto::Crypto::kAlgorithmAes, 256);
    ASSERT_TRUE(key);
    key->setReuseDerivedKeys(true);
    zqvcrypto::PendingOutputs pending;
    const std::vector<std::string> names{"a", "b\xff", "c"};
    for (std::size_t i = 0; i < names.size(); ++i) {
        writeFile(dir.file(names[i]), "plain " + names[i]);
        key->holdOutputsIn(&pending, i);
        bool success = false;
        key->EncryptPath(dir.file(names[i]), dir.file(names[i] + ".zqv"), success);
        ASSERT_TRUE(success);
    }
    key->holdOutputsIn(nullptr, 0);
    EXPECT_EQ(pending.count(), names.size());
    for (const std::string& name : names)
        EXPECT_FALSE(exists(dir.file(name + ".zqv"))) << "named before the batch was synced";
    writeFile(dir.file("c.zqv"), "someone else's");

    std::vector<zqvcrypto::CryptoError> results(names.size(), zqvcrypto::CryptoError::InvalidKey);
    pending.commit(false, [&](std::size_t tag, zqvcrypto::CryptoError error) { results.at(tag) = error; });
    EXPECT_EQ(pending.count(), 0u);
    EXPECT_EQ(results[0], zqvcrypto::CryptoError::None);
    EXPECT_EQ(results[1], zqvcrypto::CryptoError::None);
    EXPECT_EQ(results[2], zqvcrypto::CryptoError::DestinationExists);
    EXPECT_EQ(readFile(dir.file("c.zqv")), "someone else's");
    for (std::size_t i = 0; i < 2; ++i) {
        bool success = false;
        key->DecryptPath(dir.file(names[i] + ".zqv"), dir.file(names[i] + ".out"), success);
        EXPECT_TRUE(success);
        EXPECT_EQ(readFile(dir.file(names[i] + ".out")), "plain " + names[i]);
    }

    // Dropped without a commit, a held file leaves nothing behind.
    {
        zqvcrypto::PendingOutputs dropped;
        key->holdOutputsIn(&dropped, 0);
        bool success = false;
        key->EncryptPath(dir.file("a"), dir.file("dropped.zqv"), success);
        key->holdOutputsIn(nullptr, 0);
        EXPECT_TRUE(success);
    }
    EXPECT_FALSE(exists(dir.file("dropped.zqv")));
    int ignored = 0;
    key->Destroy(ignored);
}

TEST(ShownNameTest, EscapesWhatIsNotPrintableUtf8AndNothingElse)
{
    const std::pair<std::string, std::string> cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"caf\xc3\xa9", "caf\xc3\xa9"},
        {"a\xff"
         "b",
         "a\\xffb"},
        {"new\nline\ttab\rcr", "new\\nline\\ttab\\rcr"},
        {"back\\slash", "back\\\\slash"},
        {"\x1b[31mred", "\\x1b[31mred"},
        {"\xc0\xaf", "\\xc0\\xaf"},          // an overlong slash
        {"\xed\xa0\x80", "\\xed\\xa0\\x80"}, // a surrogate
        {"cut\xe2\x82", "cut\\xe2\\x82"},
        {"rtl\xe2\x80\xae"
         "txt",
         "rtl\\u202etxt"},
    };
    for (const auto& [name, expected] : cases)
        EXPECT_EQ(cli::shown(name).toStdString(), expected);
    EXPECT_EQ(cli::absoluteClean("/a//b/./c/../d/"), "/a/b/d");
}

TEST(ChecksumLineTest, EscapesOnlyWhatTheCheckersUnescape)
{
    EXPECT_EQ(cli::checksumLine("ab", "a b"), QByteArray("ab  a b"));
    EXPECT_EQ(cli::checksumLine("ab", "a\\b\nc"), QByteArray("\\ab  a\\\\b\\nc"));
}

// Damaged and refused inputs: the right status, nothing written.
struct FailureCase
{
    const char* name;
    const char* command;
    std::function<void(const std::string& file)> spoil;
    const char* password;
    int status;
};

class CliFailureTest : public ::testing::TestWithParam<FailureCase>
{
};

TEST_P(CliFailureTest, EndsWithItsStatusAndWritesNothing)
{
    const FailureCase& c = GetParam();
    TempDir dir;
    writeFile(dir.file("a"), std::string(600000, 'z'));
    ASSERT_EQ(cryptelle({"encrypt", dir.file("a")}).status, 0);
    std::filesystem::remove(dir.file("a"));
    c.spoil(dir.file("a.zqv"));
    const std::string before = listFolder(dir.path());
    const Result result = cryptelle({c.command, dir.file("a.zqv")}, c.password);
    EXPECT_EQ(result.status, c.status) << result.err << result.out;
    EXPECT_EQ(listFolder(dir.path()), before);
    const std::string said = std::string(c.command) == "verify" ? result.out : result.err;
    EXPECT_NE(said.find(dir.file("a.zqv")), std::string::npos) << "names the file: " << said;
}

void flipByte(const std::string& file, std::size_t fromEnd)
{
    std::string bytes = readFile(file);
    bytes[bytes.size() - fromEnd] ^= 0x40;
    writeFile(file, bytes);
}

void cut(const std::string& file, std::size_t size)
{
    writeFile(file, readFile(file).substr(0, size));
}

const auto kUntouched = [](const std::string&) {};
const auto kFlippedPayload = [](const std::string& f) { flipByte(f, 1000); };
const auto kTruncated = [](const std::string& f) { cut(f, 300000); };
const auto kCutInHeader = [](const std::string& f) { cut(f, 60); };
const auto kNotEncrypted = [](const std::string& f) {
    writeFile(f, "just some text, long enough to hold a header....");
};

INSTANTIATE_TEST_SUITE_P(
    Inputs,
    CliFailureTest,
    ::testing::Values(FailureCase{"DecryptWrongPassword", "decrypt", kUntouched, "wrong", 3},
                      FailureCase{"VerifyWrongPassword", "verify", kUntouched, "wrong", 3},
                      FailureCase{"DecryptDamaged", "decrypt", kFlippedPayload, "correct horse", 4},
                      FailureCase{"VerifyDamaged", "verify", kFlippedPayload, "correct horse", 4},
                      FailureCase{"DecryptTruncated", "decrypt", kTruncated, "correct horse", 4},
                      FailureCase{"VerifyTruncated", "verify", kTruncated, "correct horse", 4},
                      FailureCase{"DecryptCutInHeader", "decrypt", kCutInHeader, "correct horse", 4},
                      FailureCase{"DecryptNotEncrypted", "decrypt", kNotEncrypted, "correct horse", 4}),
    [](const auto& info) { return std::string(info.param.name); });

// Usage, refused inputs and outputs, and passwords that cannot be had.
struct RefusalCase
{
    const char* name;
    std::vector<std::string> args; // "@" stands for the folder
    const char* password;
    int status;
    const char* listing; // the folder afterwards
};

class CliRefusalTest : public ::testing::TestWithParam<RefusalCase>
{
};

TEST_P(CliRefusalTest, EndsWithItsStatus)
{
    const RefusalCase& c = GetParam();
    TempDir dir;
    dir.write({{"a", "source"}, {"b", "other"}, {"old.zqv", "not to be replaced"}, {"sub/", ""}});
    writeFile(dir.file("differs"), "#!/bin/sh\nif [ -e \"$0.1\" ]; then echo two; else touch \"$0.1\"; echo one; fi\n");
    std::filesystem::permissions(dir.file("differs"), std::filesystem::perms::owner_all);
    std::vector<std::string> args;
    for (const std::string& arg : c.args)
        args.push_back(arg.rfind('@', 0) == 0 ? dir.path() + "/" + arg.substr(1) : arg);
    const bool askpass = std::string(c.password) == "differs";
    const Result result = cryptelle(args,
                                    askpass ? "" : c.password,
                                    askpass ? std::vector<std::string>{"ZQV_ASKPASS=" + dir.file("differs")}
                                            : std::vector<std::string>{});
    EXPECT_EQ(result.status, c.status) << result.err;
    EXPECT_EQ(listFolder(dir.path()), c.listing) << result.err;
    if (std::find(args.begin(), args.end(), "--force") == args.end())
        EXPECT_EQ(readFile(dir.file("old.zqv")), "not to be replaced");
    else
        EXPECT_EQ(readFile(dir.file("old.zqv")).substr(1, 3), "ZQV");
    if (c.status != 0) {
        EXPECT_FALSE(result.err.empty());
    }
}

INSTANTIATE_TEST_SUITE_P(
    Calls,
    CliRefusalTest,
    ::testing::Values(
        RefusalCase{"NoCommand", {}, "", 2, "a b differs old.zqv sub"},
        RefusalCase{"UnknownCommand", {"scramble", "@a"}, "", 2, "a b differs old.zqv sub"},
        RefusalCase{"NoPasswordOption", {"encrypt", "--password", "x", "@a"}, "", 2, "a b differs old.zqv sub"},
        RefusalCase{"OutputForTwo", {"encrypt", "-o", "@x.zqv", "@a", "@b"}, "pw", 2, "a b differs old.zqv sub"},
        RefusalCase{"LevelOutsidePack", {"encrypt", "--level", "3", "@a"}, "pw", 2, "a b differs old.zqv sub"},
        RefusalCase{"ExistingOutput", {"encrypt", "-o", "@old.zqv", "@a"}, "pw", 5, "a b differs old.zqv sub"},
        RefusalCase{"Folder", {"encrypt", "@sub"}, "pw", 5, "a b differs old.zqv sub"},
        RefusalCase{"AlreadyEncrypted", {"encrypt", "@old.zqv"}, "pw", 5, "a b differs old.zqv sub"},
        RefusalCase{"DecryptWithoutExtension", {"decrypt", "@a"}, "pw", 5, "a b differs old.zqv sub"},
        RefusalCase{"Missing", {"encrypt", "@nothing"}, "pw", 5, "a b differs old.zqv sub"},
        RefusalCase{"OneRefusedOneDone", {"encrypt", "@nothing", "@a"}, "pw", 5, "a a.zqv b differs old.zqv sub"},
        RefusalCase{
            "ForceReplaces", {"encrypt", "--force", "-o", "@old.zqv", "@a"}, "pw", 0, "a b differs old.zqv sub"},
        RefusalCase{"NoWayToAsk", {"encrypt", "@a"}, "", 6, "a b differs old.zqv sub"},
        RefusalCase{"ConfirmationDiffers", {"encrypt", "@a"}, "differs", 6, "a b differs differs.1 old.zqv sub"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliTest, AnOutputThatIsAnotherInputOfTheCallIsRefusedEvenWithForce)
{
    TempDir dir;
    writeFile(dir.file("x"), "plain");
    ASSERT_EQ(cryptelle({"encrypt", dir.file("x")}).status, 0);
    std::filesystem::rename(dir.file("x.zqv"), dir.file("x.zqv.zqv"));
    ASSERT_EQ(cryptelle({"encrypt", "-o", dir.file("x.zqv"), dir.file("x")}).status, 0);
    const std::string before = readFile(dir.file("x.zqv"));
    // x.zqv.zqv decrypts to x.zqv, which is the other input.
    const Result result = cryptelle({"decrypt", "--force", dir.file("x.zqv"), dir.file("x.zqv.zqv")});
    EXPECT_EQ(result.status, 5) << result.err;
    EXPECT_EQ(readFile(dir.file("x.zqv")), before);
    EXPECT_EQ(readFile(dir.file("x")), "plain") << "the other file was still decrypted";
}

TEST(CliTest, ThePasswordIsNeverInArgumentsEnvironmentOrOnDisk)
{
    TempDir helperDir;
    TempDir dir;
    writeFile(dir.file("a"), std::string(100000, 'p'));
    const std::string secret = "Zq7-unique-secret-9981";
    // Asked the second time (the confirmation), the helper records what the
    // program holds in its arguments and environment at that moment.
    const std::string askpass = helperDir.file("askpass");
    writeFile(askpass,
              "#!/bin/sh\n"
              "d=$(dirname \"$0\")\n"
              "if [ -e \"$d/asked\" ]; then tr '\\0' '\\n' < /proc/$PPID/cmdline > \"$d/cmdline\"; "
              "tr '\\0' '\\n' < /proc/$PPID/environ > \"$d/environ\"; fi\n"
              "echo \"$@\" >> \"$d/asked\"\n"
              "printf '%s\\n' '" +
                  secret + "'\n");
    std::filesystem::permissions(askpass, std::filesystem::perms::owner_all);
    const Result result = cryptelle({"encrypt", dir.file("a")}, "", {"ZQV_ASKPASS=" + askpass});
    ASSERT_EQ(result.status, 0) << result.err;
    ASSERT_TRUE(exists(helperDir.file("cmdline")));
    EXPECT_EQ(readFile(helperDir.file("asked")), "Password: \nPassword again: \n");
    EXPECT_EQ(readFile(helperDir.file("cmdline")).find(secret), std::string::npos);
    EXPECT_EQ(readFile(helperDir.file("environ")).find(secret), std::string::npos);
    EXPECT_NE(readFile(helperDir.file("environ")).find("ZQV_ASKPASS="), std::string::npos);
    EXPECT_EQ(listFolder(dir.path()), "a a.zqv");
    for (const char* file : {"a", "a.zqv"})
        EXPECT_EQ(readFile(dir.file(file)).find(secret), std::string::npos) << file;
    EXPECT_EQ(result.out.find(secret), std::string::npos);
    EXPECT_EQ(result.err.find(secret), std::string::npos);
    EXPECT_EQ(cryptelle({"verify", dir.file("a.zqv")}, secret).status, 0);
}

// A kill in the middle of many files: what is there is whole, nothing else is.
class CliKillTest : public ::testing::TestWithParam<bool>
{
};

TEST_P(CliKillTest, LeavesFinishedFilesCompleteNothingPartialAndEverySourceIntact)
{
    const bool wipeSource = GetParam();
    TempDir dir;
    constexpr int kFiles = 400;
    std::vector<std::string> args{"encrypt", "--jobs", "2"};
    if (wipeSource)
        args.emplace_back("--wipe-source");
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = dir.file(numbered("f", i));
        writeFile(name, std::string(200000, static_cast<char>(i)) + std::to_string(i));
        args.push_back(name);
    }
    const pid_t child = clitest::start(Call{args, kPassword, {}, {}});
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto countOutputs = [&] {
        int n = 0;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            n += entry.path().extension() == ".zqv" ? 1 : 0;
        return n;
    };
    while (countOutputs() < 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ::kill(child, SIGKILL);
    const int status = clitest::wait(child);
    const int outputs = countOutputs();
    ASSERT_GE(outputs, 10);
    if (status != 128 + SIGKILL)
        GTEST_SKIP() << "the call ended before the kill";
    EXPECT_LT(outputs, kFiles);

    std::vector<std::string> written;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        EXPECT_EQ(name.rfind(".zqv-partial", 0), std::string::npos) << name;
        if (entry.path().extension() == ".zqv")
            written.push_back(entry.path().string());
    }
    std::vector<std::string> verify{"verify"};
    verify.insert(verify.end(), written.begin(), written.end());
    const Result checked = cryptelle(verify);
    EXPECT_EQ(checked.status, 0) << checked.out;
    for (int i = 0; i < kFiles; ++i) {
        const std::string name = dir.file(numbered("f", i));
        const bool encrypted = exists(name + ".zqv");
        // A source is untouched, or its encrypted file is complete: a kill
        // in the middle of wiping one may leave it half overwritten, never
        // before its encrypted file was whole.
        const bool intact =
            exists(name) && readFile(name) == std::string(200000, static_cast<char>(i)) + std::to_string(i);
        EXPECT_TRUE(intact || (wipeSource && encrypted)) << name;
    }
}

INSTANTIATE_TEST_SUITE_P(WithAndWithoutWipe, CliKillTest, ::testing::Bool(), [](const auto& info) {
    return info.param ? std::string("WipeSource") : std::string("Plain");
});

TEST(CliTest, HelpAndVersion)
{
    const Result help = cryptelle({"--help"}, "");
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"encrypt",
                             "decrypt",
                             "verify",
                             "sfx",
                             "pack",
                             "wipe",
                             "hash",
                             "--passphrase-fd",
                             "--wipe-source",
                             "--force",
                             "Exit status"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
    const Result version = cryptelle({"--version"}, "");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("cryptelle ", 0), 0u);
}

} // namespace

namespace {

// What bash offers after the words typed, through the completion we install.
std::string completions(const std::string& line)
{
    const std::string script = "/usr/share/bash-completion/bash_completion";
    TempDir dir;
    writeFile(dir.file("complete.sh"),
              "source " + script + "\nsource '" CRYPTELLE_COMPLETION "'\nCOMP_LINE='" + line +
                  "'\nread -ra COMP_WORDS <<< \"$COMP_LINE\"\n[[ $COMP_LINE == *' ' ]] && COMP_WORDS+=('')\n"
                  "COMP_CWORD=$(( ${#COMP_WORDS[@]} - 1 ))\nCOMP_POINT=${#COMP_LINE}\n_cryptelle\n"
                  "printf '%s\\n' \"${COMPREPLY[@]}\" | sort | tr '\\n' ' ' > '" +
                  dir.file("out") + "'\n");
    if (!run("cd '" + dir.path() + "' && bash '" + dir.file("complete.sh") + "'"))
        return "(bash failed)";
    return readFile(dir.file("out"));
}

TEST(CompletionTest, OffersCommandsThenTheOptionsOfTheCommand)
{
    if (!exists("/usr/share/bash-completion/bash_completion"))
        GTEST_SKIP() << "bash-completion is not installed";
    EXPECT_EQ(completions("cryptelle "), "decrypt encrypt hash pack sfx verify wipe ");
    EXPECT_EQ(completions("cryptelle de"), "decrypt ");
    EXPECT_EQ(completions("cryptelle hash --"), "--md5 --sha256 ");
    EXPECT_EQ(completions("cryptelle pack --le"), "--level ");
    EXPECT_EQ(completions("cryptelle pack --level "), "0 1 2 3 4 5 6 7 8 9 ");
}

} // namespace
