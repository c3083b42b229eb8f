#include "PendingOutputs.h"

#include <algorithm>

#include <UniqueFd.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "SafeOutput.h"

namespace zqvcrypto {

struct PendingOutputs::Entry
{
    std::size_t tag = 0;
    std::unique_ptr<SafeOutput> output;
};

PendingOutputs::PendingOutputs() = default;
PendingOutputs::~PendingOutputs() = default;

void PendingOutputs::hold(std::size_t tag, std::unique_ptr<SafeOutput> output)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_entries.push_back(Entry{tag, std::move(output)});
}

std::size_t PendingOutputs::count() const
{
    const std::lock_guard<std::mutex> guard(m_lock);
    return m_entries.size();
}

void PendingOutputs::discard()
{
    std::vector<Entry> entries;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        entries.swap(m_entries);
    }
}

void PendingOutputs::commit(bool replaceExisting, const std::function<void(std::size_t, CryptoError)>& report)
{
    std::vector<Entry> entries;
    {
        const std::lock_guard<std::mutex> guard(m_lock);
        entries.swap(m_entries);
    }
    using Sync = cryptelle::UnnamedOutput::Sync;
    // One sync per file system makes every held file durable at once; where
    // that fails, each file is synced on its own as it is named.
    std::vector<dev_t> synced;
    std::vector<dev_t> failed;
    std::vector<Sync> syncs(entries.size(), Sync::FileAndFolder);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        struct stat info
        {
        };
        if (::fstat(entries[i].output->fd(), &info) != 0)
            continue;
        const auto known = [&](const std::vector<dev_t>& devices) {
            return std::find(devices.begin(), devices.end(), info.st_dev) != devices.end();
        };
        if (!known(synced) && !known(failed))
            (::syncfs(entries[i].output->fd()) == 0 ? synced : failed).push_back(info.st_dev);
        if (known(synced))
            syncs[i] = Sync::Neither;
    }
    // Each folder that got a name is synced once, after all its names.
    struct Folder
    {
        dev_t device;
        ino_t inode;
        cryptelle::UniqueFd fd;
        std::vector<std::size_t> entries;
    };
    std::vector<Folder> folders;
    std::vector<CryptoError> results(entries.size(), CryptoError::None);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        struct stat info
        {
        };
        const int folder = entries[i].output->folderFd();
        const bool knownFolder = syncs[i] == Sync::Neither && folder >= 0 && ::fstat(folder, &info) == 0;
        if (syncs[i] == Sync::Neither && !knownFolder)
            syncs[i] = Sync::FileAndFolder;
        std::size_t slot = folders.size();
        if (knownFolder) {
            const auto found = std::find_if(folders.begin(), folders.end(), [&](const Folder& f) {
                return f.device == info.st_dev && f.inode == info.st_ino;
            });
            if (found != folders.end()) {
                slot = static_cast<std::size_t>(found - folders.begin());
            } else {
                cryptelle::UniqueFd copy(::fcntl(folder, F_DUPFD_CLOEXEC, 0));
                if (copy.get() >= 0) {
                    folders.push_back(Folder{info.st_dev, info.st_ino, std::move(copy), {}});
                } else {
                    syncs[i] = Sync::FileAndFolder;
                }
            }
        }
        results[i] = entries[i].output->commit(replaceExisting, syncs[i]);
        if (results[i] == CryptoError::None && syncs[i] == Sync::Neither && slot < folders.size())
            folders[slot].entries.push_back(i);
        entries[i].output.reset();
    }
    for (const Folder& folder : folders) {
        if (::fsync(folder.fd.get()) == 0)
            continue;
        for (const std::size_t i : folder.entries)
            results[i] = CryptoError::WriteFailed;
    }
    for (std::size_t i = 0; i < entries.size(); ++i)
        report(entries[i].tag, results[i]);
}

} // namespace zqvcrypto
