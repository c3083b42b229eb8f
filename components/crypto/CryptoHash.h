#pragma once

#include <QString>
#include <array>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "CryptoData.h"

namespace zqvcrypto {

// SHA-256 of a file, read in pieces so memory stays flat.
class CryptoHash
{
public:
    // Sees every block HashFile reads, in order, and then an empty block when
    // the reading ends (whether it succeeded or not). A block stays readable
    // until the handler's next call returns, so another digest can work on it
    // in parallel while the next block is read; the final empty call is where
    // such work must be finished. Returning false stops the reading, and
    // HashFile fails.
    using BlockHandler = std::function<bool(std::span<const unsigned char> block)>;

    void setBlockHandler(BlockHandler handler) { m_handler = std::move(handler); }

    void HashFile(const QString& path, bool& success);
    // Our addition: the path as the bytes the system takes.
    void HashPath(const std::string& path, bool& success);
    [[nodiscard]] CryptoData GetValue() const { return m_value; }

private:
    using Buffers = std::array<std::vector<unsigned char>, 2>;
    [[nodiscard]] bool hashOpenFile(int fd, Buffers& buffers);

    CryptoData m_value;
    BlockHandler m_handler;
};

} // namespace zqvcrypto
