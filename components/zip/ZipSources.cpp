#include "ZipSources.h"

#include <cerrno>
#include <cstring>

#include <FileSteps.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ziplight {
namespace {

std::int64_t failWith(zip_error_t* error, int zipError, int systemError = 0)
{
    zip_error_set(error, zipError, systemError);
    return -1;
}

// Reads with retries on interruption: from the current position, or from
// `*offset` (advanced) when given.
zip_int64_t readSome(int fd, void* data, zip_uint64_t length, std::uint64_t* offset, zip_error_t* error)
{
    for (;;) {
        const ssize_t n =
            offset == nullptr ? ::read(fd, data, length) : ::pread(fd, data, length, static_cast<off_t>(*offset));
        if (n >= 0) {
            if (offset != nullptr)
                *offset += static_cast<std::uint64_t>(n);
            return n;
        }
        if (errno != EINTR)
            return failWith(error, ZIP_ER_READ, errno);
    }
}

zip_int64_t fillStat(void* data, int fd, bool withTime, zip_error_t* error)
{
    auto* stat = static_cast<zip_stat_t*>(data);
    zip_stat_init(stat);
    struct stat info
    {
    };
    if (fd < 0 || ::fstat(fd, &info) != 0)
        return failWith(error, ZIP_ER_READ, errno);
    stat->size = static_cast<zip_uint64_t>(info.st_size);
    stat->valid |= ZIP_STAT_SIZE;
    if (withTime) {
        stat->mtime = info.st_mtime;
        stat->valid |= ZIP_STAT_MTIME;
    }
    return sizeof(zip_stat_t);
}

// The commands every source answers alike: its error, its end, the rest unsupported.
template <typename State>
zip_int64_t commonCommand(State* state, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    if (command == ZIP_SOURCE_ERROR)
        return zip_error_to_data(&state->error, data, length);
    if (command == ZIP_SOURCE_FREE) {
        zip_error_fini(&state->error);
        delete state;
        return 0;
    }
    return failWith(&state->error, ZIP_ER_OPNOTSUPP);
}

struct ListedState
{
    ListedFile file;
    cryptelle::UniqueFd open;
    zip_error_t error{};
};

} // namespace

int openListedFile(const ListedFile& file)
{
    cryptelle::UniqueFd folder(::dup(file.root->get()));
    for (std::size_t i = 0; folder.get() >= 0 && i + 1 < file.chain.size(); ++i)
        folder.reset(cryptelle::openListedEntry(folder.get(), file.chain[i], O_RDONLY | O_DIRECTORY));
    if (folder.get() < 0)
        return -1;
    return cryptelle::openListedEntry(folder.get(), file.chain.back(), O_RDONLY);
}

namespace {

zip_int64_t listedCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto* state = static_cast<ListedState*>(userdata);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        state->open.reset(openListedFile(state->file));
        if (state->open.get() < 0)
            return failWith(&state->error, ZIP_ER_OPEN, errno);
        return 0;
    case ZIP_SOURCE_READ:
        return readSome(state->open.get(), data, length, nullptr, &state->error);
    case ZIP_SOURCE_CLOSE:
        state->open.reset();
        return 0;
    case ZIP_SOURCE_STAT: {
        // The size as it is now; a file that changes while packed fails libzip's own check.
        const cryptelle::UniqueFd probe(state->open.get() >= 0 ? ::dup(state->open.get())
                                                               : openListedFile(state->file));
        return fillStat(data, probe.get(), true, &state->error);
    }
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN,
                                              ZIP_SOURCE_READ,
                                              ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR,
                                              ZIP_SOURCE_FREE,
                                              ZIP_SOURCE_SUPPORTS,
                                              -1);
    default:
        return commonCommand(state, data, length, command);
    }
}

struct DescriptorState
{
    int fd = -1;
    std::uint64_t readOffset = 0;
    zip_error_t error{};
};

std::int64_t fileSize(int fd)
{
    struct stat info
    {
    };
    return ::fstat(fd, &info) == 0 ? static_cast<std::int64_t>(info.st_size) : -1;
}

