#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>

#include <NonCopyable.h>

namespace cryptelle {
class LibraryHandle;
}

namespace zqvtools {

// libzqvmd5.so, loaded by name at the first digest and kept for the life of
// the process (or of this object).
class Md5Library : private cryptelle::NonCopyable
{
public:
    explicit Md5Library(QString libraryPath);
    ~Md5Library();

    // Loads the library if it is not loaded yet; false when it or one of its
    // three functions is missing.
    [[nodiscard]] bool load();

    // One digest over a context of the library's size. Feed blocks of any size.
    class Digest : private cryptelle::NonCopyable
    {
    public:
        explicit Digest(Md5Library& library);
        ~Digest();
        void add(std::span<const unsigned char> bytes);
        // The 16-byte digest; the context is released.
        [[nodiscard]] QByteArray finish();

    private:
        Md5Library& m_library;
        alignas(8) unsigned char m_context[88];
        bool m_open = false;
    };

private:
    using InitFn = void (*)(void*);
    using UpdateFn = void (*)(void*, const unsigned char*, std::uint32_t);
    using FinalFn = void (*)(unsigned char*, void*);

    QString m_libraryPath;
    std::mutex m_lock;
    std::unique_ptr<cryptelle::LibraryHandle> m_library;
    InitFn m_init = nullptr;
    UpdateFn m_update = nullptr;
    FinalFn m_final = nullptr;
};

// The library in the program folder, shared by every hash window.
[[nodiscard]] Md5Library& programMd5Library();

// Two lowercase hexadecimal digits per byte, as md5sum prints them.
[[nodiscard]] QString hexText(const QByteArray& bytes);

} // namespace zqvtools
