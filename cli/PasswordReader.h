#pragma once

#include <QString>

#include "SecureBuffer.h"

namespace cli {

// Where the password comes from, in this order: the descriptor given with
// --passphrase-fd; the program named by ZQV_ASKPASS (as the extractor of
// self-extracting files honours it); the terminal, without echo; the program
// named by SSH_ASKPASS. Never the command line or the environment itself.
class PasswordReader
{
public:
    static constexpr std::size_t kMaxLength = 4096;

    // -1: no descriptor was given.
    explicit PasswordReader(int descriptor = -1)
        : m_descriptor(descriptor)
    {
    }

    // Reads the password; with `confirm` (new files) the terminal and the
    // helpers are asked twice and both must agree. False with `whyNot` set
    // when no usable password was read.
    [[nodiscard]] bool read(bool confirm, zqvcrypto::SecureBuffer& password, QString& whyNot) const;

private:
    int m_descriptor;
};

// The password as text for the key derivation, or false when its bytes are
// not UTF-8 (they would not give the key the same password gives elsewhere).
[[nodiscard]] bool passwordText(const zqvcrypto::SecureBuffer& password, QString& text);
// Overwrites a password held as text.
void cleanse(QString& text);

} // namespace cli
