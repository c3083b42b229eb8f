// One operation of the suite, run as its own process so the crash test can
// kill it anywhere: encrypt, decrypt, pack a folder, make a self-extracting file.
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <UnnamedOutput.h>

#include "FileCipher.h"
#include "ZIPLight.h"

namespace {

const zqvcrypto::Argon2Params kCheap{64, 1, 1};
const std::string kPassword = "crash test";

zqvcrypto::Bytes password()
{
    return zqvcrypto::Bytes(reinterpret_cast<const unsigned char*>(kPassword.data()), kPassword.size());
}

QString qs(const char* text)
{
    return QString::fromLocal8Bit(text);
}

// The engine's folder routine at component level: the archive is encrypted
// as it is packed, with no file in between.
bool pack(const QString& folder, const QString& destination)
{
    ziplight::ZIPLight zip;
    zip.SourceDirectory = folder;
    zip.Recursive = true;
    zip.CompressionLevel = 1;
    zip.ZipFileName = destination;
    const zqvcrypto::FileJob job{
        QString(), destination, false, false, {}, [&zip](const zqvcrypto::PlaintextWriter& write) {
            zip.ZipStream = write;
            return zip.Add();
        }};
    return zqvcrypto::encryptFile(job, password(), kCheap) == zqvcrypto::CryptoError::None;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s encrypt|decrypt|pack|make SOURCE DESTINATION [EXTRACTOR]\n", argv[0]);
        return 2;
    }
    // As on a file system without unnamed files (FUSE): named partial outputs.
    if (const char* named = std::getenv("CRASH_NAMED_FALLBACK"); named != nullptr && named[0] == '1')
        cryptelle::UnnamedOutput::forceNamedFallback(true);
    const std::string operation = argv[1];
    const zqvcrypto::FileJob job{qs(argv[2]), qs(argv[3]), false, false, {}, {}};
    bool ok = false;
    if (operation == "encrypt") {
        ok = zqvcrypto::encryptFile(job, password(), kCheap) == zqvcrypto::CryptoError::None;
    } else if (operation == "decrypt") {
        ok = zqvcrypto::decryptFile(job, password()) == zqvcrypto::CryptoError::None;
    } else if (operation == "pack") {
        ok = pack(job.source, job.destination);
    } else if (operation == "make" && argc == 5) {
        zqvcrypto::SfxJob sfx;
        sfx.stubPath = qs(argv[4]);
        sfx.source = job.source;
        sfx.destination = job.destination;
        sfx.title = QStringLiteral("Cryptelle");
        ok = zqvcrypto::makeSelfExtracting(sfx, password(), kCheap) == zqvcrypto::CryptoError::None;
    }
    return ok ? 0 : 1;
}
