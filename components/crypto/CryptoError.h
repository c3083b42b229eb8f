#pragma once

namespace zqvcrypto {

// Why a ciphering call failed; `describe()` in Crypto.h gives the sentence.
enum class CryptoError {
    None,
    WrongPassword,
    NotEncrypted,       // not a ".zqv" file at all
    UnsupportedVersion, // a newer format
    BadParameters,      // limits we refuse to honour
    Damaged,            // authentication failed after the key was accepted, or the header is broken
    ReadFailed,
    WriteFailed,
    SameFile,
    DestinationExists,
    OutOfMemory,
    InvalidKey,
    VerifyFailed,
    ExtractorMissing,
    Cancelled, // stopped on request; nothing was written
};

} // namespace zqvcrypto
