#include "ByteChannel.h"

#include <algorithm>
#include <cstring>

#include <openssl/crypto.h>

namespace zqvcrypto {

ByteChannel::ByteChannel(std::size_t capacity)
    : m_ring(new unsigned char[std::max<std::size_t>(capacity, 1)])
    , m_capacity(std::max<std::size_t>(capacity, 1))
{
}

ByteChannel::~ByteChannel()
{
    OPENSSL_cleanse(m_ring.get(), m_touched);
}

bool ByteChannel::write(const unsigned char* data, std::size_t size)
{
    std::unique_lock<std::mutex> guard(m_lock);
    while (size > 0) {
        m_changed.wait(guard, [this] { return m_abandoned || m_count < m_capacity; });
        if (m_abandoned || m_closed)
            return false;
        // Into the free part of the ring, at most up to its end per step.
        const std::size_t end = (m_start + m_count) % m_capacity;
        const std::size_t free = m_capacity - m_count;
        const std::size_t n = std::min({size, free, m_capacity - end});
        std::memcpy(m_ring.get() + end, data, n);
        m_touched = std::max(m_touched, end + n);
        m_count += n;
        data += n;
        size -= n;
        m_changed.notify_all();
    }
    return true;
}

void ByteChannel::close(bool complete)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_closed)
        return;
    m_closed = true;
    m_complete = complete;
    m_changed.notify_all();
}

std::int64_t ByteChannel::read(unsigned char* buffer, std::size_t size)
{
    if (size == 0)
        return 0;
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait(guard, [this] { return m_count > 0 || m_closed || m_abandoned; });
    if (m_count == 0)
        return m_closed && m_complete && !m_abandoned ? 0 : -1;
    std::size_t done = 0;
    while (done < size && m_count > 0) {
        const std::size_t n = std::min({size - done, m_count, m_capacity - m_start});
        std::memcpy(buffer + done, m_ring.get() + m_start, n);
        m_start = (m_start + n) % m_capacity;
        m_count -= n;
        done += n;
    }
    m_changed.notify_all();
    return static_cast<std::int64_t>(done);
}

void ByteChannel::abandon()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    m_abandoned = true;
    m_changed.notify_all();
}

} // namespace zqvcrypto
