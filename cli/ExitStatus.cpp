#include "ExitStatus.h"

namespace cli {

ExitStatus statusOf(zqvcrypto::CryptoError error)
{
    using zqvcrypto::CryptoError;
    switch (error) {
    case CryptoError::None:
        return ExitStatus::Success;
    case CryptoError::WrongPassword:
        return ExitStatus::WrongPassword;
    case CryptoError::NotEncrypted:
    case CryptoError::Damaged:
        return ExitStatus::Damaged;
    case CryptoError::UnsupportedVersion:
    case CryptoError::BadParameters:
    case CryptoError::SameFile:
    case CryptoError::DestinationExists:
        return ExitStatus::Refused;
    case CryptoError::ReadFailed:
    case CryptoError::WriteFailed:
    case CryptoError::OutOfMemory:
    case CryptoError::InvalidKey:
    case CryptoError::VerifyFailed:
    case CryptoError::ExtractorMissing:
    case CryptoError::Cancelled:
        return ExitStatus::IoError;
    }
    return ExitStatus::IoError;
}

} // namespace cli
