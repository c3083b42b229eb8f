#include "Md5Module.h"

#include <QCoreApplication>
#include <QFile>
#include <algorithm>
#include <cstring>
#include <limits>

#include <LibraryHandle.h>

namespace zqvtools {

Md5Library::Md5Library(QString libraryPath)
    : m_libraryPath(std::move(libraryPath))
    , m_library(std::make_unique<cryptelle::LibraryHandle>())
{
}

Md5Library::~Md5Library() = default;

bool Md5Library::load()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    if (m_final != nullptr)
        return true;
    if (!m_library->isOpen() && !m_library->open(QFile::encodeName(m_libraryPath).toStdString()))
        return false;
    m_init = m_library->entry<InitFn>("MD5Init");
    m_update = m_library->entry<UpdateFn>("MD5Update");
    m_final = m_library->entry<FinalFn>("MD5Final");
    if (m_init == nullptr || m_update == nullptr || m_final == nullptr) {
        m_init = nullptr;
        m_update = nullptr;
        m_final = nullptr;
        return false;
    }
    return true;
}

Md5Library::Digest::Digest(Md5Library& library)
    : m_library(library)
{
    std::memset(m_context, 0, sizeof m_context);
    if (m_library.load()) {
        m_library.m_init(m_context);
        m_open = true;
    }
}

Md5Library::Digest::~Digest()
{
    // The context holds a handle that only MD5Final releases.
    if (m_open)
        (void)finish();
}

void Md5Library::Digest::add(std::span<const unsigned char> bytes)
{
    if (!m_open)
        return;
    constexpr std::size_t kMaxPiece = std::numeric_limits<std::uint32_t>::max();
    for (std::size_t at = 0; at < bytes.size(); at += kMaxPiece) {
        const std::size_t size = std::min(kMaxPiece, bytes.size() - at);
        m_library.m_update(m_context, bytes.data() + at, static_cast<std::uint32_t>(size));
    }
}

QByteArray Md5Library::Digest::finish()
{
    if (!m_open)
        return {};
    m_open = false;
    unsigned char digest[16];
    m_library.m_final(digest, m_context);
    // The library gives all zeros when it could not compute a digest.
    if (std::all_of(std::begin(digest), std::end(digest), [](unsigned char b) { return b == 0; }))
        return {};
    return QByteArray(reinterpret_cast<const char*>(digest), sizeof digest);
}

Md5Library& programMd5Library()
{
    static Md5Library library(QCoreApplication::applicationDirPath() + QLatin1String("/libzqvmd5.so"));
    return library;
}

QString hexText(const QByteArray& bytes)
{
    return QString::fromLatin1(bytes.toHex());
}

} // namespace zqvtools
