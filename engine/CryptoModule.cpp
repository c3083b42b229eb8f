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

struct CipherRun
{
    zqvcrypto::CryptoError error = zqvcrypto::CryptoError::None;
    CipherOutcome outcome;
};

CipherRun runCipher(OperationTools& tools,
                    Direction direction,
                    const QString& source,
                    const QString& destination,
                    const QString& password,
                    const CipherOptions& options)
{
    std::unique_ptr<zqvcrypto::CryptoKey> key = tools.crypto.DeriveKey(password, 1, 256);
    if (!key)
        return {zqvcrypto::CryptoError::InvalidKey, {}};
    key->setReplaceExisting(options.replaceExisting);
    key->setVerifyAfterWrite(options.verify);
    bool success = false;
    tools.runner.run([&] {
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
    CipherRun run{key->lastError(), {}};
    run.outcome.written = success && run.error == zqvcrypto::CryptoError::None;
    run.outcome.readBack = run.outcome.written && options.verify;
    int ignored = 0;
    key->Destroy(ignored);
    return run;
}

// Runs the cipher and, on failure, shows the routine's own sentence with the
// cause under it (or without it, where the sentence already names the cause).
CipherOutcome cipherReporting(OperationTools& tools,
                              Direction direction,
                              const QString& source,
                              const QString& destination,
                              const QString& password,
                              const CipherOptions& options,
                              const QString& failureText,
                              zqvcrypto::CryptoError causeNamedByText = zqvcrypto::CryptoError::None)
{
    const CipherRun run = runCipher(tools, direction, source, destination, password, options);
    if (run.outcome)
        return run.outcome;
    tools.messenger.message(tools.window,
                            programTitle(),
                            failureText,
                            MessageIcon::Critical,
                            run.error == causeNamedByText ? QString() : zqvcrypto::describe(run.error));
    return run.outcome;
}

QString decryptFailureText()
{
    return QStringLiteral("The file was not decrypted. Make sure the password entered is correct.");
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

WipeResult wipeThroughRunner(OperationTools& tools, const QString& path)
{
    WipeResult result = WipeResult::NotWiped;
    tools.runner.run([&] { result = tools.wiper(path); });
    return result;
}

} // namespace

CipherOutcome EncryptFileWithPassword(OperationTools& tools,
                                      const QString& source,
                                      const QString& destination,
                                      const QString& password,
                                      const CipherOptions& options)
{
    return cipherReporting(tools,
                           Direction::Encrypt,
                           source,
                           destination,
                           password,
                           options,
                           QStringLiteral("The file was could not be encrypted."));
}

CipherOutcome DecryptFileWithPassword(OperationTools& tools,
                                      const QString& source,
                                      const QString& destination,
                                      const QString& password,
                                      const CipherOptions& options)
{
    return cipherReporting(tools,
                           Direction::Decrypt,
                           source,
                           destination,
                           password,
                           options,
                           decryptFailureText(),
                           zqvcrypto::CryptoError::WrongPassword);
}

CipherOutcome MakeSelfExtractingFile(OperationTools& tools,
                                     const QString& source,
                                     const QString& destination,
                                     const QString& password,
                                     const CipherOptions& options)
{
    return cipherReporting(tools,
                           Direction::SelfExtracting,
                           source,
                           destination,
                           password,
                           options,
                           QStringLiteral("Could not create encrypted self-encrypting executable file."));
}

bool EncryptFileWithPassword(OperationDialog& dialog,
                             const QString& source,
                             const QString& destination,
                             const QString& password,
                             const CipherOptions& options)
{
    return static_cast<bool>(EncryptFileWithPassword(dialog.tools(), source, destination, password, options));
}

bool DecryptFileWithPassword(OperationDialog& dialog,
                             const QString& source,
                             const QString& destination,
                             const QString& password,
                             const CipherOptions& options)
{
    return static_cast<bool>(DecryptFileWithPassword(dialog.tools(), source, destination, password, options));
}

bool MakeSelfExtractingFile(OperationDialog& dialog,
                            const QString& source,
                            const QString& destination,
                            const QString& password,
                            const CipherOptions& options)
{
    return static_cast<bool>(MakeSelfExtractingFile(dialog.tools(), source, destination, password, options));
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
    return EncryptFolderToArchive(
        dialog.tools(), dialog.ZIPLight, folder, archive, password, applyPassword, makeExecutable, level, options);
}

bool EncryptFolderToArchive(OperationTools& tools,
                            ziplight::ZIPLight& zip,
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
        tools.messenger.message(tools.window,
                                programTitle(),
                                QStringLiteral("The folder could not be packed."),
                                MessageIcon::Critical,
                                QStringLiteral("No temporary archive could be created next to ") + archive);
        return false;
    }
    zip.SourceDirectory = folder;
    zip.Password = applyPassword ? password : QString();
    zip.CompressionLevel = level;
    zip.FilesToProcess = QStringLiteral("*");
    zip.ZipFileName = intermediate;
    bool packed = false;
    tools.runner.run([&] { packed = zip.Add(); });
    if (!packed) {
        tools.messenger.message(tools.window,
                                programTitle(),
                                QStringLiteral("The folder could not be packed."),
                                MessageIcon::Critical,
                                zip.lastError());
        QFile::remove(intermediate); // libzip leaves nothing; this only guards against the unexpected
        return false;
    }

    CipherOptions cipher = options;
    cipher.storedName = QFileInfo(archive).fileName();
    const bool result = makeExecutable ? static_cast<bool>(MakeSelfExtractingFile(
                                             tools, intermediate, archive + QLatin1String(".exe"), password, cipher))
                                       : static_cast<bool>(EncryptFileWithPassword(
                                             tools, intermediate, archive + QLatin1String(".zqv"), password, cipher));

    // The archive holds the folder's plaintext: it is wiped, not just deleted.
    const WipeResult wiped = wipeThroughRunner(tools, intermediate);
    if (!isRemoved(wiped)) {
        tools.messenger.message(tools.window,
                                programTitle(),
                                QLatin1String("The temporary archive ") + intermediate +
                                    QLatin1String(" could not be wiped and is still on the disk."),
                                MessageIcon::Warning);
    } else if (wiped != WipeResult::Wiped && wiped != WipeResult::Gone) {
        tools.messenger.message(
            tools.window, programTitle(), removedNotOverwrittenText(intermediate, wiped), MessageIcon::Warning);
    }
    return result;
}

bool CheckDecryptPassword(OperationTools& tools, const QString& source, const QString& password)
{
    std::unique_ptr<zqvcrypto::CryptoKey> key = tools.crypto.DeriveKey(password, 1, 256);
    bool correct = false;
    if (key)
        tools.runner.run([&] { key->CheckPassword(source, correct); });
    if (correct)
        return true;
    const zqvcrypto::CryptoError error = key ? key->lastError() : zqvcrypto::CryptoError::InvalidKey;
    tools.messenger.message(tools.window,
                            programTitle(),
                            decryptFailureText(),
                            MessageIcon::Critical,
                            error == zqvcrypto::CryptoError::WrongPassword ? QString() : zqvcrypto::describe(error));
    return false;
}

WipeResult wipeAfterSuccess(OperationTools& tools, const QString& path, const CipherOutcome& outcome)
{
    if (!outcome.written || !outcome.readBack) {
        tools.messenger.message(tools.window,
                                programTitle(),
                                QLatin1String("The new file was written, but ") + path +
                                    QLatin1String(" was not wiped, because the new file was not read back first."),
                                MessageIcon::Warning);
        return WipeResult::NotWiped;
    }
    const WipeResult result = wipeThroughRunner(tools, path);
    if (result == WipeResult::Wiped || result == WipeResult::Gone)
        return result;
    QString text;
    if (isRemoved(result))
        text = QLatin1String("The new file was written. ") + removedNotOverwrittenText(path, result);
    else
        text = QLatin1String("The new file was written, but ") + path +
               QLatin1String(" could not be wiped and is still on the disk.");
    tools.messenger.message(tools.window, programTitle(), text, MessageIcon::Warning);
    return result;
}

bool confirmReplace(OperationTools& tools, const QString& destination, bool& replace)
{
    replace = false;
    if (destination.isEmpty() || !QFileInfo(destination).exists())
        return true;
    replace = tools.messenger.question(tools.window,
                                       QStringLiteral("ZQV"),
                                       QLatin1String("The file ") + destination +
                                           QLatin1String(" already exists. Do you want to replace it?"));
    return replace;
}

} // namespace engine
