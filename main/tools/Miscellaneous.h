#pragma once

#include <QString>

namespace zqvtools {

// Hands a web address or a local file to the desktop's default handler. The
// outcome is not examined: the handler reports its own failures.
void OpenDocument(const QString& target);

// What OpenDocument gives the handler: an address with a scheme as it is,
// anything else as a local file.
[[nodiscard]] QString documentUrl(const QString& target);

} // namespace zqvtools
