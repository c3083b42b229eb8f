#include "WipeDescriptor.h"

#include "FileOps.h"
#include "Shredder.h"

namespace zqvdod {

bool wipeDescriptorContent(int fd)
{
    FileOps ops;
    Shredder shredder(ops);
    return shredder.wipeContent(fd);
}

} // namespace zqvdod
