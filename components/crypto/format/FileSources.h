#pragma once

#include <algorithm>
#include <cerrno>

#include <unistd.h>

#include "ZqvStream.h"

namespace zqvcrypto {

// Reads a descriptor from its current position; `size`, when given, is what
// is expected from there on.
class FdSource : public ByteSource
{
public:
    explicit FdSource(int fd, std::optional<std::uint64_t> size = std::nullopt)
        : m_fd(fd)
        , m_size(size)
    {
    }
    std::int64_t read(unsigned char* buffer, std::size_t size) override
    {
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, size);
            if (n > 0)
                m_read += static_cast<std::uint64_t>(n);
            if (n >= 0 || errno != EINTR)
                return n;
        }
    }
    [[nodiscard]] std::optional<std::uint64_t> remaining() const override
    {
        if (!m_size)
            return std::nullopt;
        return *m_size > m_read ? *m_size - m_read : 0;
    }

private:
    int m_fd;
    std::optional<std::uint64_t> m_size;
    std::uint64_t m_read = 0;
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
