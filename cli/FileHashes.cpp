#include "FileHashes.h"

#include <QCoreApplication>
#include <QFile>
#include <array>

#include <dlfcn.h>

#include "Crypto.h"

namespace cli {
namespace {

// The library's context size (zqvmd5.h), kept here so the header's inline
// definitions need not be linked.
constexpr std::size_t kMd5ContextSize = 88;
constexpr std::size_t kMd5DigestSize = 16;

} // namespace

FileHashes::FileHashes(QString md5LibraryPath)
    : m_md5Path(std::move(md5LibraryPath))
{
}

FileHashes::~FileHashes()
{
    if (m_handle != nullptr)
        ::dlclose(m_handle);
}

bool FileHashes::loadMd5()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_final != nullptr)
        return true;
    if (m_handle == nullptr)
        m_handle = ::dlopen(QFile::encodeName(m_md5Path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (m_handle == nullptr)
        return false;
    m_init = reinterpret_cast<InitFn>(::dlsym(m_handle, "MD5Init"));
    m_update = reinterpret_cast<UpdateFn>(::dlsym(m_handle, "MD5Update"));
    auto final = reinterpret_cast<FinalFn>(::dlsym(m_handle, "MD5Final"));
    if (m_init == nullptr || m_update == nullptr)
        return false;
    m_final = final;
    return m_final != nullptr;
}

bool FileHashes::hash(const std::string& path, bool withMd5, Digests& digests, QString& whyNot)
{
    if (withMd5 && !loadMd5()) {
        whyNot = QStringLiteral("MD5 is not available: the library libzqvmd5.so is missing from the program folder.");
        return false;
    }
    alignas(16) std::array<unsigned char, kMd5ContextSize> context{};
    bool md5Started = false;
    zqvcrypto::CryptoHash sha;
    if (withMd5) {
        m_init(context.data());
        md5Started = true;
        sha.setBlockHandler([&](std::span<const unsigned char> block) {
            // Blocks beyond 4 GiB do not come in one piece; each is far smaller.
            if (!block.empty())
                m_update(context.data(), block.data(), static_cast<std::uint32_t>(block.size()));
            return true;
        });
    }
    bool success = false;
    sha.HashPath(path, success);
    std::array<unsigned char, kMd5DigestSize> md5{};
    if (md5Started)
        m_final(md5.data(), context.data()); // always, as it releases the context's state
    if (!success) {
        whyNot = QStringLiteral("The file could not be read.");
        return false;
    }
    digests.sha256 = sha.GetValue().GetAsText(zqvcrypto::CryptoData::kFormPrintable).toLatin1();
    if (withMd5)
        digests.md5 = QByteArray(reinterpret_cast<const char*>(md5.data()), md5.size()).toHex();
    return true;
}

QByteArray checksumLine(const QByteArray& hexDigest, const QByteArray& fileName)
{
    if (!fileName.contains('\\') && !fileName.contains('\n'))
        return hexDigest + "  " + fileName;
    QByteArray escaped;
    for (const char c : fileName) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return '\\' + hexDigest + "  " + escaped;
}

} // namespace cli
