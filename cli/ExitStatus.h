#pragma once

#include "CryptoError.h"

namespace cli {

// What the program's exit status tells a script; the manual page lists them.
enum class ExitStatus {
    Success = 0,
    IoError = 1,       // a file could not be read or written, or a wipe failed
    Usage = 2,         // wrong arguments
    WrongPassword = 3, // the password does not open the file
    Damaged = 4,       // damaged, incomplete or not an encrypted file
    Refused = 5,       // an input or output we will not work on: exists, same file, not a file, changed, ...
    NoPassword = 6,    // no password could be read, it was empty, or the two entries differed
};

[[nodiscard]] ExitStatus statusOf(zqvcrypto::CryptoError error);

// Remembers the first failure of a call that goes on after one.
class StatusKeeper
{
public:
    void note(ExitStatus status)
    {
        if (m_status == ExitStatus::Success)
            m_status = status;
    }
    [[nodiscard]] ExitStatus status() const { return m_status; }

private:
    ExitStatus m_status = ExitStatus::Success;
};

} // namespace cli
