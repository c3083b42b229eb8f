// Writes the seed files of both targets: valid inputs made with the fuzz
// password, from which the fuzzer mutates its way into the readers.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

#include "FuzzCommon.h"
#include "SfxFormat.h"
#include "StreamHelpers.h"
#include "ZqvStream.h"

namespace {

std::string encrypt(const std::string& plain, std::uint32_t chunk)
{
    streamtest::StringSource in(plain);
    streamtest::StringSink out;
    if (zqvcrypto::encryptStream(in, out, streamtest::bytesOf(fuzzing::kPassword), fuzzing::kSeedKdf, chunk) !=
        zqvcrypto::CryptoError::None)
        std::exit(1);
    return out.out;
}

void save(const std::string& path, const std::string& bytes)
{
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0)
        std::exit(1);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s ZQV_SEED_FOLDER SFX_SEED_FOLDER\n", argv[0]);
        return 1;
    }
    const std::string zqv = argv[1];
    const std::string sfx = argv[2];
    const std::uint32_t small = zqvcrypto::zqv::kMinChunkSize;
    save(zqv + "/empty.zqv", encrypt("", small));
    save(zqv + "/short.zqv", encrypt("a short text", small));
    save(zqv + "/two-chunks.zqv", encrypt(std::string(small + 100, 'x'), small));

    const std::string stub = "#!/bin/sh\nexit 0\n";
    for (const auto& [file, name, title] : {std::tuple{"/plain.exe", "notes.txt", "Cryptelle"},
                                            std::tuple{"/no-title.exe", "a.b.tar.gz", ""},
                                            std::tuple{"/hidden.exe", ".profile", "t"}}) {
        const std::string payload = encrypt(zqvcrypto::sfx::encodeEnvelopeHead(name, title) + "content", small);
        const auto trailer = zqvcrypto::sfx::encodeTrailer({stub.size(), payload.size()});
        save(sfx + file, stub + payload + std::string(trailer.begin(), trailer.end()));
    }
    return 0;
}
