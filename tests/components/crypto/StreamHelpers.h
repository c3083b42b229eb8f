#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

#include "ZqvStream.h"

// In-memory ends of a stream, and the cheap key-derivation cost tests use.
namespace streamtest {

inline const zqvcrypto::Argon2Params kCheapKdf{64, 1, 1};

class StringSource : public zqvcrypto::ByteSource
{
public:
    explicit StringSource(const std::string& data)
        : m_data(data)
    {
    }
    std::int64_t read(unsigned char* buffer, std::size_t size) override
    {
        // Hand out odd-sized pieces so the readers' refilling is exercised.
        const std::size_t n = std::min({size, m_data.size() - m_offset, std::size_t{70001}});
        std::memcpy(buffer, m_data.data() + m_offset, n);
        m_offset += n;
        return static_cast<std::int64_t>(n);
    }

private:
    const std::string& m_data;
    std::size_t m_offset = 0;
};

class StringSink : public zqvcrypto::ByteSink
{
public:
    bool write(const unsigned char* data, std::size_t size) override
    {
        out.append(reinterpret_cast<const char*>(data), size);
        return true;
    }
    std::string out;
};

inline zqvcrypto::Bytes bytesOf(const std::string& text)
{
    return zqvcrypto::Bytes(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

inline std::string patterned(std::size_t size, unsigned seed = 1)
{
    std::string data(size, '\0');
    unsigned state = seed;
    for (char& c : data) {
        state = state * 1103515245u + 12345u;
        c = static_cast<char>(state >> 16);
    }
    return data;
}

inline zqvcrypto::CryptoError encrypt(const std::string& plain,
                                      std::string& sealed,
                                      const std::string& password = "pass",
                                      std::uint32_t chunk = zqvcrypto::zqv::kMinChunkSize)
{
    StringSource in(plain);
    StringSink out;
    const auto result = zqvcrypto::encryptStream(in, out, bytesOf(password), kCheapKdf, chunk);
    sealed = out.out;
    return result;
}

inline zqvcrypto::CryptoError
decrypt(const std::string& sealed, std::string& plain, const std::string& password = "pass")
{
    StringSource in(sealed);
    StringSink out;
    const auto result = zqvcrypto::decryptStream(in, out, bytesOf(password));
    plain = out.out;
    return result;
}

} // namespace streamtest
