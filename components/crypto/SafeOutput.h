#pragma once

#include <QString>

namespace zqvcrypto {

// An output written beside its destination under a temporary name (created
// exclusively, mode 0600) and moved onto the destination only once it is
// complete and on disk. Dropped without commit, it leaves nothing behind.
class SafeOutput
{
public:
    SafeOutput() = default;
    ~SafeOutput();
    SafeOutput(const SafeOutput&) = delete;
    SafeOutput& operator=(const SafeOutput&) = delete;

    [[nodiscard]] bool open(const QString& destination);
    [[nodiscard]] int fd() const { return m_fd; }
    [[nodiscard]] const QString& temporaryPath() const { return m_temporary; }

    // Syncs the data and moves it onto the destination. Without
    // `replaceExisting`, an existing destination is never replaced.
    [[nodiscard]] bool commit(bool replaceExisting);
    void discard();

private:
    QString m_destination;
    QString m_temporary;
    int m_fd = -1;
};

// True when both paths name the same file (same device and inode), whatever
// links or spellings lead there.
[[nodiscard]] bool isSameFile(const QString& a, const QString& b);

// Writes everything or fails; retries short writes and interruptions.
[[nodiscard]] bool writeAll(int fd, const unsigned char* data, std::size_t size);

} // namespace zqvcrypto
