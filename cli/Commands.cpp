#include "Commands.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <atomic>
#include <vector>

#include <FileIdentity.h>
#include <sys/stat.h>

#include "FileHashes.h"
#include "ParallelFiles.h"
#include "PathRules.h"
#include "SourceWiper.h"
#include "ZIPLight.h"

namespace cli {
namespace {

using zqvcrypto::CryptoError;

const QLatin1String kEncryptedExtension(".zqv");

std::string pathBytes(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// Small files are worth writing many at once; large ones are not, as each
// already keeps the disk and a core busy.
std::size_t workersFor(const QStringList& files, int asked)
{
    if (asked > 0)
        return static_cast<std::size_t>(asked);
    if (files.size() < 2)
        return 1;
    qint64 total = 0;
    for (const QString& file : files)
        total += QFileInfo(file).size();
    const qint64 average = total / files.size();
    return average < 4 * 1024 * 1024 ? std::min<std::size_t>(32, static_cast<std::size_t>(files.size())) : 2;
}

QString verb(bool encrypt, bool decrypt)
{
    return encrypt ? QStringLiteral("encrypting") : decrypt ? QStringLiteral("decrypting") : QStringLiteral("checking");
}

// Errors about the new file name the new file; the others the source.
bool concernsOutput(CryptoError error)
{
    return error == CryptoError::DestinationExists || error == CryptoError::WriteFailed ||
           error == CryptoError::VerifyFailed || error == CryptoError::SameFile;
}

QString folderOf(const QString& path)
{
    QString trimmed = path;
    while (trimmed.size() > 1 && trimmed.endsWith(QLatin1Char('/')))
        trimmed.chop(1);
    return trimmed;
}

} // namespace

Commands::Commands(Console& console, zqvcrypto::Crypto& crypto, PasswordReader passwords)
    : m_console(console)
    , m_crypto(crypto)
    , m_passwords(passwords)
    , m_wiper(std::make_unique<SourceWiper>(shredLibraryPath()))
    , m_hashes(std::make_unique<FileHashes>(QCoreApplication::applicationDirPath() + QLatin1String("/libzqvmd5.so")))
{
}

Commands::~Commands() = default;

std::unique_ptr<zqvcrypto::CryptoKey> Commands::keyFromPassword(bool confirm, StatusKeeper& status, QString* keepText)
{
    zqvcrypto::SecureBuffer password;
    QString whyNot;
    m_console.clearProgress();
    if (!m_passwords.read(confirm, password, whyNot)) {
        m_console.message(whyNot);
        status.note(ExitStatus::NoPassword);
        return nullptr;
    }
    QString text;
    if (!passwordText(password, text)) {
        m_console.message(QStringLiteral("The password is not UTF-8 text, so it would not open the file elsewhere."));
        status.note(ExitStatus::NoPassword);
        return nullptr;
    }
    std::unique_ptr<zqvcrypto::CryptoKey> key = m_crypto.DeriveKey(text, zqvcrypto::Crypto::kAlgorithmAes, 256);
    if (keepText != nullptr && key)
        *keepText = std::move(text);
    cleanse(text);
    if (!key) {
        m_console.message(zqvcrypto::describe(CryptoError::InvalidKey));
        status.note(ExitStatus::IoError);
        return nullptr;
    }
    key->setReuseDerivedKeys(true);
    return key;
}

bool Commands::accept(Cipher cipher, const QString& file, const CallOptions& options, Item& item, StatusKeeper& status)
{
    const auto refuse = [&](const QString& text) {
        m_console.message(text);
        status.note(ExitStatus::Refused);
        return false;
    };
    item.source = file;
    if (!zqvcore::isPlainFile(QFile::encodeName(file))) {
        if (zqvcore::isFolder(QFile::encodeName(file)))
            return refuse(file + QLatin1String(": is a folder; only files are worked on here") +
                          (cipher == Cipher::Encrypt ? QLatin1String(" (\"cryptelle pack\" encrypts a folder).")
                                                     : QLatin1String(".")));
        return refuse(file + QLatin1String(": there is no file of that name that can be read."));
    }
    if (cipher == Cipher::Verify)
        return true;
    if (!options.output.isEmpty()) {
        item.destination = options.output;
    } else if (cipher == Cipher::Encrypt) {
        if (zqvcore::HasEncryptedExtension(file))
            return refuse(file + QLatin1String(": is already an encrypted file (.zqv); give -o to encrypt it again."));
        item.destination = file + kEncryptedExtension;
    } else if (cipher == Cipher::Decrypt) {
        if (!zqvcore::HasEncryptedExtension(file))
            return refuse(
                file + QLatin1String(": does not end in .zqv, so the decrypted file has no name; give one with -o."));
        item.destination = file.left(file.size() - 4);
    } else {
        item.destination = file + QLatin1String(".exe");
    }
    if (!options.force && QFileInfo::exists(item.destination))
        return refuse(item.destination + QLatin1String(": already exists; nothing was written (--force replaces it)."));
    return true;
}

void Commands::reportCipherFailure(const Item& item, CryptoError error)
{
    QString text = (concernsOutput(error) && !item.destination.isEmpty() ? item.destination : item.source) +
                   QLatin1String(": ") + zqvcrypto::describe(error);
    if (error == CryptoError::DestinationExists)
        text += QLatin1String(" Nothing was written (--force replaces it).");
    m_console.message(text);
}

ExitStatus Commands::cipherFiles(Cipher cipher, const QStringList& files, const CallOptions& options)
{
    StatusKeeper status;
    std::vector<Item> items;
    QSet<QString> outputs;
    QSet<QString> inputs;
    for (const QString& file : files)
        inputs.insert(QFileInfo(file).absoluteFilePath());
    for (const QString& file : files) {
        Item item;
        if (!accept(cipher, file, options, item, status))
            continue;
        if (!item.destination.isEmpty()) {
            const QString canonical = QFileInfo(item.destination).absoluteFilePath();
            // With --force, one file's output would replace another's input.
            if (inputs.contains(canonical)) {
                m_console.message(item.destination +
                                  QLatin1String(": is also one of the files of this call; nothing was written."));
                status.note(ExitStatus::Refused);
                continue;
            }
            if (outputs.contains(canonical)) {
                m_console.message(file + QLatin1String(": is named twice in this call; it was worked on once."));
                status.note(ExitStatus::Refused);
                continue;
            }
            outputs.insert(canonical);
        }
        items.push_back(item);
    }
    if (items.empty())
        return status.status();

    const bool single = items.size() == 1;
    const QString action =
        verb(cipher == Cipher::Encrypt || cipher == Cipher::SelfExtracting, cipher == Cipher::Decrypt);
    if (single && m_console.showsProgress()) {
        const QString name = items.front().source;
        m_crypto.setProgressHandler([this, action, name](int percent) {
            m_console.progress(action + QLatin1Char(' ') + name + QStringLiteral(" %1%").arg(percent));
        });
    }
    std::unique_ptr<zqvcrypto::CryptoKey> key =
        keyFromPassword(cipher == Cipher::Encrypt || cipher == Cipher::SelfExtracting, status);
    m_crypto.setProgressHandler({});
    if (!key)
        return status.status();
    key->setReplaceExisting(options.force);
    key->setVerifyAfterWrite(options.wipeSource);

    QStringList sources;
    for (const Item& item : items)
        sources.push_back(item.source);
    const std::size_t workers = workersFor(sources, options.jobs);
    std::vector<std::unique_ptr<zqvcrypto::CryptoKey>> keys;
    keys.push_back(std::move(key));
    for (std::size_t w = 1; w < std::min(workers, items.size()); ++w)
        keys.push_back(keys.front()->twin());

    struct Outcome
    {
        CryptoError error = CryptoError::None;
        bool heldFailed = false;
        bool wiped = false;
        WipeOutcome wipe = WipeOutcome::NotWiped;
    };
    std::vector<Outcome> outcomes(items.size());
    std::atomic<std::size_t> finished{0};
    forEachFile(
        items.size(),
        keys.size(),
        [&](std::size_t index, std::size_t worker) {
            const Item& item = items[index];
            Outcome& outcome = outcomes[index];
            zqvcrypto::CryptoKey& fileKey = *keys[worker];
            // Held from before it is read, so that only this very file, unchanged, is wiped afterwards.
            cryptelle::HeldFile held;
            if (options.wipeSource && !held.open(pathBytes(item.source), cryptelle::HeldFile::Access::ReadOrWrite)) {
                outcome.error = CryptoError::ReadFailed;
                outcome.heldFailed = true;
                return;
            }
            bool success = false;
            switch (cipher) {
            case Cipher::Encrypt:
                fileKey.EncryptFile(item.source, item.destination, success);
                break;
            case Cipher::Decrypt:
                fileKey.DecryptFile(item.source, item.destination, success);
                break;
            case Cipher::Verify:
                fileKey.VerifyFile(item.source, success);
                break;
            case Cipher::SelfExtracting: {
                zqvcrypto::CryptoOptions sfxOptions;
                sfxOptions.text = QStringLiteral("Cryptelle");
                fileKey.MakeSelfExtracting(item.source, item.destination, sfxOptions, true, success);
                break;
            }
            }
            outcome.error = success ? CryptoError::None : fileKey.lastError();
            if (success && outcome.error == CryptoError::None && options.wipeSource) {
                outcome.wiped = true;
                outcome.wipe = m_wiper->wipe(held);
            }
            const std::size_t count = finished.fetch_add(1) + 1;
            if (!single)
                m_console.progress(action + QStringLiteral(" %1/%2 ").arg(count).arg(items.size()) + item.source);
        },
        [&](std::size_t index) {
            const Item& item = items[index];
            const Outcome& outcome = outcomes[index];
            if (cipher == Cipher::Verify) {
                const QByteArray name = QFile::encodeName(item.source);
                m_console.result(outcome.error == CryptoError::None
                                     ? name + ": OK"
                                     : name + ": FAILED (" + zqvcrypto::describe(outcome.error).toLocal8Bit() + ')');
                status.note(statusOf(outcome.error));
                return;
            }
            if (outcome.heldFailed) {
                m_console.message(item.source + QLatin1String(": the file could not be opened; nothing was written."));
                status.note(ExitStatus::IoError);
                return;
            }
            if (outcome.error != CryptoError::None) {
                reportCipherFailure(item, outcome.error);
                status.note(statusOf(outcome.error));
                return;
            }
            if (outcome.wiped && outcome.wipe != WipeOutcome::Wiped) {
                m_console.message(item.destination + QLatin1String(" was written and checked, but ") + item.source +
                                  QLatin1Char(' ') + describe(outcome.wipe) + QLatin1Char('.'));
                status.note(outcome.wipe == WipeOutcome::Changed ? ExitStatus::Refused : ExitStatus::IoError);
            }
        });
    m_console.clearProgress();
    for (auto& k : keys) {
        int ignored = 0;
        k->Destroy(ignored);
    }
    return status.status();
}

ExitStatus Commands::encrypt(const QStringList& files, const CallOptions& options)
{
    return cipherFiles(Cipher::Encrypt, files, options);
}

ExitStatus Commands::decrypt(const QStringList& files, const CallOptions& options)
{
    return cipherFiles(Cipher::Decrypt, files, options);
}

ExitStatus Commands::verify(const QStringList& files, const CallOptions& options)
{
    return cipherFiles(Cipher::Verify, files, options);
}

ExitStatus Commands::sfx(const QString& file, const CallOptions& options)
{
    return cipherFiles(Cipher::SelfExtracting, QStringList{file}, options);
}

ExitStatus Commands::pack(const QString& folderPath, const CallOptions& options, const PackOptions& pack)
{
    StatusKeeper status;
    const QString folder = folderOf(folderPath);
    if (!zqvcore::isFolder(QFile::encodeName(folder))) {
        m_console.message(folder + QLatin1String(": there is no folder of that name."));
        return ExitStatus::Refused;
    }
    const QString archive = (folder == QLatin1String("/") ? QStringLiteral("/root") : folder) + QLatin1String(".zip");
    const QString destination = !options.output.isEmpty()
                                    ? options.output
                                    : archive + (pack.selfExtracting ? QLatin1String(".exe") : kEncryptedExtension);
    if (!options.force && QFileInfo::exists(destination)) {
        m_console.message(destination + QLatin1String(": already exists; nothing was written (--force replaces it)."));
        return ExitStatus::Refused;
    }
    QString zipPassword;
    std::unique_ptr<zqvcrypto::CryptoKey> key =
        keyFromPassword(true, status, pack.zipPassword ? &zipPassword : nullptr);
    if (!key)
        return status.status();
    key->setReplaceExisting(options.force);

    ziplight::ZIPLight zip;
    zip.SourceDirectory = folder;
    zip.CompressionLevel = static_cast<qint16>(pack.level);
    zip.FilesToProcess = QStringLiteral("*");
    zip.ZipFileName = archive;
    zip.Recursive = pack.recursive;
    // The archive's own password is the same one, held only while packing.
    zip.Password = std::move(zipPassword);
    zip.progress = [this, &folder](const QString& text, double value) {
        m_console.progress(QLatin1String("packing ") + folder + QStringLiteral(" %1% ").arg(static_cast<int>(value)) +
                           text);
    };
    bool packed = false;
    const zqvcrypto::PlaintextProducer produce = [&](const zqvcrypto::PlaintextWriter& write) {
        zip.ZipStream = write;
        packed = zip.Add();
        zip.ZipStream = nullptr;
        return packed;
    };
    bool success = false;
    if (pack.selfExtracting) {
        zqvcrypto::CryptoOptions sfxOptions;
        sfxOptions.text = QStringLiteral("Cryptelle");
        sfxOptions.storedName = QFileInfo(archive).fileName();
        key->MakeSelfExtractingProduced(produce, destination, sfxOptions, success);
    } else {
        key->EncryptProduced(produce, destination, success);
    }
    m_console.clearProgress();
    cleanse(zip.Password);
    const CryptoError error = success ? CryptoError::None : key->lastError();
    int ignored = 0;
    key->Destroy(ignored);
    if (error == CryptoError::None)
        return ExitStatus::Success;
    if (!packed && error == CryptoError::ReadFailed) {
        m_console.message(folder + QLatin1String(": the folder could not be packed. ") + zip.lastError());
        return ExitStatus::IoError;
    }
    reportCipherFailure(Item{folder, destination}, error);
    return statusOf(error);
}

ExitStatus Commands::wipe(const QStringList& files)
{
    StatusKeeper status;
    for (const QString& file : files) {
        const std::string path = pathBytes(file);
        struct stat info
        {
        };
        if (::lstat(path.c_str(), &info) != 0) {
            m_console.message(file + QLatin1String(": there is no file of that name."));
            status.note(ExitStatus::Refused);
            continue;
        }
        if (S_ISDIR(info.st_mode) || S_ISLNK(info.st_mode) || !S_ISREG(info.st_mode)) {
            m_console.message(file + (S_ISDIR(info.st_mode) ? QLatin1String(": is a folder; only files are wiped.")
                                      : S_ISLNK(info.st_mode)
                                          ? QLatin1String(": is a symbolic link; name the file itself.")
                                          : QLatin1String(": is not a regular file.")));
            status.note(ExitStatus::Refused);
            continue;
        }
        const cryptelle::FileIdentity identity = cryptelle::FileIdentity::of(info);
        m_console.progress(QLatin1String("wiping ") + file);
        cryptelle::HeldFile held;
        WipeOutcome outcome = WipeOutcome::NotWiped;
        if (held.open(path, cryptelle::HeldFile::Access::ReadOrWrite))
            outcome = held.identity() == identity ? m_wiper->wipe(held) : WipeOutcome::Changed;
        else
            outcome = m_wiper->wipe(file, identity);
        if (outcome == WipeOutcome::Wiped)
            continue;
        m_console.message(file + QLatin1Char(' ') + describe(outcome) + QLatin1Char('.'));
        status.note(outcome == WipeOutcome::Changed ? ExitStatus::Refused : ExitStatus::IoError);
    }
    m_console.clearProgress();
    return status.status();
}

ExitStatus Commands::hash(const QStringList& files, const HashOptions& options)
{
    StatusKeeper status;
    const auto count = static_cast<std::size_t>(files.size());
    std::vector<FileHashes::Digests> digests(count);
    std::vector<QString> failures(count);
    std::vector<ExitStatus> outcomes(count, ExitStatus::Success);
    std::vector<QByteArray> md5Lines;
    forEachFile(
        count,
        workersFor(files, 0),
        [&](std::size_t index, std::size_t) {
            const QString& file = files[static_cast<qsizetype>(index)];
            const QByteArray path = QFile::encodeName(file);
            if (!zqvcore::isPlainFile(path)) {
                failures[index] = zqvcore::isFolder(path)
                                      ? QStringLiteral("is a folder.")
                                      : QStringLiteral("there is no file of that name that can be read.");
                outcomes[index] = ExitStatus::Refused;
                return;
            }
            if (!m_hashes->hash(file, options.md5, digests[index], failures[index]))
                outcomes[index] = ExitStatus::IoError;
        },
        [&](std::size_t index) {
            const QString& file = files[static_cast<qsizetype>(index)];
            if (outcomes[index] != ExitStatus::Success) {
                m_console.message(file + QLatin1String(": ") + failures[index]);
                status.note(outcomes[index]);
                return;
            }
            if (options.sha256)
                m_console.result(checksumLine(digests[index].sha256, QFile::encodeName(file)));
            if (options.md5) {
                const QByteArray line = checksumLine(digests[index].md5, QFile::encodeName(file));
                // With both, the MD5 lines follow all SHA-256 lines, so each block checks on its own.
                if (options.sha256)
                    md5Lines.push_back(line);
                else
                    m_console.result(line);
            }
        });
    for (const QByteArray& line : md5Lines)
        m_console.result(line);
    return status.status();
}

} // namespace cli
