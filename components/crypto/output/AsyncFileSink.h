#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "ZqvStream.h"

namespace zqvcrypto {

// Writes to a file on its own thread, so ciphering the next block overlaps
// with the kernel copying the last one, and starts writeback early so the
// final flush has little left to do. Memory: a few fixed buffers.
class AsyncFileSink : public ByteSink
{
public:
    explicit AsyncFileSink(int fd);
    ~AsyncFileSink() override;
    AsyncFileSink(const AsyncFileSink&) = delete;
    AsyncFileSink& operator=(const AsyncFileSink&) = delete;

    bool write(const unsigned char* data, std::size_t size) override;
    // Waits until everything handed over is written; false if any write failed.
    [[nodiscard]] bool finish();

private:
    static constexpr std::size_t kBufferSize = 8u << 20;
    static constexpr int kBuffers = 3;

    void run();
    bool handOver();

    int m_fd;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::vector<unsigned char>> m_free;
    std::deque<std::vector<unsigned char>> m_full;
    std::vector<unsigned char> m_current;
    bool m_failed = false;
    bool m_closing = false;
    std::thread m_writer;
};

} // namespace zqvcrypto
