#include "Crypto.h"

#include <QCoreApplication>
#include <QFile>
#include <cstring>

#include <UniqueFd.h>
#include <fcntl.h>
#include <openssl/crypto.h>

#include "FileCipher.h"
#include "FileSources.h"
#include "SelfExtracting.h"

namespace zqvcrypto {
namespace {

class MemorySource : public ByteSource
{
public:
    explicit MemorySource(const QByteArray& bytes)
        : m_bytes(bytes)
    {
    }
    std::int64_t read(unsigned char* buffer, std::size_t size) override
    {
        const std::size_t left = static_cast<std::size_t>(m_bytes.size()) - m_offset;
        const std::size_t n = std::min(left, size);
        std::memcpy(buffer, m_bytes.constData() + m_offset, n);
        m_offset += n;
        return static_cast<std::int64_t>(n);
    }

private:
    const QByteArray& m_bytes;
    std::size_t m_offset = 0;
};

class MemorySink : public ByteSink
{
public:
    bool write(const unsigned char* data, std::size_t size) override
    {
        bytes.append(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
        return true;
    }
    QByteArray bytes;
};

} // namespace

Argon2Params Crypto::defaultKdfParams()
{
    // About half a second on a two-core machine; stored in every file, so it
    // can be raised later without breaking older files.
    return Argon2Params{128u * 1024, 3, 2};
}

std::unique_ptr<CryptoKey> Crypto::DeriveKey(const QString& password, int algorithm, int keyLength) const
{
    if (algorithm != kAlgorithmAes || keyLength != 256)
        return nullptr;
    QByteArray utf8 = password.toUtf8();
    SecureBuffer secret(utf8.constData(), static_cast<std::size_t>(utf8.size()));
    OPENSSL_cleanse(utf8.data(), static_cast<std::size_t>(utf8.size()));
    const QString stub =
        m_stubPath.isEmpty() ? QCoreApplication::applicationDirPath() + QLatin1String("/zqvsfx") : m_stubPath;
    return std::make_unique<CryptoKey>(std::move(secret), m_kdf, m_progress, stub);
}

CryptoKey::CryptoKey(SecureBuffer password, Argon2Params kdf, ProgressHandler progress, QString stubPath)
    : m_password(std::move(password))
    , m_kdf(kdf)
    , m_progress(std::move(progress))
    , m_stubPath(std::move(stubPath))
{
}

void CryptoKey::EncryptFile(const QString& source, const QString& destination, bool& success)
{
    const FileJob job{source, destination, m_replaceExisting, m_verify, m_progress};
    m_lastError = encryptFile(job, Bytes(m_password.data(), m_password.size()), m_kdf);
    success = m_lastError == CryptoError::None;
}

void CryptoKey::DecryptFile(const QString& source, const QString& destination, bool& success)
{
    const FileJob job{source, destination, m_replaceExisting, m_verify, m_progress};
    m_lastError = decryptFile(job, Bytes(m_password.data(), m_password.size()));
    success = m_lastError == CryptoError::None;
}

CryptoData CryptoKey::EncryptData(const CryptoData& data, bool)
{
    MemorySource in(data.bytes());
    MemorySink out;
    m_lastError = encryptStream(in, out, Bytes(m_password.data(), m_password.size()), m_kdf, zqv::kMinChunkSize);
    return m_lastError == CryptoError::None ? CryptoData(out.bytes) : CryptoData();
}

CryptoData CryptoKey::DecryptData(const CryptoData& data, bool)
{
    MemorySource in(data.bytes());
    MemorySink out;
    m_lastError = decryptStream(in, out, Bytes(m_password.data(), m_password.size()));
    if (m_lastError != CryptoError::None) {
        OPENSSL_cleanse(out.bytes.data(), static_cast<std::size_t>(out.bytes.size()));
        return CryptoData();
    }
    return CryptoData(out.bytes);
}

void CryptoKey::MakeSelfExtracting(
    const QString& source, const QString& destination, const CryptoOptions& options, bool, bool& success)
{
    SfxJob job;
    job.stubPath = m_stubPath;
    job.source = source;
    job.destination = destination;
    job.storedName = options.storedName;
    job.title = options.text;
    job.replaceExisting = m_replaceExisting;
    job.verify = m_verify;
    job.progress = m_progress;
    m_lastError = makeSelfExtracting(job, Bytes(m_password.data(), m_password.size()), m_kdf);
    success = m_lastError == CryptoError::None;
}

void CryptoKey::CheckPassword(const QString& source, bool& correct)
{
    const cryptelle::UniqueFd file(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
        m_lastError = CryptoError::ReadFailed;
    } else {
        FdSource in(file.get());
        m_lastError = checkPasswordStream(in, Bytes(m_password.data(), m_password.size()));
    }
    correct = m_lastError == CryptoError::None;
}

void CryptoKey::Destroy(int& ignored)
{
    ignored = 0;
    m_password.clear();
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
    }
    return {};
}

} // namespace zqvcrypto
