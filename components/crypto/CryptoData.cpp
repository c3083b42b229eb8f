#include "CryptoData.h"

#include <algorithm>
#include <cctype>

#include <openssl/crypto.h>

namespace zqvcrypto {

CryptoData::~CryptoData()
{
    // The bytes may be plaintext; wipe them unless another copy still shares them.
    if (!m_bytes.isEmpty() && !m_bytes.isDetached())
        return;
    if (!m_bytes.isEmpty())
        OPENSSL_cleanse(m_bytes.data(), static_cast<std::size_t>(m_bytes.size()));
}

void CryptoData::SetFromText(const QString& text, int form, int& status)
{
    status = 0;
    if (form == kFormText) {
        m_bytes = text.toUtf8();
        return;
    }
    if (form == kFormPrintable) {
        QString compact = text;
        compact.remove(QLatin1Char(' ')).remove(QLatin1Char('\n')).remove(QLatin1Char('\r')).remove(QLatin1Char('\t'));
        const QByteArray hex = compact.toLatin1();
        const bool wellFormed = hex.size() % 2 == 0 && std::all_of(hex.begin(), hex.end(), [](char c) {
                                    return std::isxdigit(static_cast<unsigned char>(c));
                                });
        if (!wellFormed) {
            status = 1;
            return;
        }
        m_bytes = QByteArray::fromHex(hex);
        return;
    }
    status = 1;
}

QString CryptoData::GetAsText(int form) const
{
    if (form == kFormText)
        return QString::fromUtf8(m_bytes);
    if (form == kFormPrintable)
        return QString::fromLatin1(m_bytes.toHex());
    return {};
}

} // namespace zqvcrypto
