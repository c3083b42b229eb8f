#include "AsyncFileSink.h"

#include <cstring>

#include <FileSteps.h>
#include <fcntl.h>

namespace zqvcrypto {

AsyncFileSink::AsyncFileSink(int fd)
    : m_fd(fd)
{
    for (int i = 0; i < kBuffers; ++i) {
        m_free.emplace_back();
        m_free.back().reserve(kBufferSize);
    }
    m_current = std::move(m_free.back());
    m_free.pop_back();
    m_writer = std::thread(&AsyncFileSink::run, this);
}

AsyncFileSink::~AsyncFileSink()
{
    static_cast<void>(finish());
}

bool AsyncFileSink::write(const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        const std::size_t room = kBufferSize - m_current.size();
        const std::size_t piece = std::min(room, size);
        m_current.insert(m_current.end(), data, data + piece);
        data += piece;
        size -= piece;
        if (m_current.size() == kBufferSize && !handOver())
            return false;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    return !m_failed;
}

bool AsyncFileSink::handOver()
{
    std::unique_lock<std::mutex> guard(m_lock);
    m_full.push_back(std::move(m_current));
    m_changed.notify_all();
    m_changed.wait(guard, [this] { return !m_free.empty() || m_failed; });
    if (m_failed)
        return false;
    m_current = std::move(m_free.back());
    m_free.pop_back();
    m_current.clear();
    return true;
}

bool AsyncFileSink::finish()
{
    {
        std::unique_lock<std::mutex> guard(m_lock);
        if (m_closing && !m_writer.joinable())
            return !m_failed;
        if (!m_current.empty())
            m_full.push_back(std::move(m_current));
        m_closing = true;
        m_changed.notify_all();
    }
    if (m_writer.joinable())
        m_writer.join();
    return !m_failed;
}

void AsyncFileSink::run()
{
    off_t written = 0;
    off_t flushedUpTo = 0;
    for (;;) {
        std::vector<unsigned char> buffer;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_changed.wait(guard, [this] { return !m_full.empty() || m_closing; });
            if (m_full.empty())
                return;
            buffer = std::move(m_full.front());
            m_full.pop_front();
        }
        const bool ok = cryptelle::writeAll(m_fd, buffer.data(), buffer.size());
        if (ok) {
            written += static_cast<off_t>(buffer.size());
            // Start writing the last part to disk now; no waiting here.
            ::sync_file_range(m_fd, flushedUpTo, written - flushedUpTo, SYNC_FILE_RANGE_WRITE);
            flushedUpTo = written;
        }
        std::lock_guard<std::mutex> guard(m_lock);
        if (!ok)
            m_failed = true;
        buffer.clear();
        m_free.push_back(std::move(buffer));
        m_changed.notify_all();
    }
}

} // namespace zqvcrypto
