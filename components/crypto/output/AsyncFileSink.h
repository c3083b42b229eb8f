#pragma once

#include <array>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "ZqvStream.h"

namespace zqvcrypto {

// File input and output on their own threads, so the disk works while the
// cipher does. Reads go around the page cache (O_DIRECT) where the file
// system allows it, and start ahead, during the key derivation. Writes go
// through the page cache in pieces of 512 KiB, with writeback started every
// few megabytes: measured on a quiet machine, that beat direct writes of
// 4 MiB by a quarter of the whole run (the virtual disk takes many
// writeback requests at once, one direct write at a time), and pieces of
// 1 MiB or more cost many times the kernel time of smaller ones there.
// Memory: a fixed ring of blocks each, whatever the file size.

// Writes everything it is given to a descriptor, from its current position.
// The cipher can fill the sink's blocks in place (space/commit), so nothing is
// copied in user space.
class AsyncFileSink : public ByteSink
{
public:
    static constexpr std::size_t kPieceSize = 4u << 20;
    static constexpr std::size_t kPieces = 4;

    // With `digest`, a SHA-256 of everything written is kept, computed on the
    // writing thread.
    explicit AsyncFileSink(int fd, bool digest = false);
    ~AsyncFileSink() override;
    AsyncFileSink(const AsyncFileSink&) = delete;
    AsyncFileSink& operator=(const AsyncFileSink&) = delete;

    bool write(const unsigned char* data, std::size_t size) override;
    unsigned char* space(std::size_t minimum) override;
    bool commit(std::size_t size) override;

    // Waits until everything handed over is written and gives the descriptor
    // its flags back; false if any write failed.
    [[nodiscard]] bool finish();
    // The SHA-256 of everything written; valid after finish().
    [[nodiscard]] const std::array<unsigned char, 32>& digest() const { return m_digest; }
    [[nodiscard]] std::uint64_t written() const { return m_written; }

private:
    struct Piece
    {
        unsigned char* data = nullptr;
        std::size_t size = 0;
    };

    void run();
    bool handOver();
    bool writePiece(const Piece& piece);

    int m_fd;
    bool m_hashing;
    std::vector<unsigned char*> m_memory;
    std::vector<std::size_t> m_touched; // per block of m_memory: how far it was filled
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Piece> m_free;
    std::deque<Piece> m_full;
    Piece m_current;
    bool m_failed = false;
    bool m_closing = false;
    std::uint64_t m_written = 0;
    std::array<unsigned char, 32> m_digest{};
    std::thread m_writer;
};

// Reads a whole file from its start, ahead of the reader, on its own thread.
// Reading starts at once, so it overlaps with the key derivation.
class AsyncFileSource : public ByteSource
{
public:
    static constexpr std::size_t kBlockSize = 4u << 20;
    static constexpr std::size_t kBlocks = 4;

    enum class From {
        // Around the page cache, unless the file is mostly in memory already
        // (a file just written, which had better not be forced to the disk
        // only to be read).
        Cheapest,
        // Always from the storage where the file system allows it: to prove
        // what the disk holds.
        Storage,
    };

    explicit AsyncFileSource(int fd, From from = From::Cheapest);
    ~AsyncFileSource() override;
    AsyncFileSource(const AsyncFileSource&) = delete;
    AsyncFileSource& operator=(const AsyncFileSource&) = delete;

    std::int64_t read(unsigned char* buffer, std::size_t size) override;

private:
    struct Block
    {
        unsigned char* data = nullptr;
        std::size_t size = 0;
        bool failed = false;
    };

    void run();

    int m_fd;
    int m_flags;
    bool m_direct;
    std::vector<unsigned char*> m_memory;
    std::vector<std::size_t> m_touched; // per block of m_memory: how far it was filled; the reading thread's
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<unsigned char*> m_free;
    std::deque<Block> m_ready;
    Block m_current;
    std::size_t m_used = 0;
    bool m_ended = false; // the reading thread is done
    bool m_stopping = false;
    bool m_failed = false;
    std::thread m_reader;
};

} // namespace zqvcrypto
