#pragma once

#include <QString>

#include "CryptoData.h"

namespace zqvcrypto {

// SHA-256 of a file, read in pieces so memory stays flat.
class CryptoHash
{
public:
    void HashFile(const QString& path, bool& success);
    [[nodiscard]] CryptoData GetValue() const { return m_value; }

private:
    CryptoData m_value;
};

} // namespace zqvcrypto
