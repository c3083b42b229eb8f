#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "CryptoData.h"
#include "CryptoError.h"
#include "CryptoHash.h"
#include "KdfParams.h"
#include "PendingOutputs.h"
#include "PlaintextProducer.h"
#include "SecureBuffer.h"
#include "TextError.h"

namespace zqvcrypto {

using ProgressHandler = std::function<void(int percent)>;
class KeyRing;
class SafeOutput;
struct SfxJob;
struct FileJob;

// Free text carried into self-extracting files.
class CryptoOptions
{
public:
    QString text;
    // The file name the recipient gets; the source's own name when empty.
    QString storedName;
};

// A password made ready for one algorithm. Destroy() wipes it; so does the
// destructor. Files are AES only; data (text messages) take all three.
class CryptoKey
{
public:
    CryptoKey(SecureBuffer password, Argon2Params kdf, ProgressHandler progress, QString stubPath, int algorithm = 1);
    ~CryptoKey();
    CryptoKey(const CryptoKey&) = delete;
    CryptoKey& operator=(const CryptoKey&) = delete;

    void EncryptFile(const QString& source, const QString& destination, bool& success);
    void DecryptFile(const QString& source, const QString& destination, bool& success);
    [[nodiscard]] CryptoData EncryptData(const CryptoData& data, bool flag);
    [[nodiscard]] CryptoData DecryptData(const CryptoData& data, bool flag);
    void MakeSelfExtracting(
        const QString& source, const QString& destination, const CryptoOptions& options, bool flag, bool& success);
    // Our additions: encrypt what `produce` makes while it makes it, on a
    // thread of its own, instead of a file; `name` is what a self-extracting
    // file gives the recipient. Progress is the producer's to report.
    void EncryptProduced(const PlaintextProducer& produce, const QString& destination, bool& success);
    void MakeSelfExtractingProduced(const PlaintextProducer& produce,
                                    const QString& destination,
                                    const CryptoOptions& options,
                                    bool& success);
    void Destroy(int& ignored);
    // Our addition: whether the password opens the encrypted file, read from
    // its header alone (no output is written).
    void CheckPassword(const QString& source, bool& correct);
    // Our addition: decrypts and authenticates every byte of the encrypted
    // file and writes nothing.
    void VerifyFile(const QString& source, bool& success);

    // Our additions: the same with paths as the bytes the system takes, so
    // that names in any encoding (or none) reach the file system unchanged.
    void EncryptPath(const std::string& source, const std::string& destination, bool& success);
    void DecryptPath(const std::string& source, const std::string& destination, bool& success);
    void VerifyPath(const std::string& source, bool& success);
    void MakeSelfExtractingPath(const std::string& source,
                                const std::string& destination,
                                const CryptoOptions& options,
                                bool& success);
    // Our addition: while set, the next encrypted or decrypted file is handed
    // to `pending` under `tag` instead of being synced and named; null ends it.
    void holdOutputsIn(PendingOutputs* pending, std::size_t tag)
    {
        m_pending = pending;
        m_pendingTag = tag;
    }

    // Our addition, for many files with one password: the key the password
    // gives is derived once for all the files this object encrypts (they
    // share one salt, each with its own random file key), and once per salt
    // and cost for the files it decrypts, verifies or checks.
    void setReuseDerivedKeys(bool reuse) { m_reuseKeys = reuse; }
    // Our addition: a key object for the same password and settings, for
    // another thread. With reuse on, the two share every key either derives.
    [[nodiscard]] std::unique_ptr<CryptoKey> twin();

    // Our additions: how to treat an existing destination, whether to read the
    // result back before it takes its name, and why the last call failed.
    void setReplaceExisting(bool replace) { m_replaceExisting = replace; }
    void setVerifyAfterWrite(bool verify) { m_verify = verify; }
    // Our addition: once `stop` is true, a running DecryptFile or DecryptPath ends at its
    // next chunk with Cancelled, its unnamed output dropped and the source
    // untouched. Set from any thread; null for none. It must outlive the call.
    void setStopRequest(const std::atomic<bool>* stop) { m_stop = stop; }
    [[nodiscard]] CryptoError lastError() const { return m_lastError; }
    // Why the last EncryptData or DecryptData failed, in the text tool's terms.
    [[nodiscard]] TextError lastTextError() const { return m_lastTextError; }
    [[nodiscard]] int algorithm() const { return m_algorithm; }

private:
    [[nodiscard]] bool refuseUnlessAes(bool& success);
    // The plaintext is the source file, or what `produce` makes when set.
    void
    encryptFrom(const QString& source, const PlaintextProducer& produce, const QString& destination, bool& success);
    void makeSelfExtractingFrom(const QString& source,
                                const PlaintextProducer& produce,
                                const QString& destination,
                                const CryptoOptions& options,
                                bool& success);

    [[nodiscard]] KeyRing* keyRing();
    [[nodiscard]] std::function<void(std::unique_ptr<SafeOutput>)> holder();
    // A self-extracting job with this key's settings and the options; the
    // caller names the plaintext and the new file.
    [[nodiscard]] SfxJob sfxJob(const CryptoOptions& options) const;
    // A job between two paths given as bytes, with this key's settings.
    [[nodiscard]] FileJob pathJob(const std::string& source, const std::string& destination);

    SecureBuffer m_password;
    std::shared_ptr<KeyRing> m_keys;
    bool m_reuseKeys = false;
    Argon2Params m_kdf;
    ProgressHandler m_progress;
    QString m_stubPath;
    bool m_replaceExisting = false;
    bool m_verify = false;
    const std::atomic<bool>* m_stop = nullptr;
    CryptoError m_lastError = CryptoError::None;
    TextError m_lastTextError = TextError::None;
    int m_algorithm = 1;
    PendingOutputs* m_pending = nullptr;
    std::size_t m_pendingTag = 0;
};

// The engine's and the tools' one entry to ciphering and hashing.
class Crypto
{
public:
    static constexpr int kAlgorithmAes = 1;
    static constexpr int kAlgorithmTwofish = 2;
    static constexpr int kAlgorithmRsa = 3;

    // The one key length each algorithm takes: 256 bits for the ciphers, the
    // modulus size for RSA; 0 for an unknown algorithm.
    [[nodiscard]] static int keyLengthOf(int algorithm);

    // Null when the algorithm or key length is not supported.
    [[nodiscard]] std::unique_ptr<CryptoKey> DeriveKey(const QString& password, int algorithm, int keyLength) const;
    [[nodiscard]] std::unique_ptr<CryptoHash> CreateHash() const { return std::make_unique<CryptoHash>(); }

    // Raised during file operations with 0 to 100; may come from a worker thread.
    void setProgressHandler(ProgressHandler handler) { m_progress = std::move(handler); }

    // The key-derivation cost new files are made with. Tests lower it.
    void setKdfParams(const Argon2Params& params) { m_kdf = params; }
    [[nodiscard]] const Argon2Params& kdfParams() const { return m_kdf; }
    [[nodiscard]] static Argon2Params defaultKdfParams();

    // The extractor program put in front of self-extracting files; by default
    // the one in the program folder.
    void setStubPath(const QString& path) { m_stubPath = path; }

private:
    Argon2Params m_kdf = defaultKdfParams();
    QString m_stubPath;
    ProgressHandler m_progress;
};

// A user-facing sentence for each failure.
[[nodiscard]] QString describe(CryptoError error);
[[nodiscard]] QString describe(TextError error);

} // namespace zqvcrypto
