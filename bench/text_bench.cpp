// The text tool's ciphering of 1 MiB of text in each algorithm, as the user
// waits for it (default key-derivation cost), and beside it the key
// derivation alone (Argon2id; for RSA also the key pair) and the ciphering
// with a negligible Argon2id cost, each timed on its own.
//
//   text_bench [runs]     (default 5)
#include <QString>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Crypto.h"
#include "RsaTextKey.h"
#include "TextCipher.h"

namespace {

using Clock = std::chrono::steady_clock;
using zqvcrypto::Bytes;

double seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    const zqvcrypto::Argon2Params kdf = zqvcrypto::Crypto::defaultKdfParams();
    const zqvcrypto::Argon2Params negligible{64, 1, 1};
    std::string text;
    for (int i = 0; text.size() < (1u << 20); ++i)
        text += "line " + std::to_string(i) + " of a long letter to be kept private\n";
    text.resize(1u << 20);
    const std::string key = "a key of moderate length";
    const Bytes keyBytes(reinterpret_cast<const unsigned char*>(key.data()), key.size());
    const Bytes plain(reinterpret_cast<const unsigned char*>(text.data()), text.size());

    std::printf("1 MiB of text, %d runs, median; Argon2id %u KiB, t=%u, p=%u\n\n",
                runs,
                kdf.memoryKiB,
                kdf.iterations,
                kdf.lanes);
    std::printf("| algorithm | encrypt (s) | decrypt (s) | Argon2id alone (s) | key pair alone (s) | encrypt, "
                "negligible Argon2id (s) |\n");
    std::printf("|---|---|---|---|---|---|\n");
    const char* names[] = {"", "AES", "Twofish", "RSA"};
    for (const int algorithm : {1, 2, 3}) {
        std::vector<double> whole, wholeOpen, argon, pair, light;
        for (int i = 0; i < runs; ++i) {
            std::vector<unsigned char> envelope;
            auto start = Clock::now();
            if (zqvcrypto::sealText(algorithm, keyBytes, kdf, plain, envelope) != zqvcrypto::TextError::None)
                return 1;
            whole.push_back(seconds(start));
            zqvcrypto::SecureBuffer back;
            start = Clock::now();
            if (zqvcrypto::openText(algorithm, keyBytes, Bytes(envelope.data(), envelope.size()), back) !=
                    zqvcrypto::TextError::None ||
                back.size() != plain.size())
                return 1;
            wholeOpen.push_back(seconds(start));

            unsigned char salt[16] = {};
            unsigned char seed[32];
            start = Clock::now();
            if (!zqvcrypto::argon2id(keyBytes, Bytes(salt, sizeof salt), kdf, seed, sizeof seed))
                return 1;
            argon.push_back(seconds(start));
            if (algorithm == 3) {
                zqvcrypto::RsaTextKey rsa;
                start = Clock::now();
                if (!rsa.deriveFromSeed(seed))
                    return 1;
                pair.push_back(seconds(start));
            }
            start = Clock::now();
            if (zqvcrypto::sealText(algorithm, keyBytes, negligible, plain, envelope) != zqvcrypto::TextError::None)
                return 1;
            light.push_back(seconds(start));
        }
        char pairText[16] = "-";
        if (!pair.empty())
            std::snprintf(pairText, sizeof pairText, "%.3f", median(pair));
        std::printf("| %s | %.3f | %.3f | %.3f | %s | %.3f |\n",
                    names[algorithm],
                    median(whole),
                    median(wholeOpen),
                    median(argon),
                    pairText,
                    median(light));
    }
    return 0;
}
