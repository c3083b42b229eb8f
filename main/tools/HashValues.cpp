#include "HashValues.h"

#include <QFileInfo>
#include <condition_variable>
#include <mutex>
#include <span>
#include <thread>

#include "Crypto.h"
#include "Md5Module.h"

namespace zqvtools {
namespace {

// Runs the MD5 digest on its own thread, one block at a time, so it overlaps
// with reading and SHA-256.
class Md5Worker
{
public:
    explicit Md5Worker(Md5Library& library)
        : m_digest(library)
        , m_thread([this] { run(); })
    {
    }

    ~Md5Worker()
    {
        {
            const std::lock_guard<std::mutex> guard(m_lock);
            m_stop = true;
        }
        m_changed.notify_all();
        m_thread.join();
    }

    Md5Worker(const Md5Worker&) = delete;
    Md5Worker& operator=(const Md5Worker&) = delete;

    // Waits for the previous block, then hands over this one.
    void submit(std::span<const unsigned char> block)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return m_pending.empty(); });
        m_pending = block;
        lock.unlock();
        m_changed.notify_all();
    }

    void waitIdle()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait(lock, [this] { return m_pending.empty(); });
    }

    [[nodiscard]] QByteArray finish()
    {
        waitIdle();
        return m_digest.finish();
    }

private:
    void run()
    {
        std::unique_lock<std::mutex> lock(m_lock);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stop || !m_pending.empty(); });
            if (m_pending.empty())
                return;
            const std::span<const unsigned char> block = m_pending;
            lock.unlock();
            m_digest.add(block);
            lock.lock();
            m_pending = {};
            m_changed.notify_all();
        }
    }

    Md5Library::Digest m_digest;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::span<const unsigned char> m_pending;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace

QString shaErrorText()
{
    return QStringLiteral("Error obtaining SHA hash value.");
}

QString md5ErrorText()
{
    return QStringLiteral("Error obtaining MD5 hash value.");
}

HashValues computeHashValues(const QString& path,
                             const zqvcrypto::Crypto& control,
                             Md5Library& md5,
                             const std::function<void(int)>& progress,
                             const std::atomic<bool>& cancel)
{
    HashValues values;
    const qint64 total = QFileInfo(path).size();
    qint64 done = 0;
    int shown = kUnknownProgress - 1; // nothing reported yet
    bool ok = false;
    QByteArray md5Digest;
    {
        const bool haveMd5 = md5.load();
        Md5Worker worker(md5);
        std::unique_ptr<zqvcrypto::CryptoHash> hash = control.CreateHash();
        hash->setBlockHandler([&](std::span<const unsigned char> block) {
            if (block.empty()) {
                worker.waitIdle();
                return true;
            }
            if (haveMd5)
                worker.submit(block);
            done += static_cast<qint64>(block.size());
            // A size of 0 for a file with content (/proc), or less than was
            // read already, says nothing about how much is left.
            const int percent = total > 0 && done <= total ? static_cast<int>(done * 100 / total) : kUnknownProgress;
            if (percent != shown && progress) {
                shown = percent;
                progress(percent);
            }
            return !cancel.load();
        });
        hash->HashFile(path, ok);
        values.cancelled = cancel.load();
        values.sha = ok ? hash->GetValue().GetAsText(zqvcrypto::CryptoData::kFormPrintable) : shaErrorText();
        // Only a digest over the whole file counts; a failed read leaves MD5 without one too.
        if (ok && haveMd5)
            md5Digest = worker.finish();
    }
    values.md5 = md5Digest.size() == 16 ? hexText(md5Digest) : md5ErrorText();
    return values;
}

} // namespace zqvtools
