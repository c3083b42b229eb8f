#pragma once

#include <QByteArray>
#include <QString>
#include <mutex>
#include <string>

#include <NonCopyable.h>

namespace cli {

// SHA-256 (the crypto component's hash) and MD5 (libzqvmd5.so from the
// program folder) of one file, read once for both.
class FileHashes : private cryptelle::NonCopyable
{
public:
    explicit FileHashes(QString md5LibraryPath);
    ~FileHashes();

    struct Digests
    {
        QByteArray sha256; // lower-case hex
        QByteArray md5;    // lower-case hex, when asked for
    };

    // False with `whyNot` set when the file could not be read or MD5 is missing.
    [[nodiscard]] bool hash(const std::string& path, bool withMd5, Digests& digests, QString& whyNot);

private:
    using InitFn = void (*)(void*);
    using UpdateFn = void (*)(void*, const unsigned char*, std::uint32_t);
    using FinalFn = void (*)(unsigned char*, void*);
    [[nodiscard]] bool loadMd5();

    QString m_md5Path;
    std::mutex m_lock;
    void* m_handle = nullptr;
    InitFn m_init = nullptr;
    UpdateFn m_update = nullptr;
    FinalFn m_final = nullptr;
};

// One line as `sha256sum` and `md5sum` print it, and read it back with -c: a
// name holding a backslash or a newline is escaped, and the line starts with
// a backslash then.
[[nodiscard]] QByteArray checksumLine(const QByteArray& hexDigest, const QByteArray& fileName);

} // namespace cli
