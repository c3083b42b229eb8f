#pragma once

#include <QByteArray>
#include <QString>

#include <sys/types.h>

namespace zqvcore {

// Reading a small file that lives in the user's folders (settings, the queue,
// file-manager action files) without trusting what is found under its name.
//
// The file is opened with O_NONBLOCK, so a named pipe in its place cannot hang
// the program, and with O_NOFOLLOW. A symbolic link is followed only when it
// leads to a regular file owned by this user; a link to anything else (a
// device such as /dev/zero, a pipe, a socket, a folder, someone else's file)
// is refused without opening the target. What is opened is checked with
// fstat: it must be a regular file of at most `maxBytes`, and it is read
// through that same descriptor, never more than `maxBytes` + 1 bytes, so a
// file that grows while it is read is refused as well.
//
// Nothing is ever changed on disk: a refused file is left as it is.
struct UserFileRead
{
    enum class Status {
        Read,    // `bytes` holds the whole file
        Missing, // no file of that name (a missing folder on the way counts too,
                 // and so does a file where a folder belongs: `error` is then ENOTDIR)
        Refused, // something is there, but not a file we read; see `reason`
        Failed,  // the system refused to open or read it; see `reason`, `error`
    };

    Status status = Status::Failed;
    QByteArray bytes; // only when Read
    mode_t mode = 0;  // permission bits of the file read, only when Read
    // errno of the failure, or the nearest one for a refusal: EISDIR for a
    // folder, EFBIG for a file over the limit, ELOOP for a refused link,
    // EINVAL for any other kind of file. 0 when Read, and when Missing but
    // for the ENOTDIR case above.
    int error = 0;
    // Why it was not read, in plain words: a clause starting in lower case,
    // without a final full stop, written to follow the file's name and a
    // colon ("… ZQV.conf: it is a named pipe, not a regular file"). Empty
    // when Read or Missing.
    QString reason;

    [[nodiscard]] bool ok() const { return status == Status::Read; }
    [[nodiscard]] bool missing() const { return status == Status::Missing; }
};

// See above. `maxBytes` must not be negative.
[[nodiscard]] UserFileRead readUserFile(const QString& path, qint64 maxBytes);

// "64 MiB", "1000 bytes": a size limit as a reason names it.
[[nodiscard]] QString sizeInWords(qint64 bytes);

} // namespace zqvcore
