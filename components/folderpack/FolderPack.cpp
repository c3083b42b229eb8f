#include "FolderPack.h"

#include <QFileInfo>

namespace zqvpack {

QString folderJobResult(const FolderJob& job)
{
    if (!job.output.isEmpty())
        return job.output;
    return job.archive + (job.selfExtracting ? QLatin1String(".exe") : QLatin1String(".zqv"));
}

PackRun packEncrypted(zqvcrypto::CryptoKey& key,
                      ziplight::ZIPLight& zip,
                      const FolderJob& job,
                      const QString& password,
                      const std::atomic<bool>* cancel)
{
    zip.SourceDirectory = job.folder;
    zip.Password = job.innerPassword ? password : QString();
    zip.CompressionLevel = job.level;
    zip.Recursive = job.recursive;
    zip.FilesToProcess = QStringLiteral("*");
    zip.ZipFileName = job.archive;
    PackRun run;
    const zqvcrypto::PlaintextProducer pack = [&](const zqvcrypto::PlaintextWriter& write) {
        // A piece refused stops the packing, and with it the encryption.
        zip.ZipStream = [&](const unsigned char* data, std::size_t size) {
            if (cancel != nullptr && cancel->load()) {
                run.cancelled = true;
                return false;
            }
            return write(data, size);
        };
        run.packed = zip.Add();
        zip.ZipStream = nullptr;
        return run.packed;
    };
    const QString destination = folderJobResult(job);
    bool success = false;
    if (job.selfExtracting) {
        zqvcrypto::CryptoOptions sfxOptions;
        sfxOptions.text = QStringLiteral("Cryptelle");
        sfxOptions.storedName = QFileInfo(job.archive).fileName();
        key.MakeSelfExtractingProduced(pack, destination, sfxOptions, success);
    } else {
        key.EncryptProduced(pack, destination, success);
    }
    run.written = success && key.lastError() == zqvcrypto::CryptoError::None;
    return run;
}

} // namespace zqvpack
