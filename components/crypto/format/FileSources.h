#pragma once

#include <algorithm>
#include <cerrno>

#include <unistd.h>

#include "ZqvStream.h"

namespace zqvcrypto {

// Reads a descriptor from its current position.
class FdSource : public ByteSource
{
public:
    explicit FdSource(int fd)
        : m_fd(fd)
    {
    }
    std::int64_t read(unsigned char* buffer, std::size_t size) override
    {
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, size);
            if (n >= 0 || errno != EINTR)
                return n;
        }
    }

private:
    int m_fd;
};

// A window of a file, read with pread so the descriptor's position is left alone.
class RangeSource : public ByteSource
{
public:
    RangeSource(int fd, std::uint64_t offset, std::uint64_t size)
        : m_fd(fd)
        , m_offset(offset)
        , m_end(offset + size)
    {
    }
    std::int64_t read(unsigned char* buffer, std::size_t size) override
    {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(size, m_end - m_offset));
        if (n == 0)
            return 0;
        for (;;) {
            const ssize_t got = ::pread(m_fd, buffer, n, static_cast<off_t>(m_offset));
            if (got < 0 && errno == EINTR)
                continue;
            if (got > 0)
                m_offset += static_cast<std::uint64_t>(got);
            return got;
        }
    }

private:
    int m_fd;
    std::uint64_t m_offset;
    std::uint64_t m_end;
};

} // namespace zqvcrypto
