#pragma once

#include <QString>
#include <memory>
#include <string>
#include <vector>

#include "Console.h"
#include "Crypto.h"
#include "ExitStatus.h"
#include "PasswordReader.h"
#include "ShredLibrary.h"

namespace cli {

class FileHashes;

struct CallOptions
{
    std::string output;      // -o: the one output of a call with one input (bytes, as given)
    bool force = false;      // replace an existing output
    bool wipeSource = false; // wipe each source once its output was read back and authenticated
    int jobs = 0;            // files worked on at once; 0 chooses
};

struct PackOptions
{
    int level = 6;
    bool recursive = false;
    bool zipPassword = false; // the archive's entries carry the password too
    bool selfExtracting = false;
};

struct HashOptions
{
    bool sha256 = true;
    bool md5 = false;
};

// The program's commands over the suite's components. Each checks what it
// was given before it asks for a password, names the file in every message
// and says in its status what went wrong first.
class Commands
{
public:
    Commands(Console& console, zqvcrypto::Crypto& crypto, PasswordReader passwords);
    ~Commands();
    Commands(const Commands&) = delete;
    Commands& operator=(const Commands&) = delete;

    // Paths are the bytes the command line gave, whatever their encoding.
    using Paths = std::vector<std::string>;
    [[nodiscard]] ExitStatus encrypt(const Paths& files, const CallOptions& options);
    [[nodiscard]] ExitStatus decrypt(const Paths& files, const CallOptions& options);
    [[nodiscard]] ExitStatus verify(const Paths& files, const CallOptions& options);
    [[nodiscard]] ExitStatus sfx(const std::string& file, const CallOptions& options);
    [[nodiscard]] ExitStatus pack(const std::string& folder, const CallOptions& options, const PackOptions& pack);
    [[nodiscard]] ExitStatus wipe(const Paths& files);
    [[nodiscard]] ExitStatus hash(const Paths& files, const HashOptions& options);

private:
    enum class Cipher { Encrypt, Decrypt, Verify, SelfExtracting };
    struct Item
    {
        std::string source;
        std::string destination;
    };

    [[nodiscard]] ExitStatus cipherFiles(Cipher cipher, const Paths& files, const CallOptions& options);
    [[nodiscard]] bool
    accept(Cipher cipher, const std::string& file, const CallOptions& options, Item& item, StatusKeeper& status);
    // With `keepText`, the password's text is handed over there too (for an
    // archive's own password); the caller cleanses it.
    [[nodiscard]] std::unique_ptr<zqvcrypto::CryptoKey>
    keyFromPassword(bool confirm, StatusKeeper& status, QString* keepText = nullptr);
    void reportCipherFailure(const Item& item, zqvcrypto::CryptoError error);
    // Wipes a source held open since its operation began, only if it is still that very file.
    [[nodiscard]] zqvwipe::WipeResult wipeHeld(cryptelle::HeldFile& held);

    Console& m_console;
    zqvcrypto::Crypto& m_crypto;
    PasswordReader m_passwords;
    std::unique_ptr<zqvwipe::ShredLibrary> m_wiper;
    std::unique_ptr<FileHashes> m_hashes;
};

} // namespace cli
