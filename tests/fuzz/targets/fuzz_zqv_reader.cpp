// Feeds arbitrary bytes to the ".zqv" header and stream reader.
#include <algorithm>
#include <cstring>

#include "FuzzCommon.h"
#include "ZqvStream.h"

namespace {

class Source : public zqvcrypto::ByteSource
{
public:
    Source(const unsigned char* data, std::size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    std::int64_t read(unsigned char* buffer, std::size_t size) override
    {
        // Odd pieces, so refilling across chunk borders is exercised too.
        const std::size_t n = std::min({size, m_size - m_offset, std::size_t{4099}});
        std::memcpy(buffer, m_data + m_offset, n);
        m_offset += n;
        return static_cast<std::int64_t>(n);
    }

private:
    const unsigned char* m_data;
    std::size_t m_size;
    std::size_t m_offset = 0;
};

class Sink : public zqvcrypto::ByteSink
{
public:
    bool write(const unsigned char* data, std::size_t size) override
    {
        // Touch every byte handed out, so the sanitizer sees a bad range.
        for (std::size_t i = 0; i < size; ++i)
            m_sum += data[i];
        return true;
    }

private:
    unsigned m_sum = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size)
{
    if (size >= zqvcrypto::zqv::kHeaderSize) {
        zqvcrypto::HeaderBytes bytes{};
        std::memcpy(bytes.data(), data, bytes.size());
        zqvcrypto::ZqvHeader header;
        static_cast<void>(zqvcrypto::parseHeader(bytes, header));
    }
    if (!fuzzing::cheapEnough(data, size))
        return 0;
    Source in(data, size);
    Sink out;
    const auto* password = reinterpret_cast<const unsigned char*>(fuzzing::kPassword.data());
    static_cast<void>(zqvcrypto::decryptStream(in, out, zqvcrypto::Bytes(password, fuzzing::kPassword.size())));
    return 0;
}
