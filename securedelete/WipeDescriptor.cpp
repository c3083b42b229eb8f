#include "WipeDescriptor.h"

#include "FileOps.h"
#include "Shredder.h"

namespace zqvdod {

EntryOutcome wipeExactEntry(const char* absolutePath)
{
    if (absolutePath == nullptr || absolutePath[0] != '/')
        return EntryOutcome::Skipped;
    FileOps ops;
    Shredder shredder(ops);
    return shredder.treatEntry(absolutePath);
}

EntryOutcome wipeHeldEntry(const char* absolutePath, int fd)
{
    if (absolutePath == nullptr || absolutePath[0] != '/' || fd < 0)
        return EntryOutcome::Kept;
    FileOps ops;
    Shredder shredder(ops);
    shredder.setPassCount(Shredder::kDefaultPassCount);
    return shredder.treatHeld(absolutePath, fd);
}

bool wipeNamelessContent(int fd)
{
    FileOps ops;
    Shredder shredder(ops);
    shredder.setPassCount(Shredder::kDefaultPassCount);
    return shredder.wipeContent(fd);
}

} // namespace zqvdod
