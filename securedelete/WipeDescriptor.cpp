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
    switch (shredder.treatEntry(absolutePath)) {
    case Shredder::Outcome::Wiped:
        return EntryOutcome::Wiped;
    case Shredder::Outcome::RemovedNotOverwritten:
        return EntryOutcome::RemovedNotOverwritten;
    case Shredder::Outcome::Kept:
        return EntryOutcome::Kept;
    case Shredder::Outcome::Skipped:
        break;
    }
    return EntryOutcome::Skipped;
}

} // namespace zqvdod
