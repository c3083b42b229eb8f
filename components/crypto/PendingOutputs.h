#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include <NonCopyable.h>

#include "CryptoError.h"

namespace zqvcrypto {

class CryptoKey;
class SafeOutput;

// Our addition, for many small files: new files that are complete but neither
// synced nor named yet. commit() makes them all durable with one sync per file
// system, then names each and syncs each folder once, so a file still gets its
// name only once its content is on the disk, at a fraction of the cost of
// syncing file by file. Dropped, it leaves nothing behind. Safe to fill from
// several threads.
class PendingOutputs : private cryptelle::NonCopyable
{
public:
    PendingOutputs();
    ~PendingOutputs();

    [[nodiscard]] std::size_t count() const;
    // `report` gets each held file's tag with its outcome.
    void commit(bool replaceExisting, const std::function<void(std::size_t tag, CryptoError error)>& report);
    void discard();

private:
    friend class CryptoKey;
    void hold(std::size_t tag, std::unique_ptr<SafeOutput> output);

    struct Entry;
    mutable std::mutex m_lock;
    std::vector<Entry> m_entries;
};

} // namespace zqvcrypto
