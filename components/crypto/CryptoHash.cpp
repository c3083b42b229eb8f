#include "CryptoHash.h"

#include <QFile>
#include <array>
#include <cerrno>
#include <memory>
#include <vector>

#include <UniqueFd.h>
#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zqvcrypto {
namespace {

// Large enough that the system calls cost nothing next to the digests.
constexpr std::size_t kBlockSize = 1 << 20;

} // namespace

void CryptoHash::HashFile(const QString& path, bool& success)
{
    HashPath(QFile::encodeName(path).toStdString(), success);
}

void CryptoHash::HashPath(const std::string& path, bool& success)
{
    success = false;
    m_value = CryptoData();
    const cryptelle::UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat info
    {
    };
    // Two buffers in turn: the handler may still be reading the previous block.
    // They outlive the handler's final call, which waits for any such reader.
    Buffers buffers;
    if (file.get() >= 0 && ::fstat(file.get(), &info) == 0 && S_ISREG(info.st_mode)) {
        ::posix_fadvise(file.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
        success = hashOpenFile(file.get(), buffers);
    }
    if (m_handler)
        m_handler({});
    if (!success)
        m_value = CryptoData();
}

bool CryptoHash::hashOpenFile(int fd, Buffers& buffers)
{
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1)
        return false;
    for (std::vector<unsigned char>& buffer : buffers)
        buffer.resize(kBlockSize);
    for (std::size_t turn = 0;; turn ^= 1) {
        std::vector<unsigned char>& buffer = buffers[turn];
        ssize_t n = 0;
        do {
            n = ::read(fd, buffer.data(), buffer.size());
        } while (n < 0 && errno == EINTR);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        const std::span<const unsigned char> block(buffer.data(), static_cast<std::size_t>(n));
        if (EVP_DigestUpdate(context.get(), block.data(), block.size()) != 1)
            return false;
        if (m_handler && !m_handler(block))
            return false;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context.get(), digest, &size) != 1)
        return false;
    m_value = CryptoData(QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(size)));
    return true;
}

} // namespace zqvcrypto
