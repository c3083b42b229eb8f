#include "ZipSources.h"

#include <cerrno>

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

// Reads from the current position, with retries on interruption.
zip_int64_t readSome(int fd, void* data, zip_uint64_t length, zip_error_t* error)
{
    for (;;) {
        const ssize_t n = ::read(fd, data, length);
        if (n >= 0)
            return n;
        if (errno != EINTR)
            return failWith(error, ZIP_ER_READ, errno);
    }
}

zip_int64_t fillStat(void* data, int fd, zip_error_t* error)
{
    auto* stat = static_cast<zip_stat_t*>(data);
    zip_stat_init(stat);
    struct stat info
    {
    };
    if (fd < 0 || ::fstat(fd, &info) != 0)
        return failWith(error, ZIP_ER_READ, errno);
    stat->size = static_cast<zip_uint64_t>(info.st_size);
    stat->mtime = info.st_mtime;
    stat->valid |= ZIP_STAT_SIZE | ZIP_STAT_MTIME;
    return sizeof(zip_stat_t);
}

struct ListedState
{
    ListedFile file;
    cryptelle::UniqueFd open;
    zip_error_t error{};
};

// The commands answered alike: the source's error, its end, the rest unsupported.
zip_int64_t commonCommand(ListedState* state, void* data, zip_uint64_t length, zip_source_cmd_t command)
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
        return readSome(state->open.get(), data, length, &state->error);
    case ZIP_SOURCE_CLOSE:
        state->open.reset();
        return 0;
    case ZIP_SOURCE_STAT: {
        // The size as it is now; a file that changes while packed fails libzip's own check.
        const cryptelle::UniqueFd probe(state->open.get() >= 0 ? ::dup(state->open.get())
                                                               : openListedFile(state->file));
        return fillStat(data, probe.get(), &state->error);
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

} // namespace ziplight
