#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <sys/types.h>

namespace ziplight {

// Writes a zip archive of files, each stored or deflated and, with a password,
// encrypted with WinZip AES-256, and folders: to a descriptor from offset 0,
// or handed on in order. libzip ciphers such entries sixteen bytes per call,
// several times slower than the disk, and can only write to something it can
// seek in; this writer makes the same archive at the speed of AES itself.
//
// Entries are written in the order given; ZIP64 records are used where sizes,
// offsets or the entry count need them. Encrypted files of 20 bytes or more
// carry their CRC (AE-1), smaller ones none (AE-2), as the format advises.
class AesZipWriter
{
public:
    // Bytes of file data done so far.
    using Progress = std::function<void(std::uint64_t)>;

    // Takes the next bytes of the archive; false when they were not taken.
    using Sink = std::function<bool(const unsigned char*, std::size_t)>;

    // `level` 0 stores, 1 to 9 deflate at that level; an empty password
    // leaves the entries unencrypted.
    AesZipWriter(int fd, std::string password, int level = 0);
    // Hands the archive on as it is made, nothing ever written twice: entries
    // small enough are completed in memory, larger ones carry their CRC and
    // sizes after their data (a data descriptor), which every reader takes.
    AesZipWriter(Sink sink, std::string password, int level = 0);
    ~AesZipWriter();
    AesZipWriter(const AesZipWriter&) = delete;
    AesZipWriter& operator=(const AesZipWriter&) = delete;

    // Starts deriving the keys of the next `files` files on threads of their
    // own: each file needs its own salt and PBKDF2 run, and for many small
    // files that is most of the work. addFile() then takes them as they come.
    void deriveAhead(std::size_t files);

    [[nodiscard]] bool addFolder(const std::string& name, mode_t mode, std::time_t modified);
    // Reads the open file to its end; `expectedSize` is its size when it was
    // opened, and a file that turns out longer or shorter fails the entry.
    [[nodiscard]] bool addFile(const std::string& name,
                               int file,
                               std::uint64_t expectedSize,
                               mode_t mode,
                               std::time_t modified,
                               const Progress& progress = {});
    // A symbolic link as unzip and 7z restore one: the Unix link type in the
    // external attributes and the target as the data.
    [[nodiscard]] bool addLink(const std::string& name, const std::string& target, std::time_t modified);
    // The central directory and the end records.
    [[nodiscard]] bool finish();

    // Why the last call failed.
    [[nodiscard]] const std::string& error() const { return m_error; }

private:
    struct Entry
    {
        std::string name;
        std::uint64_t offset = 0;
        std::uint64_t size = 0;       // uncompressed
        std::uint64_t packedSize = 0; // with the salt, check and code
        std::uint32_t crc = 0;
        std::uint16_t time = 0;
        std::uint16_t date = 0;
        std::uint32_t attributes = 0;
        std::uint16_t method = 0; // stored or deflated, under any encryption
        std::uint16_t flags = 0;
        bool folder = false;
        bool encrypted = false;
    };

    // A file's or a link's entry: `type` is S_IFREG or S_IFLNK.
    [[nodiscard]] bool addData(const std::string& name,
                               mode_t type,
                               int file,
                               std::uint64_t expectedSize,
                               mode_t mode,
                               std::time_t modified,
                               const Progress& progress);
    // Fills in what every entry has; false when its name cannot be stored.
    [[nodiscard]] bool startEntry(const std::string& name, mode_t type, mode_t mode, std::time_t when, Entry& entry);
    [[nodiscard]] bool put(const unsigned char* data, std::size_t size);
    [[nodiscard]] bool putAt(std::uint64_t offset, const unsigned char* data, std::size_t size);
    // Writes out what put() gathered.
    [[nodiscard]] bool flushGathered();
    // Writes to the file at `offset`, or hands on to the sink (always next in
    // order there), whatever is gathered.
    [[nodiscard]] bool writeOut(std::uint64_t offset, const unsigned char* data, std::size_t size);
    [[nodiscard]] bool fail(std::string why);

    class KeyPool;
    std::unique_ptr<KeyPool> m_keys;

    // Passes the file's bytes on as they go into the archive: as they are,
    // or deflated. False with m_error set on failure.
    [[nodiscard]] bool pack(int file,
                            std::uint64_t expectedSize,
                            const std::string& name,
                            Entry& entry,
                            const Progress& progress,
                            const std::function<bool(unsigned char*, std::size_t)>& out);

    int m_fd = -1;
    Sink m_sink;
    std::string m_password;
    int m_level;
    std::uint64_t m_offset = 0;
    std::vector<Entry> m_entries;
    std::vector<unsigned char> m_buffer;
    std::string m_error;
};

} // namespace ziplight