zip_int64_t descriptorCallback(void* userdata, void* data, zip_uint64_t length, zip_source_cmd_t command)
{
    auto* state = static_cast<DescriptorState*>(userdata);
    switch (command) {
    case ZIP_SOURCE_OPEN:
        state->readOffset = 0;
        return 0;
    case ZIP_SOURCE_READ:
        return readSome(state->fd, data, length, &state->readOffset, &state->error);
    case ZIP_SOURCE_CLOSE:
        return 0;
    case ZIP_SOURCE_SEEK: {
        const std::int64_t size = fileSize(state->fd);
        const zip_int64_t offset = zip_source_seek_compute_offset(
            state->readOffset, static_cast<zip_uint64_t>(size < 0 ? 0 : size), data, length, &state->error);
        if (offset < 0)
            return -1;
        state->readOffset = static_cast<std::uint64_t>(offset);
        return 0;
    }
    case ZIP_SOURCE_TELL:
        return static_cast<zip_int64_t>(state->readOffset);
    case ZIP_SOURCE_STAT:
        return fillStat(data, state->fd, false, &state->error);
    case ZIP_SOURCE_BEGIN_WRITE:
    case ZIP_SOURCE_REMOVE:
    case ZIP_SOURCE_ROLLBACK_WRITE:
        // The archive is written from the start; what was there goes.
        if (::ftruncate(state->fd, 0) != 0 || ::lseek(state->fd, 0, SEEK_SET) != 0)
            return failWith(&state->error, ZIP_ER_WRITE, errno);
        return 0;
    case ZIP_SOURCE_WRITE:
        if (!cryptelle::writeAll(state->fd, data, length))
            return failWith(&state->error, ZIP_ER_WRITE, errno);
        return static_cast<zip_int64_t>(length);
    case ZIP_SOURCE_SEEK_WRITE: {
        const off_t now = ::lseek(state->fd, 0, SEEK_CUR);
        const std::int64_t size = fileSize(state->fd);
        const zip_int64_t offset = zip_source_seek_compute_offset(static_cast<zip_uint64_t>(now < 0 ? 0 : now),
                                                                  static_cast<zip_uint64_t>(size < 0 ? 0 : size),
                                                                  data,
                                                                  length,
                                                                  &state->error);
        if (offset < 0)
            return -1;
        if (::lseek(state->fd, static_cast<off_t>(offset), SEEK_SET) < 0)
            return failWith(&state->error, ZIP_ER_SEEK, errno);
        return 0;
    }
    case ZIP_SOURCE_TELL_WRITE: {
        const off_t now = ::lseek(state->fd, 0, SEEK_CUR);
        if (now < 0)
            return failWith(&state->error, ZIP_ER_TELL, errno);
        return now;
    }
    case ZIP_SOURCE_COMMIT_WRITE:
        if (::fdatasync(state->fd) != 0)
            return failWith(&state->error, ZIP_ER_WRITE, errno);
        return 0;
    case ZIP_SOURCE_SUPPORTS:
        return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN,
                                              ZIP_SOURCE_READ,
                                              ZIP_SOURCE_CLOSE,
                                              ZIP_SOURCE_SEEK,
                                              ZIP_SOURCE_TELL,
                                              ZIP_SOURCE_STAT,
                                              ZIP_SOURCE_ERROR,
                                              ZIP_SOURCE_FREE,
                                              ZIP_SOURCE_SUPPORTS,
                                              ZIP_SOURCE_BEGIN_WRITE,
                                              ZIP_SOURCE_WRITE,
                                              ZIP_SOURCE_COMMIT_WRITE,
                                              ZIP_SOURCE_ROLLBACK_WRITE,
                                              ZIP_SOURCE_SEEK_WRITE,
                                              ZIP_SOURCE_TELL_WRITE,
                                              ZIP_SOURCE_REMOVE,
                                              -1);
    default:
        return commonCommand(state, data, length, command);
    }
}

} // namespace

zip_source_t* listedFileSource(zip_t* archive, ListedFile file)
{
    auto* state = new ListedState{std::move(file), cryptelle::UniqueFd(), {}};
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function(archive, listedCallback, state);
    if (source == nullptr) {
        zip_error_fini(&state->error);
        delete state;
    }
    return source;
}

zip_source_t* descriptorSource(int fd, zip_error_t* error)
{
    auto* state = new DescriptorState{fd, 0, {}};
    zip_error_init(&state->error);
    zip_source_t* source = zip_source_function_create(descriptorCallback, state, error);
    if (source == nullptr) {
        zip_error_fini(&state->error);
        delete state;
    }
    return source;
}

} // namespace ziplight
