// Encrypts and decrypts a file with our format and with common tools, side by
// side, with and without flushing the output to disk.
//
//   crypto_bench [folder] [size in MiB] [runs]     (defaults: ., 1024, 3)
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include "AsyncFileSink.h"
#include "Crypto.h"
#include "FileCipher.h"
#include "FileSources.h"
#include "Primitives.h"
#include "ZqvStream.h"

namespace {

using Clock = std::chrono::steady_clock;
using zqvcrypto::Bytes;

std::string g_folder;
int g_runs = 3;

std::string path(const std::string& name)
{
    return g_folder + "/" + name;
}

void shell(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Median time of `run`, with `prepare` (untimed) before each run.
double timeIt(const std::function<void()>& run, const std::function<void()>& prepare = {})
{
    std::vector<double> times;
    for (int i = 0; i < g_runs; ++i) {
        if (prepare)
            prepare();
        const auto start = Clock::now();
        run();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    return median(times);
}

const std::string kPassword = "benchmark password";

// Our stream straight into a file, without the final flush.
void oursNoFlush(bool encrypt, const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY);
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    zqvcrypto::FdSource source(in);
    zqvcrypto::AsyncFileSink sink(out);
    const Bytes password(reinterpret_cast<const unsigned char*>(kPassword.data()), kPassword.size());
    const auto result = encrypt
                            ? zqvcrypto::encryptStream(source, sink, password, zqvcrypto::Crypto::defaultKdfParams())
                            : zqvcrypto::decryptStream(source, sink, password);
    if (!sink.finish())
        std::exit(1);
    ::close(in);
    ::close(out);
    if (result != zqvcrypto::CryptoError::None)
        std::exit(1);
}

// Our whole file operation: temporary file, flush, rename.
void oursFlushed(bool encrypt, const std::string& from, const std::string& to)
{
    zqvcrypto::FileJob job{QString::fromStdString(from), QString::fromStdString(to), true, false, {}};
    const Bytes password(reinterpret_cast<const unsigned char*>(kPassword.data()), kPassword.size());
    const auto result = encrypt ? zqvcrypto::encryptFile(job, password, zqvcrypto::Crypto::defaultKdfParams())
                                : zqvcrypto::decryptFile(job, password);
    if (result != zqvcrypto::CryptoError::None)
        std::exit(1);
}

struct Peer
{
    std::string name;
    std::string encrypt; // {in} {out} are replaced
    std::string decrypt; // {in} {out}
    std::string sealedName;
};

std::string fill(std::string text, const std::string& in, const std::string& out)
{
    for (auto [key, value] : {std::pair<std::string, std::string>{"{in}", in}, {"{out}", out}}) {
        for (auto at = text.find(key); at != std::string::npos; at = text.find(key))
            text.replace(at, key.size(), value);
    }
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    g_folder = argc > 1 ? argv[1] : ".";
    const long mebibytes = argc > 2 ? std::atol(argv[2]) : 1024;
    g_runs = argc > 3 ? std::atoi(argv[3]) : 3;
    const std::string plain = path("bench-plain.bin");
    const std::string sealed = path("bench-sealed");
    const std::string back = path("bench-back.bin");

    shell("head -c " + std::to_string(mebibytes) + "M /dev/urandom > '" + plain + "'");
    shell("age-keygen -o '" + path("age.key") + "' 2>/dev/null");
    shell("printf 'benchmark password' > '" + path("pass.txt") + "'");
    shell("mkdir -p '" + path("gnupg") + "' && chmod 700 '" + path("gnupg") + "'");
    const std::string gpg = "GNUPGHOME='" + path("gnupg") +
                            "' gpg --batch --yes --quiet --pinentry-mode loopback --passphrase-file '" +
                            path("pass.txt") + "'";
    const std::string ageRecipient = "$(age-keygen -y '" + path("age.key") + "')";

    const std::vector<Peer> peers = {
        {"cp", "cp {in} {out}", "cp {in} {out}", "bench-cp"},
        {"openssl enc -aes-256-ctr",
         "openssl enc -aes-256-ctr -pbkdf2 -iter 1 -pass file:" + path("pass.txt") + " -in {in} -out {out}",
         "openssl enc -d -aes-256-ctr -pbkdf2 -iter 1 -pass file:" + path("pass.txt") + " -in {in} -out {out}",
         "bench-ossl"},
        {"age (recipient key)",
         "age -r " + ageRecipient + " -o {out} {in}",
         "age -d -i " + path("age.key") + " -o {out} {in}",
         "bench-age"},
        {"gpg --symmetric AES256",
         gpg + " --symmetric --cipher-algo AES256 --compress-algo none -o {out} {in}",
         gpg + " -d -o {out} {in}",
         "bench-gpg"},
        {"7z -p -mhe=on -mx=0",
         "7z a -bd -bso0 -pbench -mhe=on -mx=0 {out} {in}",
         "7z e -bd -bso0 -pbench -so {in} > {out}",
         "bench.7z"},
    };

    // Key derivation on its own.
    const auto kdf = zqvcrypto::Crypto::defaultKdfParams();
    unsigned char key[32];
    const double kdfTime = timeIt([&] {
        const Bytes password(reinterpret_cast<const unsigned char*>(kPassword.data()), kPassword.size());
        const unsigned char salt[16] = {};
        if (!zqvcrypto::argon2id(password, Bytes(salt, 16), kdf, key, sizeof key))
            std::exit(1);
    });

    shell("cat '" + plain + "' > /dev/null");
    // Each run starts with no dirty pages left over from the one before.
    const auto clean = [&] { shell("rm -f '" + sealed + "' '" + back + "' && sync"); };
    const auto cleanBack = [&] { shell("rm -f '" + back + "' && sync"); };

    struct Row
    {
        std::string name;
        double encFlush, decFlush, enc, dec;
    };
    std::vector<Row> rows;

    Row ours{"ours (Argon2id excluded)", 0, 0, 0, 0};
    ours.enc = timeIt([&] { oursNoFlush(true, plain, sealed); }, clean) - kdfTime;
    ours.dec = timeIt([&] { oursNoFlush(false, sealed, back); }, cleanBack) - kdfTime;
    ours.encFlush = timeIt([&] { oursFlushed(true, plain, sealed); }, clean) - kdfTime;
    ours.decFlush = timeIt([&] { oursFlushed(false, sealed, back); }, cleanBack) - kdfTime;
    rows.push_back(ours);
    clean();

    for (const Peer& peer : peers) {
        const std::string out = path(peer.sealedName);
        const std::string enc = fill(peer.encrypt, "'" + plain + "'", "'" + out + "'");
        const std::string dec = fill(peer.decrypt, "'" + out + "'", "'" + back + "'");
        const auto cleanOut = [&] { shell("rm -f '" + out + "' '" + back + "' && sync"); };
        Row row{peer.name, 0, 0, 0, 0};
        row.enc = timeIt([&] { shell(enc); }, cleanOut);
        row.dec = timeIt([&] { shell(dec); }, cleanBack);
        row.encFlush = timeIt([&] { shell(enc + " && sync '" + out + "'"); }, cleanOut);
        row.decFlush = timeIt([&] { shell(dec + " && sync '" + back + "'"); }, cleanBack);
        rows.push_back(row);
        cleanOut();
    }

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%ld MiB, median of %d runs; key derivation (Argon2id %u MiB, t=%u, p=%u): %.2f s\n\n",
                mebibytes,
                g_runs,
                kdf.memoryKiB / 1024,
                kdf.iterations,
                kdf.lanes,
                kdfTime);
    std::printf(
        "| tool | encrypt + flush (s) | decrypt + flush (s) | encrypt (s) | decrypt (s) |\n|---|---|---|---|---|\n");
    for (const Row& row : rows)
        std::printf(
            "| %s | %.2f | %.2f | %.2f | %.2f |\n", row.name.c_str(), row.encFlush, row.decFlush, row.enc, row.dec);
    const Row& cp = rows[1];
    const Row& age = rows[3];
    std::printf("\nours / cp (flushed): encrypt %.2f, decrypt %.2f\n",
                ours.encFlush / cp.encFlush,
                ours.decFlush / cp.decFlush);
    std::printf("ours / age (flushed): encrypt %.2f, decrypt %.2f\n",
                ours.encFlush / age.encFlush,
                ours.decFlush / age.decFlush);
    std::printf("ours / cp: encrypt %.2f, decrypt %.2f\n", ours.enc / cp.enc, ours.dec / cp.dec);
    std::printf("ours / age: encrypt %.2f, decrypt %.2f\n", ours.enc / age.enc, ours.dec / age.dec);
    std::printf("peak RSS of this process (KiB, includes the %u MiB key derivation): %ld\n",
                kdf.memoryKiB / 1024,
                usage.ru_maxrss);
    shell("rm -rf '" + plain + "' '" + path("gnupg") + "' '" + path("age.key") + "' '" + path("pass.txt") + "'");
    return 0;
}
