#include "CryptoModule.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "EngineMessages.h"
#include "WipeFile.h"

namespace engine {
namespace {

enum class Direction { Encrypt, Decrypt, SelfExtracting };

struct CipherRun
{
    zqvcrypto::CryptoError error = zqvcrypto::CryptoError::None;
    CipherOutcome outcome;
};

// Derives the key on the crypto control, runs the work with it beside the
// interface and says what became of it; `work` returns whether it wrote.
CipherRun withKey(OperationTools& tools,
                  const QString& password,
                  const CipherOptions& options,
                  const std::function<bool(zqvcrypto::CryptoKey&)>& work)
{
    std::unique_ptr<zqvcrypto::CryptoKey> key = tools.crypto.DeriveKey(password, 1, 256);
    if (!key)
        return {zqvcrypto::CryptoError::InvalidKey, {}};
    key->setReplaceExisting(options.replaceExisting);
    key->setVerifyAfterWrite(options.verify);
    bool success = false;
    tools.runner.run([&] { success = work(*key); });
    CipherRun run{key->lastError(), {}};
    run.outcome.written = success && run.error == zqvcrypto::CryptoError::None;
    run.outcome.readBack = run.outcome.written && options.verify;
    run.outcome.cancelled = run.error == zqvcrypto::CryptoError::Cancelled;
    int ignored = 0;
    key->Destroy(ignored);
    return run;
}

// One file through the cipher, as a routine was asked for it.
struct CipherCall
{
    Direction direction;
    QString source;
    QString destination;
    const QString& password;
    CipherOptions options;
};

CipherRun runCipher(OperationTools& tools, const CipherCall& call, const zqvcrypto::PlaintextProducer& produce = {})
{
    const Direction direction = call.direction;
    const QString& source = call.source;
    const QString& destination = call.destination;
    const CipherOptions& options = call.options;
    return withKey(tools, call.password, options, [&](zqvcrypto::CryptoKey& key) {
        bool success = false;
        if (direction == Direction::Encrypt) {
            if (produce)
                key.EncryptProduced(produce, destination, success);
            else
                key.EncryptFile(source, destination, success);
        } else if (direction == Direction::Decrypt) {
            // The cipher checks the stop between its chunks.
            key.setStopRequest(tools.cancel);
            key.DecryptFile(source, destination, success);
        } else {
            zqvcrypto::CryptoOptions sfxOptions;
            sfxOptions.text = QStringLiteral("Cryptelle");
            sfxOptions.storedName = options.storedName;
            if (produce)
                key.MakeSelfExtractingProduced(produce, destination, sfxOptions, success);
            else
                key.MakeSelfExtracting(source, destination, sfxOptions, true, success);
        }
        return success;
    });
}

// The routine's own sentence with the cause under it (or without it, where
// the sentence already names the cause).
void reportCipherFailure(OperationTools& tools,
                         const CipherRun& run,
                         const QString& failureText,
                         zqvcrypto::CryptoError causeNamedByText = zqvcrypto::CryptoError::None)
{
    tools.messenger.message(tools.window,
                            programTitle(),
                            failureText,
                            MessageIcon::Critical,
                            run.error == causeNamedByText ? QString() : zqvcrypto::describe(run.error));
}

// The source read piece by piece as a produced plaintext, so that the work
// can stop between two pieces. The checks the cipher makes of a source come
// first, before any key is derived.
CipherRun runCancellable(OperationTools& tools, CipherCall call)
{
    const QString& source = call.source;
    const QString& destination = call.destination;
    CipherOptions& options = call.options;
    const QByteArray native = QFile::encodeName(source);
    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    struct stat info
    {
    };
    if (fd < 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return {zqvcrypto::CryptoError::ReadFailed, {}};
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    struct stat target
    {
    };
    if (::stat(QFile::encodeName(destination).constData(), &target) == 0 && target.st_dev == info.st_dev &&
        target.st_ino == info.st_ino)
        return {zqvcrypto::CryptoError::SameFile, {}};
    if (options.storedName.isEmpty())
        options.storedName = QFileInfo(source).fileName();

    bool cancelled = false;
    const auto size = static_cast<std::uint64_t>(info.st_size);
    const zqvcrypto::PlaintextProducer read = [&](const zqvcrypto::PlaintextWriter& write) {
        std::vector<unsigned char> piece(1 << 20);
        std::uint64_t done = 0;
        int shown = -1;
        bool whole = true;
        for (;;) {
            if (tools.cancel->load()) {
                cancelled = true;
                whole = false;
                break;
            }
            const ssize_t n = ::read(fd, piece.data(), piece.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0) {
                whole = n == 0;
                break;
            }
            if (!write(piece.data(), static_cast<std::size_t>(n))) {
                whole = false;
                break;
            }
            done += static_cast<std::uint64_t>(n);
            const int percent = size == 0 ? 100 : static_cast<int>(std::min<std::uint64_t>(100, done * 100 / size));
            if (percent != shown && tools.progress) {
                shown = percent;
                tools.progress(percent);
            }
        }
        // The plaintext does not stay in memory after the work.
        ::explicit_bzero(piece.data(), piece.size());
        return whole;
    };
    call.source.clear();
    CipherRun run = runCipher(tools, call, read);
    run.outcome.cancelled = run.outcome.cancelled || (cancelled && !run.outcome.written);
    return run;
}

// Runs the cipher and reports a failure as above; a cancel is not a failure to report.
CipherOutcome cipherReporting(OperationTools& tools,
                              const CipherCall& call,
                              const QString& failureText,
                              zqvcrypto::CryptoError causeNamedByText = zqvcrypto::CryptoError::None)
{
    // Decryption stops inside the cipher; the others read their source here.
    const bool readHere = tools.cancel != nullptr && call.direction != Direction::Decrypt;
    const CipherRun run = readHere ? runCancellable(tools, call) : runCipher(tools, call);
    if (!run.outcome && !run.outcome.cancelled)
        reportCipherFailure(tools, run, failureText, causeNamedByText);
    return run.outcome;
}

QString encryptFailureText()
{
    return QStringLiteral("The file was could not be encrypted.");
}

QString selfExtractingFailureText()
{
    return QStringLiteral("Could not create encrypted self-encrypting executable file.");
}

QString decryptFailureText()
{
    return QStringLiteral("The file was not decrypted. Make sure the password entered is correct.");
}

WipeResult wipeThroughRunner(OperationTools& tools, const WipeTarget& target)
{
    WipeResult result = WipeResult::NotWiped;
    tools.runner.run([&] { result = tools.wiper(target); });
    return result;
}

} // namespace

CipherOutcome EncryptFileWithPassword(OperationTools& tools,
                                      const QString& source,
                                      const QString& destination,
                                      const QString& password,
                                      const CipherOptions& options)
{
    return cipherReporting(tools, {Direction::Encrypt, source, destination, password, options}, encryptFailureText());
}

CipherOutcome DecryptFileWithPassword(OperationTools& tools,
                                      const QString& source,
                                      const QString& destination,
                                      const QString& password,
                                      const CipherOptions& options)
{
    return cipherReporting(tools,
                           {Direction::Decrypt, source, destination, password, options},
                           decryptFailureText(),
                           zqvcrypto::CryptoError::WrongPassword);
}

CipherOutcome MakeSelfExtractingFile(OperationTools& tools,
                                     const QString& source,
                                     const QString& destination,
                                     const QString& password,
                                     const CipherOptions& options)
{
    return cipherReporting(
        tools, {Direction::SelfExtracting, source, destination, password, options}, selfExtractingFailureText());
}

FolderResult EncryptFolderToArchive(OperationTools& tools,
                                    ziplight::ZIPLight& zip,
                                    const FolderJob& job,
                                    const QString& password,
                                    const CipherOptions& options)
{
    zqvpack::PackRun pack;
    const CipherRun run = withKey(tools, password, options, [&](zqvcrypto::CryptoKey& key) {
        pack = zqvpack::packEncrypted(key, zip, job, password, tools.cancel);
        return pack.written;
    });
    if (run.outcome)
        return FolderResult::Done;
    if (pack.cancelled)
        return FolderResult::Cancelled;
    // An archive that could not be made ends the encryption as a read error;
    // packing that stopped because the encryption had failed is not the cause.
    if (!pack.packed && run.error == zqvcrypto::CryptoError::ReadFailed) {
        tools.messenger.message(tools.window,
                                programTitle(),
                                QStringLiteral("The folder could not be packed."),
                                MessageIcon::Critical,
                                zip.lastError());
    } else {
        reportCipherFailure(tools, run, job.selfExtracting ? selfExtractingFailureText() : encryptFailureText());
    }
    return FolderResult::Failed;
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

WipeResult wipeAfterSuccess(OperationTools& tools, const WipeTarget& source, const CipherOutcome& outcome)
{
    const QString& path = source.path;
    if (!outcome.written || !outcome.readBack) {
        tools.messenger.message(tools.window,
                                programTitle(),
                                QLatin1String("The new file was written, but ") + path +
                                    QLatin1String(" was not wiped, because the new file was not read back first."),
                                MessageIcon::Warning);
        return WipeResult::NotWiped;
    }
    const WipeResult result = wipeThroughRunner(tools, source);
    if (result == WipeResult::Wiped || result == WipeResult::Gone)
        return result;
    QString text;
    if (result == WipeResult::Changed)
        text = QLatin1String("The new file was written and kept, but ") + path +
               QLatin1String(" changed during the operation, so it was not wiped and was left as it is.");
    else if (isRemoved(result))
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
