#pragma once

#include <QString>
#include <functional>

#include <UnnamedOutput.h>

namespace ziplight {

// The plaintext archive a folder is packed into before it is encrypted: an
// unnamed file (mode 0600) in the destination's folder that no other account
// can open and a crash cannot leave behind. Its content is wiped through the
// descriptor before it is released, whatever happened.
class IntermediateArchive
{
public:
    // Overwrites and empties the content of the descriptor; true when it did.
    using Wiper = std::function<bool(int fd)>;

    explicit IntermediateArchive(Wiper wiper);
    ~IntermediateArchive();
    IntermediateArchive(const IntermediateArchive&) = delete;
    IntermediateArchive& operator=(const IntermediateArchive&) = delete;

    [[nodiscard]] bool create(const QString& folder);
    [[nodiscard]] int fd() const { return m_output.fd(); }
    // A path that opens this very file, for readers that take paths.
    [[nodiscard]] QString readPath() const;

    // Wipes and releases now; later calls return the first result.
    [[nodiscard]] bool release();

private:
    Wiper m_wiper;
    cryptelle::UnnamedOutput m_output;
    bool m_released = false;
    bool m_wiped = true;
};

} // namespace ziplight
