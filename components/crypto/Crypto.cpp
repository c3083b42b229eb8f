#include "Crypto.h"

#include <QCoreApplication>
#include <QFile>
#include <cstring>

#include <UniqueFd.h>
#include <fcntl.h>
#include <openssl/crypto.h>

#include "FileCipher.h"
#include "FileSources.h"
#include "RsaTextKey.h"
#include "SafeOutput.h"
#include "TextCipher.h"

namespace zqvcrypto {

Argon2Params Crypto::defaultKdfParams()
{
    return kDefaultArgon2Params;
}

int Crypto::keyLengthOf(int algorithm)
{
    switch (algorithm) {
    case kAlgorithmAes:
    case kAlgorithmTwofish:
        return 256;
    case kAlgorithmRsa:
        return static_cast<int>(RsaTextKey::kModulusBits);
    default:
        return 0;
    }
}

std::unique_ptr<CryptoKey> Crypto::DeriveKey(const QString& password, int algorithm, int keyLength) const
{
    if (keyLengthOf(algorithm) == 0 || keyLength != keyLengthOf(algorithm))
        return nullptr;
    QByteArray utf8 = password.toUtf8();
    SecureBuffer secret(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    OPENSSL_cleanse(utf8.data(), static_cast<std::size_t>(utf8.size()));
    // Only file keys make self-extracting files.
    const QString stub = m_stubPath.isEmpty() && algorithm == kAlgorithmAes
                             ? QCoreApplication::applicationDirPath() + QLatin1String("/zqvsfx")
                             : m_stubPath;
    return std::make_unique<CryptoKey>(std::move(secret), m_kdf, m_progress, stub, algorithm);
}

CryptoKey::CryptoKey(SecureBuffer password, Argon2Params kdf, ProgressHandler progress, QString stubPath, int algorithm)
    : m_password(std::move(password))
    , m_kdf(kdf)
    , m_progress(std::move(progress))
    , m_stubPath(std::move(stubPath))
    , m_algorithm(algorithm)
{
}

CryptoKey::~CryptoKey() = default;

KeyRing* CryptoKey::keyRing()
{
    if (!m_reuseKeys)
        return nullptr;
    if (!m_keys)
        m_keys = std::make_shared<KeyRing>();
    return m_keys.get();
}

std::unique_ptr<CryptoKey> CryptoKey::twin()
{
    static_cast<void>(keyRing());
    auto other = std::make_unique<CryptoKey>(
        SecureBuffer(m_password.data(), m_password.size()), m_kdf, m_progress, m_stubPath, m_algorithm);
    other->m_keys = m_keys;
    other->m_reuseKeys = m_reuseKeys;
    other->m_replaceExisting = m_replaceExisting;
    other->m_verify = m_verify;
    other->m_stop = m_stop;
    return other;
}

bool CryptoKey::refuseUnlessAes(bool& success)
{
    success = false;
    if (m_algorithm == Crypto::kAlgorithmAes)
        return false;
    m_lastError = CryptoError::InvalidKey;
    return true;
}

void CryptoKey::EncryptFile(const QString& source, const QString& destination, bool& success)
{
    encryptFrom(source, {}, destination, success);
}

void CryptoKey::EncryptProduced(const PlaintextProducer& produce, const QString& destination, bool& success)
{
    encryptFrom(QString(), produce, destination, success);
}

void CryptoKey::encryptFrom(const QString& source,
                            const PlaintextProducer& produce,
                            const QString& destination,
                            bool& success)
{
    if (refuseUnlessAes(success))
        return;
    const FileJob job{source, destination, m_replaceExisting, m_verify, m_progress, produce, keyRing()};
    m_lastError = encryptFile(job, Bytes(m_password.data(), m_password.size()), m_kdf);
    success = m_lastError == CryptoError::None;
}

std::function<void(std::unique_ptr<SafeOutput>)> CryptoKey::holder()
{
    if (m_pending == nullptr)
        return {};
    return [pending = m_pending, tag = m_pendingTag](std::unique_ptr<SafeOutput> output) {
        pending->hold(tag, std::move(output));
    };
}

FileJob CryptoKey::pathJob(const std::string& source, const std::string& destination)
{
    FileJob job{QString(), QString(), m_replaceExisting, m_verify, m_progress, {}, keyRing()};
    job.sourcePath = source;
    job.destinationPath = destination;
    job.hold = holder();
    return job;
}

void CryptoKey::EncryptPath(const std::string& source, const std::string& destination, bool& success)
{
    if (refuseUnlessAes(success))
        return;
    FileJob job = pathJob(source, destination);
    m_lastError = source.empty() || destination.empty()
                      ? CryptoError::ReadFailed
                      : encryptFile(job, Bytes(m_password.data(), m_password.size()), m_kdf);
    success = m_lastError == CryptoError::None;
}

void CryptoKey::DecryptPath(const std::string& source, const std::string& destination, bool& success)
{
    if (refuseUnlessAes(success))
        return;
    FileJob job = pathJob(source, destination);
    job.stop = m_stop;
    m_lastError = source.empty() || destination.empty() ? CryptoError::ReadFailed
                                                        : decryptFile(job, Bytes(m_password.data(), m_password.size()));
    success = m_lastError == CryptoError::None;
}

void CryptoKey::VerifyPath(const std::string& source, bool& success)
{
    if (refuseUnlessAes(success))
        return;
    FileJob job{QString(), QString(), false, false, m_progress, {}, keyRing()};
    job.sourcePath = source;
    m_lastError =
        source.empty() ? CryptoError::ReadFailed : verifyFile(job, Bytes(m_password.data(), m_password.size()));
    success = m_lastError == CryptoError::None;
}

SfxJob CryptoKey::sfxJob(const CryptoOptions& options) const
{
    SfxJob job;
    job.stubPath = m_stubPath;
    job.storedName = options.storedName;
    job.title = options.text;
    job.replaceExisting = m_replaceExisting;
    job.verify = m_verify;
    job.progress = m_progress;
    return job;
}

void CryptoKey::MakeSelfExtractingPath(const std::string& source,
                                       const std::string& destination,
                                       const CryptoOptions& options,
                                       bool& success)
{
    if (refuseUnlessAes(success))
        return;
    SfxJob job = sfxJob(options);
    job.sourcePath = source;
    job.destinationPath = destination;
    m_lastError = source.empty() || destination.empty()
                      ? CryptoError::ReadFailed
                      : makeSelfExtracting(job, Bytes(m_password.data(), m_password.size()), m_kdf);
    success = m_lastError == CryptoError::None;
}

void CryptoKey::DecryptFile(const QString& source, const QString& destination, bool& success)
{
    if (refuseUnlessAes(success))
        return;
    FileJob job{source, destination, m_replaceExisting, m_verify, m_progress, {}, keyRing()};
    job.stop = m_stop;
    m_lastError = decryptFile(job, Bytes(m_password.data(), m_password.size()));
    success = m_lastError == CryptoError::None;
}

void CryptoKey::VerifyFile(const QString& source, bool& success)
{
    if (refuseUnlessAes(success))
        return;
    const FileJob job{source, QString(), false, false, m_progress, {}, keyRing()};
    m_lastError = verifyFile(job, Bytes(m_password.data(), m_password.size()));
    success = m_lastError == CryptoError::None;
}

namespace {

CryptoError asCryptoError(TextError error)
{
    switch (error) {
    case TextError::None:
        return CryptoError::None;
    case TextError::NotCiphertext:
    case TextError::OtherAlgorithm:
        return CryptoError::NotEncrypted;
    case TextError::UnsupportedVersion:
        return CryptoError::UnsupportedVersion;
    case TextError::BadParameters:
        return CryptoError::BadParameters;
    case TextError::Damaged:
        return CryptoError::Damaged;
    case TextError::WrongKey:
        return CryptoError::WrongPassword;
    case TextError::KeyFailed:
        return CryptoError::OutOfMemory;
    case TextError::Failed:
    case TextError::EmptyKey:
        return CryptoError::InvalidKey;
    }
    return CryptoError::InvalidKey;
}

Bytes asBytes(const QByteArray& bytes)
{
    return Bytes(reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<std::size_t>(bytes.size()));
}

} // namespace

CryptoData CryptoKey::EncryptData(const CryptoData& data, bool)
{
    std::vector<unsigned char> envelope;
    m_lastTextError =
        m_password.empty()
            ? TextError::EmptyKey
            : sealText(
                  m_algorithm, Bytes(m_password.data(), m_password.size()), m_kdf, asBytes(data.bytes()), envelope);
    m_lastError = asCryptoError(m_lastTextError);
    if (m_lastTextError != TextError::None)
        return CryptoData();
    return CryptoData::sealedMessage(
        QByteArray(reinterpret_cast<const char*>(envelope.data()), static_cast<qsizetype>(envelope.size())));
}

CryptoData CryptoKey::DecryptData(const CryptoData& data, bool)
{
    SecureBuffer plaintext;
    m_lastTextError =
        !data.isSealedMessage() ? TextError::NotCiphertext
        : m_password.empty()
            ? TextError::EmptyKey
            : openText(m_algorithm, Bytes(m_password.data(), m_password.size()), asBytes(data.bytes()), plaintext);
    m_lastError = asCryptoError(m_lastTextError);
    if (m_lastTextError != TextError::None)
        return CryptoData();
    return CryptoData(
        QByteArray(reinterpret_cast<const char*>(plaintext.data()), static_cast<qsizetype>(plaintext.size())));
}

void CryptoKey::MakeSelfExtracting(
    const QString& source, const QString& destination, const CryptoOptions& options, bool, bool& success)
{
    makeSelfExtractingFrom(source, {}, destination, options, success);
}

void CryptoKey::MakeSelfExtractingProduced(const PlaintextProducer& produce,
                                           const QString& destination,
                                           const CryptoOptions& options,
                                           bool& success)
{
    makeSelfExtractingFrom(QString(), produce, destination, options, success);
}

void CryptoKey::makeSelfExtractingFrom(const QString& source,
                                       const PlaintextProducer& produce,
                                       const QString& destination,
                                       const CryptoOptions& options,
                                       bool& success)
{
    if (refuseUnlessAes(success))
        return;
    SfxJob job = sfxJob(options);
    job.source = source;
    job.destination = destination;
    job.produce = produce;
    m_lastError = makeSelfExtracting(job, Bytes(m_password.data(), m_password.size()), m_kdf);
    success = m_lastError == CryptoError::None;
}

void CryptoKey::CheckPassword(const QString& source, bool& correct)
{
    if (refuseUnlessAes(correct))
        return;
    const cryptelle::UniqueFd file(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        m_lastError = CryptoError::ReadFailed;
    } else {
        FdSource in(file.get());
        m_lastError = checkPasswordStream(in, Bytes(m_password.data(), m_password.size()), keyRing());
    }
    correct = m_lastError == CryptoError::None;
}

void CryptoKey::Destroy(int& ignored)
{
    ignored = 0;
    m_password.clear();
    if (m_keys)
        m_keys->clear();
}

QString describe(CryptoError error)
{
    switch (error) {
    case CryptoError::None:
        return {};
    case CryptoError::WrongPassword:
        return QStringLiteral("The password is not correct.");
    case CryptoError::NotEncrypted:
        return QStringLiteral("The file is not an encrypted file.");
    case CryptoError::UnsupportedVersion:
        return QStringLiteral("The file was made by a newer version and cannot be opened by this one.");
    case CryptoError::BadParameters:
        return QStringLiteral("The file asks for settings outside the safe limits, so it was not opened.");
    case CryptoError::Damaged:
        return QStringLiteral("The encrypted file is damaged or incomplete.");
    case CryptoError::ReadFailed:
        return QStringLiteral("The file could not be read.");
    case CryptoError::WriteFailed:
        return QStringLiteral("The new file could not be written. Check the folder and the free space.");
    case CryptoError::SameFile:
        return QStringLiteral("The new file cannot replace the file it is made from.");
    case CryptoError::DestinationExists:
        return QStringLiteral("A file with the new file's name already exists.");
    case CryptoError::OutOfMemory:
        return QStringLiteral("There is not enough memory to open the file.");
    case CryptoError::InvalidKey:
        return QStringLiteral("The key could not be prepared.");
    case CryptoError::VerifyFailed:
        return QStringLiteral("The new file did not read back correctly from the disk.");
    case CryptoError::ExtractorMissing:
        return QStringLiteral("The extractor program (zqvsfx) is missing from the program folder.");
    case CryptoError::Cancelled:
        return QStringLiteral("The work was stopped before it ended.");
    }
    return {};
}

QString describe(TextError error)
{
    switch (error) {
    case TextError::None:
        return {};
    case TextError::NotCiphertext:
        return QStringLiteral("The text is not encrypted text, or it is incomplete.");
    case TextError::UnsupportedVersion:
        return QStringLiteral("The text was encrypted by a newer version and cannot be decrypted by this one.");
    case TextError::OtherAlgorithm:
        return QStringLiteral("The text was encrypted with another algorithm.");
    case TextError::BadParameters:
        return QStringLiteral("The text asks for settings outside the safe limits, so it was not decrypted.");
    case TextError::Damaged:
        return QStringLiteral("The encrypted text is damaged or incomplete.");
    case TextError::WrongKey:
        return QStringLiteral("The key is not correct, or the encrypted text was changed.");
    case TextError::KeyFailed:
        return QStringLiteral("The key could not be prepared: there is not enough free memory.");
    case TextError::Failed:
        return QStringLiteral("The text could not be processed.");
    case TextError::EmptyKey:
        return QStringLiteral("Please enter a key.");
    }
    return {};
}

} // namespace zqvcrypto
