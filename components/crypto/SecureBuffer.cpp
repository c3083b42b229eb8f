#include "SecureBuffer.h"

#include <cstring>
#include <new>
#include <utility>

#include <openssl/crypto.h>

#include "LargeMemory.h"

namespace zqvcrypto {
namespace {

// From this size on (blocks of file data, not keys) the memory is mapped on
// its own, already zero, in huge pages where offered.
constexpr std::size_t kLarge = std::size_t{1} << 20;

unsigned char* allocate(std::size_t size)
{
    if (size == 0)
        return nullptr;
    if (size >= kLarge) {
        if (unsigned char* mapped = mapLarge(size))
            return mapped;
        throw std::bad_alloc();
    }
    return new unsigned char[size]();
}

} // namespace

SecureBuffer::SecureBuffer(std::size_t size)
    : m_data(allocate(size))
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
        if (m_size >= kLarge)
            unmapLarge(m_data, m_size);
        else
            delete[] m_data;
    }
    m_data = nullptr;
    m_size = 0;
}

} // namespace zqvcrypto
