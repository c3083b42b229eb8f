#pragma once

namespace zqvcrypto {

// Why a text message could not be sealed or opened; `describe()` in Crypto.h
// gives the sentence.
enum class TextError {
    None,
    NotCiphertext,      // not one of our envelopes at all
    UnsupportedVersion, // made by a newer version
    OtherAlgorithm,     // sealed with another algorithm than the key's
    BadParameters,      // asks for a key-derivation cost outside the limits
    Damaged,            // too short or malformed
    WrongKey,           // authentication failed: a wrong key, or the text was changed
    KeyFailed,          // the key could not be derived (memory for Argon2id)
    Failed,             // a library call failed
    EmptyKey,
};

} // namespace zqvcrypto
