#include "CryptoModule.h"

#include "Messenger.h"
#include "OperationDialog.h"

#include <QFileInfo>

namespace engine {
namespace {

enum class Direction { Encrypt, Decrypt };

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
        if (direction == Direction::Encrypt)
            key->EncryptFile(source, destination, success);
        else
            key->DecryptFile(source, destination, success);
    });
    const zqvcrypto::CryptoError error = key->lastError();
    int ignored = 0;
    key->Destroy(ignored);
    return error;
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

bool confirmReplace(OperationDialog& dialog, const QString& destination, bool& replace)
{
    replace = false;
    if (destination.isEmpty() || !QFileInfo(destination).exists())
        return true;
    replace = dialog.messenger().question(&dialog,
                                          QStringLiteral("ZQV"),
                                          QLatin1String("The file ") + destination
                                              + QLatin1String(" already exists. Do you want to replace it?"));
    return replace;
}

} // namespace engine
