#include "Commands.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <atomic>
#include <set>
#include <vector>

#include <FileIdentity.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "FileHashes.h"
#include "FolderPack.h"
#include "ParallelFiles.h"
#include "PathRules.h"
#include "PathText.h"
#include "ShredLibrary.h"

namespace cli {
namespace {

using zqvcrypto::CryptoError;

const std::string kEncryptedExtension = ".zqv";

bool endsWith(const std::string& text, const std::string& end)
{
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// Small files are worth writing many at once; large ones are not, as each
// already keeps the disk and a core busy.
std::size_t workersFor(const std::vector<std::string>& files, int asked)
{
    if (asked > 0)
        return static_cast<std::size_t>(asked);
    if (files.size() < 2)
        return 1;
    std::uint64_t total = 0;
    for (const std::string& file : files) {
        struct stat info
        {
        };
        if (::stat(file.c_str(), &info) == 0)
            total += static_cast<std::uint64_t>(info.st_size);
    }
    const std::uint64_t average = total / files.size();
    return average < 4 * 1024 * 1024 ? std::min<std::size_t>(32, files.size()) : 2;
}

// How many new files wait, complete but unnamed, for one common sync. Each
// holds up to three descriptors (the file, its folder, a held source), so the
// limit on open files is raised as far as allowed and the batch sized below it.
std::size_t batchSize()
{
    // Enough to share one sync among many files, few enough that a long call
    // names its files as it goes and holds little memory.
    constexpr std::size_t kMaxBatch = 256;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const rlim_t wanted = limit.rlim_max == RLIM_INFINITY ? 65536 : std::min<rlim_t>(limit.rlim_max, 65536);
        if (wanted > limit.rlim_cur) {
            rlimit raised = limit;
            raised.rlim_cur = wanted;
            if (::setrlimit(RLIMIT_NOFILE, &raised) == 0)
                limit = raised;
        }
        return std::clamp<std::size_t>((static_cast<std::size_t>(limit.rlim_cur) - 64) / 4, 8, kMaxBatch);
    }
    return kMaxBatch;
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

std::string folderOf(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    return trimmed;
}

using zqvwipe::WipeResult;

// What became of a source, in words, for a message that names it.
QString describe(WipeResult result)
{
    switch (result) {
    case WipeResult::Wiped:
        return QStringLiteral("wiped");
    case WipeResult::RemovedOtherLinks:
    case WipeResult::RemovedNotInPlace:
        return QStringLiteral("removed, but its content could not be overwritten where it lies (other hard links, "
                              "or a file system that keeps copies)");
    case WipeResult::NotWiped:
        return QStringLiteral("could not be wiped and is still on the disk");
    case WipeResult::Gone:
    case WipeResult::Changed:
        return QStringLiteral("was not wiped, because it was changed or replaced while it was being worked on");
    case WipeResult::LibraryMissing:
        return QStringLiteral("was not wiped, because the wipe library (libzqvdod.so) is missing");
    }
    return {};
}

ExitStatus wipeStatus(WipeResult result)
{
    return result == WipeResult::Changed || result == WipeResult::Gone ? ExitStatus::Refused : ExitStatus::IoError;
}

QByteArray asBytes(const std::string& text)
{
    return QByteArray(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

Commands::Commands(Console& console, zqvcrypto::Crypto& crypto, PasswordReader passwords)
    : m_console(console)
    , m_crypto(crypto)
    , m_passwords(passwords)
    , m_wiper(std::make_unique<zqvwipe::ShredLibrary>(zqvwipe::defaultShredLibraryPath()))
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

bool Commands::accept(
    Cipher cipher, const std::string& file, const CallOptions& options, Item& item, StatusKeeper& status)
{
    const auto refuse = [&](const QString& text) {
        m_console.message(text);
        status.note(ExitStatus::Refused);
        return false;
    };
    item.source = file;
    if (!zqvcore::isPlainFile(asBytes(file))) {
        if (zqvcore::isFolder(asBytes(file)))
            return refuse(shown(file) + QLatin1String(": is a folder; only files are worked on here") +
                          (cipher == Cipher::Encrypt ? QLatin1String(" (\"cryptelle pack\" encrypts a folder).")
                                                     : QLatin1String(".")));
        return refuse(shown(file) + QLatin1String(": there is no file of that name that can be read."));
    }
    if (cipher == Cipher::Verify)
        return true;
    if (!options.output.empty()) {
        item.destination = options.output;
    } else if (cipher == Cipher::Encrypt) {
        if (endsWith(file, kEncryptedExtension))
            return refuse(shown(file) +
                          QLatin1String(": is already an encrypted file (.zqv); give -o to encrypt it again."));
        item.destination = file + kEncryptedExtension;
    } else if (cipher == Cipher::Decrypt) {
        if (!endsWith(file, kEncryptedExtension) || file.size() == kEncryptedExtension.size() ||
            file[file.size() - kEncryptedExtension.size() - 1] == '/')
            return refuse(
                shown(file) +
                QLatin1String(": does not end in .zqv, so the decrypted file has no name; give one with -o."));
        item.destination = file.substr(0, file.size() - kEncryptedExtension.size());
    } else {
        item.destination = file + ".exe";
    }
    if (!options.force && exists(item.destination))
        return refuse(shown(item.destination) +
                      QLatin1String(": already exists; nothing was written (--force replaces it)."));
    return true;
}

void Commands::reportCipherFailure(const Item& item, CryptoError error)
{
    QString text = shown(concernsOutput(error) && !item.destination.empty() ? item.destination : item.source) +
                   QLatin1String(": ") + zqvcrypto::describe(error);
    if (error == CryptoError::DestinationExists)
        text += QLatin1String(" Nothing was written (--force replaces it).");
    m_console.message(text);
}

ExitStatus Commands::cipherFiles(Cipher cipher, const Paths& files, const CallOptions& options)
{
    StatusKeeper status;
    std::vector<Item> items;
    std::set<std::string> outputs;
    std::set<std::string> inputs;
    for (const std::string& file : files)
        inputs.insert(absoluteClean(file));
    for (const std::string& file : files) {
        Item item;
        if (!accept(cipher, file, options, item, status))
            continue;
        if (!item.destination.empty()) {
            const std::string canonical = absoluteClean(item.destination);
            // With --force, one file's output would replace another's input.
            if (inputs.count(canonical) != 0) {
                m_console.message(shown(item.destination) +
                                  QLatin1String(": is also one of the files of this call; nothing was written."));
                status.note(ExitStatus::Refused);
                continue;
            }
            if (outputs.count(canonical) != 0) {
                m_console.message(shown(file) + QLatin1String(": is named twice in this call; it was worked on once."));
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
        const QString name = shown(items.front().source);
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

    const std::size_t workers = workersFor(files, options.jobs);
    std::vector<std::unique_ptr<zqvcrypto::CryptoKey>> keys;
    keys.push_back(std::move(key));
    for (std::size_t w = 1; w < std::min(workers, items.size()); ++w)
        keys.push_back(keys.front()->twin());

    struct Outcome
    {
        CryptoError error = CryptoError::None;
        bool heldFailed = false;
        bool wiped = false;
        WipeResult wipe = WipeResult::NotWiped;
        std::unique_ptr<cryptelle::HeldFile> held;
    };
    std::vector<Outcome> outcomes(items.size());
    std::atomic<std::size_t> finished{0};
    // Many new files are made durable together: each waits complete and
    // unnamed until one sync of the file system covers its whole batch, and
    // only then gets its name. One file is synced and named on its own.
    const bool batched = !single && cipher != Cipher::Verify && cipher != Cipher::SelfExtracting;
    zqvcrypto::PendingOutputs pending;
    const std::size_t batch = batched ? batchSize() : items.size();
    const auto work = [&](std::size_t index, std::size_t worker) {
        const Item& item = items[index];
        Outcome& outcome = outcomes[index];
        zqvcrypto::CryptoKey& fileKey = *keys[worker];
        // Held from before it is read, so that only this very file, unchanged, is wiped afterwards.
        if (options.wipeSource) {
            outcome.held = std::make_unique<cryptelle::HeldFile>();
            if (!outcome.held->open(item.source, cryptelle::HeldFile::Access::ReadOrWrite)) {
                outcome.error = CryptoError::ReadFailed;
                outcome.heldFailed = true;
                outcome.held.reset();
                return;
            }
        }
        fileKey.holdOutputsIn(batched ? &pending : nullptr, index);
        bool success = false;
        switch (cipher) {
        case Cipher::Encrypt:
            fileKey.EncryptPath(item.source, item.destination, success);
            break;
        case Cipher::Decrypt:
            fileKey.DecryptPath(item.source, item.destination, success);
            break;
        case Cipher::Verify:
            fileKey.VerifyPath(item.source, success);
            break;
        case Cipher::SelfExtracting: {
            zqvcrypto::CryptoOptions sfxOptions;
            sfxOptions.text = QStringLiteral("Cryptelle");
            fileKey.MakeSelfExtractingPath(item.source, item.destination, sfxOptions, success);
            break;
        }
        }
        fileKey.holdOutputsIn(nullptr, 0);
        outcome.error = success ? CryptoError::None : fileKey.lastError();
        const std::size_t count = finished.fetch_add(1) + 1;
        if (!single)
            m_console.progress(action + QStringLiteral(" %1/%2 ").arg(count).arg(items.size()) + shown(item.source));
    };
    const auto report = [&](std::size_t index) {
        const Item& item = items[index];
        Outcome& outcome = outcomes[index];
        if (cipher == Cipher::Verify) {
            const QByteArray name = shown(item.source).toUtf8();
            m_console.result(outcome.error == CryptoError::None
                                 ? name + ": OK"
                                 : name + ": FAILED (" + zqvcrypto::describe(outcome.error).toUtf8() + ')');
            status.note(statusOf(outcome.error));
            return;
        }
        if (outcome.heldFailed) {
            m_console.message(shown(item.source) +
                              QLatin1String(": the file could not be opened; nothing was written."));
            status.note(ExitStatus::IoError);
            return;
        }
        if (outcome.error != CryptoError::None) {
            reportCipherFailure(item, outcome.error);
            status.note(statusOf(outcome.error));
            return;
        }
        if (options.wipeSource && outcome.held) {
            // Only now is the new file on the disk under its name.
            outcome.wipe = wipeHeld(*outcome.held);
            outcome.held.reset();
            if (outcome.wipe != WipeResult::Wiped) {
                m_console.message(shown(item.destination) + QLatin1String(" was written and checked, but ") +
                                  shown(item.source) + QLatin1Char(' ') + describe(outcome.wipe) + QLatin1Char('.'));
                status.note(wipeStatus(outcome.wipe));
            }
        }
    };
    for (std::size_t first = 0; first < items.size(); first += batch) {
        const std::size_t count = std::min(batch, items.size() - first);
        forEachFile(
            count,
            keys.size(),
            [&](std::size_t index, std::size_t worker) { work(first + index, worker); },
            [&](std::size_t index) {
                if (!batched)
                    report(first + index);
            });
        if (!batched)
            continue;
        m_console.progress(action + QStringLiteral(" %1/%2: syncing").arg(first + count).arg(items.size()));
        pending.commit(options.force, [&](std::size_t index, CryptoError error) { outcomes[index].error = error; });
        for (std::size_t index = first; index < first + count; ++index)
            report(index);
    }
    m_console.clearProgress();
    for (auto& k : keys) {
        int ignored = 0;
        k->Destroy(ignored);
    }
    return status.status();
}

ExitStatus Commands::encrypt(const Paths& files, const CallOptions& options)
{
    return cipherFiles(Cipher::Encrypt, files, options);
}

ExitStatus Commands::decrypt(const Paths& files, const CallOptions& options)
{
    return cipherFiles(Cipher::Decrypt, files, options);
}

ExitStatus Commands::verify(const Paths& files, const CallOptions& options)
{
    return cipherFiles(Cipher::Verify, files, options);
}

ExitStatus Commands::sfx(const std::string& file, const CallOptions& options)
{
    return cipherFiles(Cipher::SelfExtracting, Paths{file}, options);
}

ExitStatus Commands::pack(const std::string& folderPath, const CallOptions& options, const PackOptions& pack)
{
    StatusKeeper status;
    const std::string folderBytes = folderOf(folderPath);
    if (!zqvcore::isFolder(asBytes(folderBytes))) {
        m_console.message(shown(folderBytes) + QLatin1String(": there is no folder of that name."));
        return ExitStatus::Refused;
    }
    const QString folder = QFile::decodeName(asBytes(folderBytes));
    const std::string destinationBytes = !options.output.empty()
                                             ? options.output
                                             : (folderBytes == "/" ? std::string("/root") : folderBytes) +
                                                   (pack.selfExtracting ? ".zip.exe" : ".zip.zqv");
    const QString destination = QFile::decodeName(asBytes(destinationBytes));
    // The archive component takes names as text: a name that text cannot
    // carry unchanged would be packed from, or written to, another name.
    if (QFile::encodeName(folder).toStdString() != folderBytes ||
        QFile::encodeName(destination).toStdString() != destinationBytes) {
        m_console.message(
            shown(QFile::encodeName(folder).toStdString() != folderBytes ? folderBytes : destinationBytes) +
            QLatin1String(": folders are packed only under names that are valid UTF-8; rename it or "
                          "give another name with -o. Nothing was written."));
        return ExitStatus::Refused;
    }
    if (!options.force && exists(destinationBytes)) {
        m_console.message(shown(destinationBytes) +
                          QLatin1String(": already exists; nothing was written (--force replaces it)."));
        return ExitStatus::Refused;
    }
    QString zipPassword;
    std::unique_ptr<zqvcrypto::CryptoKey> key =
        keyFromPassword(true, status, pack.zipPassword ? &zipPassword : nullptr);
    if (!key)
        return status.status();
    key->setReplaceExisting(options.force);

    zqvpack::FolderJob job;
    job.folder = folder;
    job.archive = (folder == QLatin1String("/") ? QStringLiteral("/root") : folder) + QLatin1String(".zip");
    job.level = static_cast<qint16>(pack.level);
    job.recursive = pack.recursive;
    // The archive's own password is the same one, held only while packing.
    job.innerPassword = pack.zipPassword;
    job.selfExtracting = pack.selfExtracting;
    job.output = destination;
    ziplight::ZIPLight zip;
    const QString folderShown = shown(folderBytes);
    zip.progress = [this, &folderShown](const QString& text, double value) {
        m_console.progress(QLatin1String("packing ") + folderShown +
                           QStringLiteral(" %1% ").arg(static_cast<int>(value)) + text);
    };
    const zqvpack::PackRun run = zqvpack::packEncrypted(*key, zip, job, zipPassword);
    const bool packed = run.packed;
    const bool success = run.written;
    m_console.clearProgress();
    cleanse(zipPassword);
    cleanse(zip.Password);
    const CryptoError error = success ? CryptoError::None : key->lastError();
    int ignored = 0;
    key->Destroy(ignored);
    if (error == CryptoError::None)
        return ExitStatus::Success;
    if (!packed && error == CryptoError::ReadFailed) {
        m_console.message(folderShown + QLatin1String(": the folder could not be packed. ") + zip.lastError());
        return ExitStatus::IoError;
    }
    reportCipherFailure(Item{folderBytes, destinationBytes}, error);
    return statusOf(error);
}

WipeResult Commands::wipeHeld(cryptelle::HeldFile& held)
{
    if (!held.writable()) {
        // Only the library may wipe a file we cannot write: by its name, once
        // ours is closed (it wipes only a file no one else has open).
        if (held.check() != cryptelle::IdentityCheck::Unchanged)
            return WipeResult::Changed;
        const cryptelle::FileIdentity identity = held.identity();
        const std::string path = held.path();
        held.close();
        return m_wiper->wipeUnheld(path, identity);
    }
    // Through the descriptor held since the operation began, so a file put
    // in its place meanwhile is never touched.
    return m_wiper->wipe(zqvwipe::targetOf(held));
}

ExitStatus Commands::wipe(const Paths& files)
{
    StatusKeeper status;
    for (const std::string& path : files) {
        struct stat info
        {
        };
        if (::lstat(path.c_str(), &info) != 0) {
            m_console.message(shown(path) + QLatin1String(": there is no file of that name."));
            status.note(ExitStatus::Refused);
            continue;
        }
        if (S_ISDIR(info.st_mode) || S_ISLNK(info.st_mode) || !S_ISREG(info.st_mode)) {
            m_console.message(shown(path) +
                              (S_ISDIR(info.st_mode)   ? QLatin1String(": is a folder; only files are wiped.")
                               : S_ISLNK(info.st_mode) ? QLatin1String(": is a symbolic link; name the file itself.")
                                                       : QLatin1String(": is not a regular file.")));
            status.note(ExitStatus::Refused);
            continue;
        }
        const cryptelle::FileIdentity identity = cryptelle::FileIdentity::of(info);
        m_console.progress(QLatin1String("wiping ") + shown(path));
        cryptelle::HeldFile held;
        WipeResult outcome = WipeResult::NotWiped;
        if (held.open(path, cryptelle::HeldFile::Access::ReadOrWrite))
            outcome = held.identity() == identity ? wipeHeld(held) : WipeResult::Changed;
        else
            outcome = m_wiper->wipeUnheld(path, identity);
        if (outcome == WipeResult::Wiped)
            continue;
        m_console.message(shown(path) + QLatin1Char(' ') + describe(outcome) + QLatin1Char('.'));
        status.note(wipeStatus(outcome));
    }
    m_console.clearProgress();
    return status.status();
}

ExitStatus Commands::hash(const Paths& files, const HashOptions& options)
{
    StatusKeeper status;
    const std::size_t count = files.size();
    std::vector<FileHashes::Digests> digests(count);
    std::vector<QString> failures(count);
    std::vector<ExitStatus> outcomes(count, ExitStatus::Success);
    std::vector<QByteArray> md5Lines;
    forEachFile(
        count,
        workersFor(files, 0),
        [&](std::size_t index, std::size_t) {
            const std::string& file = files[index];
            if (!zqvcore::isPlainFile(asBytes(file))) {
                failures[index] = zqvcore::isFolder(asBytes(file))
                                      ? QStringLiteral("is a folder.")
                                      : QStringLiteral("there is no file of that name that can be read.");
                outcomes[index] = ExitStatus::Refused;
                return;
            }
            if (!m_hashes->hash(file, options.md5, digests[index], failures[index]))
                outcomes[index] = ExitStatus::IoError;
        },
        [&](std::size_t index) {
            const std::string& file = files[index];
            if (outcomes[index] != ExitStatus::Success) {
                m_console.message(shown(file) + QLatin1String(": ") + failures[index]);
                status.note(outcomes[index]);
                return;
            }
            // The name exactly as given: the checkers open it byte for byte.
            if (options.sha256)
                m_console.result(checksumLine(digests[index].sha256, asBytes(file)));
            if (options.md5) {
                const QByteArray line = checksumLine(digests[index].md5, asBytes(file));
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
