#include "CryptoModule.h"

#include <QFile>
#include <QFileInfo>
#include <cstdlib>

#include <unistd.h>

#include "EngineMessages.h"
#include "FrmEncryptFolder.h"
#include "OperationDialog.h"
#include "WipeFile.h"

namespace engine {
namespace {

enum class Direction { Encrypt, Decrypt, SelfExtracting };

zqvcrypto::CryptoError runCipher(OperationDialog& dialog,
                                 Direction direction,
                                 const QString& source,
                                 const QString& destination,
                                 const QString& password,
                                 const CipherOptions& options)
{
    std::unique_ptr<zqvcrypto::CryptoKey> key = dialog.CryptoCtrl().DeriveKey(password, 1, 256);
    if (!key)
        return zqvcrypto::CryptoError::InvalidKey;
    key->setReplaceExisting(options.replaceExisting);
    key->setVerifyAfterWrite(options.verify);
    bool success = false;
    dialog.runWork([&] {
        if (direction == Direction::Encrypt) {
            key->EncryptFile(source, destination, success);
        } else if (direction == Direction::Decrypt) {
            key->DecryptFile(source, destination, success);
        } else {
            zqvcrypto::CryptoOptions sfxOptions;
            sfxOptions.text = QStringLiteral("Cryptelle");
            sfxOptions.storedName = options.storedName;
            key->MakeSelfExtracting(source, destination, sfxOptions, true, success);
        }
    });
    const zqvcrypto::CryptoError error = key->lastError();
    int ignored = 0;
    key->Destroy(ignored);
    return error;
}

// A name for the intermediate archive beside the final one that nothing uses:
// reserved with mkstemp, then freed so the zip library can create it itself.
QString temporaryArchiveName(const QString& archive)
{
    const QFileInfo info(archive);
    QByteArray pattern =
        QFile::encodeName(info.absolutePath() + QLatin1String("/.") + info.fileName() + QLatin1String(".XXXXXX"));
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0)
        return {};
    ::close(fd);
    ::unlink(pattern.constData());
    return QFile::decodeName(pattern);
}

} // namespace

bool EncryptFileWithPassword(OperationDialog& dialog,
                             const QString& source,
                             const QString& destination,
                             const QString& password,
                             const CipherOptions& options)
{
    const auto error = runCipher(dialog, Direction::Encrypt, source, destination, password, options);
    if (error == zqvcrypto::CryptoError::None)
        return true;
    dialog.messenger().message(&dialog,
                               programTitle(),
                               QStringLiteral("The file was could not be encrypted."),
                               MessageIcon::Critical,
                               zqvcrypto::describe(error));
    return false;
}

bool DecryptFileWithPassword(OperationDialog& dialog,
                             const QString& source,
                             const QString& destination,
                             const QString& password,
                             const CipherOptions& options)
{
    const auto error = runCipher(dialog, Direction::Decrypt, source, destination, password, options);
    if (error == zqvcrypto::CryptoError::None)
        return true;
    // The sentence already asks about the password; any other cause is named under it.
    dialog.messenger().message(&dialog,
                               programTitle(),
                               QStringLiteral("The file was not decrypted. Make sure the password entered is correct."),
                               MessageIcon::Critical,
                               error == zqvcrypto::CryptoError::WrongPassword ? QString() : zqvcrypto::describe(error));
    return false;
}

bool MakeSelfExtractingFile(OperationDialog& dialog,
                            const QString& source,
                            const QString& destination,
                            const QString& password,
                            const CipherOptions& options)
{
    const auto error = runCipher(dialog, Direction::SelfExtracting, source, destination, password, options);
    if (error == zqvcrypto::CryptoError::None)
        return true;
    dialog.messenger().message(&dialog,
                               programTitle(),
                               QStringLiteral("Could not create encrypted self-encrypting executable file."),
                               MessageIcon::Critical,
                               zqvcrypto::describe(error));
    return false;
}

bool EncryptFolderToArchive(FrmEncryptFolder& dialog,
                            const QString& folder,
                            const QString& archive,
                            const QString& password,
                            bool applyPassword,
                            bool makeExecutable,
                            qint16 level,
                            const CipherOptions& options)
{
    const QString intermediate = temporaryArchiveName(archive);
    if (intermediate.isEmpty()) {
        dialog.messenger().message(&dialog,
                                   programTitle(),
                                   QStringLiteral("The folder could not be packed."),
                                   MessageIcon::Critical,
                                   QStringLiteral("No temporary archive could be created next to ") + archive);
        return false;
    }
    ziplight::ZIPLight& zip = dialog.ZIPLight;
    zip.SourceDirectory = folder;
    zip.Password = applyPassword ? password : QString();
    zip.CompressionLevel = level;
    zip.FilesToProcess = QStringLiteral("*");
    zip.ZipFileName = intermediate;
    bool packed = false;
    dialog.runWork([&] { packed = zip.Add(); });
    if (!packed) {
        dialog.messenger().message(&dialog,
                                   programTitle(),
                                   QStringLiteral("The folder could not be packed."),
                                   MessageIcon::Critical,
                                   zip.lastError());
        QFile::remove(intermediate); // libzip leaves nothing; this only guards against the unexpected
        return false;
    }

    CipherOptions cipher = options;
    cipher.storedName = QFileInfo(archive).fileName();
    const bool result =
        makeExecutable
            ? MakeSelfExtractingFile(dialog, intermediate, archive + QLatin1String(".exe"), password, cipher)
            : EncryptFileWithPassword(dialog, intermediate, archive + QLatin1String(".zqv"), password, cipher);

    // The archive holds the folder's plaintext: it is wiped, not just deleted.
    if (WipeFile(intermediate) != WipeResult::Wiped) {
        dialog.messenger().message(&dialog,
                                   programTitle(),
                                   QLatin1String("The temporary archive ") + intermediate +
                                       QLatin1String(" could not be wiped and is still on the disk."),
                                   MessageIcon::Warning);
    }
    return result;
}

void wipeAfterSuccess(Messenger& messenger, QWidget* parent, const QString& path)
{
    if (WipeFile(path) == WipeResult::Wiped)
        return;
    messenger.message(parent,
                      programTitle(),
                      QLatin1String("The new file was written, but ") + path +
                          QLatin1String(" could not be wiped and is still on the disk."),
                      MessageIcon::Warning);
}

bool confirmReplace(OperationDialog& dialog, const QString& destination, bool& replace)
{
    replace = false;
    if (destination.isEmpty() || !QFileInfo(destination).exists())
        return true;
    replace = dialog.messenger().question(&dialog,
                                          QStringLiteral("ZQV"),
                                          QLatin1String("The file ") + destination +
                                              QLatin1String(" already exists. Do you want to replace it?"));
    return replace;
}

} // namespace engine
