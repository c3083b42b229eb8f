#include "SecureBuffer.h"

#include <cstring>
#include <utility>

#include <openssl/crypto.h>

namespace zqvcrypto {

SecureBuffer::SecureBuffer(std::size_t size)
    : m_data(size == 0 ? nullptr : new unsigned char[size]())
    , m_size(size)
{
}

SecureBuffer::SecureBuffer(const void* data, std::size_t size)
    : SecureBuffer(size)
{
    if (size != 0)
        std::memcpy(m_data, data, size);
}

SecureBuffer::~SecureBuffer()
{
    clear();
}

SecureBuffer::SecureBuffer(SecureBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
{
}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept
{
    if (this != &other) {
        clear();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

void SecureBuffer::clear()
{
    if (m_data != nullptr) {
        OPENSSL_cleanse(m_data, m_size);
        delete[] m_data;
    }
    m_data = nullptr;
    m_size = 0;
}

} // namespace zqvcrypto
