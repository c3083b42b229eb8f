#pragma once

#include <cstddef>

namespace zqvcrypto {

// Owns key material and passwords: move-only, wiped when released.
class SecureBuffer
{
public:
    SecureBuffer() = default;
    explicit SecureBuffer(std::size_t size);
    SecureBuffer(const void* data, std::size_t size);
    ~SecureBuffer();

    SecureBuffer(SecureBuffer&& other) noexcept;
    SecureBuffer& operator=(SecureBuffer&& other) noexcept;
    SecureBuffer(const SecureBuffer&) = delete;
    SecureBuffer& operator=(const SecureBuffer&) = delete;

    [[nodiscard]] unsigned char* data() { return m_data; }
    [[nodiscard]] const unsigned char* data() const { return m_data; }
    [[nodiscard]] std::size_t size() const { return m_size; }
    [[nodiscard]] bool empty() const { return m_size == 0; }

    void clear();

private:
    unsigned char* m_data = nullptr;
    std::size_t m_size = 0;
};

} // namespace zqvcrypto
