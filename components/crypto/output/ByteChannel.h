#pragma once

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>

#include "ZqvStream.h"

namespace zqvcrypto {

// Carries bytes from a producing thread to the cipher, through a fixed ring
// of memory: what is made is encrypted as it comes, and never has to sit in
// a file. Plaintext passes through, so the ring is wiped when released.
class ByteChannel : public ByteSource
{
public:
    explicit ByteChannel(std::size_t capacity = std::size_t{8} << 20);
    ~ByteChannel() override;
    ByteChannel(const ByteChannel&) = delete;
    ByteChannel& operator=(const ByteChannel&) = delete;

    // Producer: waits for room; false once the reader has gone.
    [[nodiscard]] bool write(const unsigned char* data, std::size_t size);
    // Producer: no more bytes. Unless `complete`, the reader gets an error
    // instead of the end, so a half-made stream is never taken for a whole one.
    void close(bool complete);

    // Reader: waits for bytes; 0 at a complete end, -1 at an incomplete one.
    std::int64_t read(unsigned char* buffer, std::size_t size) override;
    // Reader: takes nothing more; the producer's writes fail from now on.
    void abandon();

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    // Not zero-filled, and wiped only as far as it was used, so a small
    // stream costs no more memory than it needs.
    std::unique_ptr<unsigned char[]> m_ring;
    std::size_t m_capacity;
    std::size_t m_touched = 0;
    std::size_t m_start = 0; // of the bytes waiting to be read
    std::size_t m_count = 0;
    bool m_closed = false;
    bool m_complete = false;
    bool m_abandoned = false;
};

} // namespace zqvcrypto
