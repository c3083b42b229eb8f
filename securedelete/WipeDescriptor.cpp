#include "WipeDescriptor.h"

#include "FileOps.h"
#include "Shredder.h"

namespace zqvdod {

namespace {

EntryOutcome outcomeOf(Shredder::Outcome outcome)
{
    switch (outcome) {
    case Shredder::Outcome::Wiped:
        return EntryOutcome::Wiped;
    case Shredder::Outcome::RemovedNotOverwritten:
        return EntryOutcome::RemovedNotOverwritten;
    case Shredder::Outcome::Kept:
        return EntryOutcome::Kept;
    case Shredder::Outcome::NotTheHeldFile:
        return EntryOutcome::NotTheHeldFile;
    case Shredder::Outcome::Skipped:
        break;
    }
    return EntryOutcome::Skipped;
}

} // namespace

EntryOutcome wipeExactEntry(const char* absolutePath)
{
    if (absolutePath == nullptr || absolutePath[0] != '/')
        return EntryOutcome::Skipped;
    FileOps ops;
    Shredder shredder(ops);
    return outcomeOf(shredder.treatEntry(absolutePath));
}

EntryOutcome wipeHeldEntry(const char* absolutePath, int fd)
{
    if (absolutePath == nullptr || absolutePath[0] != '/' || fd < 0)
        return EntryOutcome::Kept;
    FileOps ops;
    Shredder shredder(ops);
    shredder.setPassCount(Shredder::kDefaultPassCount);
    return outcomeOf(shredder.treatHeld(absolutePath, fd));
}

bool wipeNamelessContent(int fd)
{
    FileOps ops;
    Shredder shredder(ops);
    shredder.setPassCount(Shredder::kDefaultPassCount);
    return shredder.wipeContent(fd);
}

} // namespace zqvdod
