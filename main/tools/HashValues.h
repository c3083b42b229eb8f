#pragma once

#include <QString>
#include <atomic>
#include <functional>

namespace zqvcrypto {
class Crypto;
}

namespace zqvtools {

class Md5Library;

struct HashValues
{
    QString sha;
    QString md5;
    bool cancelled = false;
};

inline constexpr int kUnknownProgress = -1;

[[nodiscard]] QString shaErrorText();
[[nodiscard]] QString md5ErrorText();

// Reads the file once: SHA-256 through the crypto component's hash object,
// MD5 through the library on a second thread over the same blocks. Each value
// is its digest as sha256sum and md5sum print it, or its error text.
// `progress` gets 0 to 100 from the reading thread, or kUnknownProgress once
// the file's size turns out not to tell how much is left; `cancel` stops the
// reading.
[[nodiscard]] HashValues computeHashValues(const QString& path,
                                           const zqvcrypto::Crypto& control,
                                           Md5Library& md5,
                                           const std::function<void(int)>& progress,
                                           const std::atomic<bool>& cancel);

} // namespace zqvtools
