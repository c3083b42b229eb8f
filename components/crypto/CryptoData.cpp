#include "CryptoData.h"

#include <algorithm>
#include <cctype>

#include <openssl/crypto.h>

namespace zqvcrypto {
namespace {

// An envelope's base64 text starts with these characters, which hexadecimal never does.
const QLatin1String kEnvelopeStart("ZQVT");

} // namespace

CryptoData::~CryptoData()
{
    // The bytes may be plaintext; wipe them unless another copy still shares them.
    if (!m_bytes.isEmpty() && !m_bytes.isDetached())
        return;
    if (!m_bytes.isEmpty())
        OPENSSL_cleanse(m_bytes.data(), static_cast<std::size_t>(m_bytes.size()));
}

CryptoData CryptoData::sealedMessage(QByteArray envelope)
{
    CryptoData data(std::move(envelope));
    data.m_sealed = true;
    return data;
}

void CryptoData::SetFromText(const QString& text, int form, int& status)
{
    status = 0;
    if (form == kFormText) {
        m_bytes = text.toUtf8();
        m_sealed = false;
        return;
    }
    if (form == kFormPrintable) {
        // Mail clients and editors wrap and indent long lines; none of that is content.
        QString compact;
        compact.reserve(text.size());
        for (const QChar c : text) {
            if (!c.isSpace())
                compact.append(c);
        }
        if (compact.startsWith(kEnvelopeStart)) {
            const auto decoded =
                QByteArray::fromBase64Encoding(compact.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded) {
                status = 1;
                return;
            }
            m_bytes = *decoded;
            m_sealed = true;
            return;
        }
        const QByteArray hex = compact.toLatin1();
        const bool wellFormed = hex.size() % 2 == 0 && std::all_of(hex.begin(), hex.end(), [](char c) {
                                    return std::isxdigit(static_cast<unsigned char>(c));
                                });
        if (!wellFormed) {
            status = 1;
            return;
        }
        m_bytes = QByteArray::fromHex(hex);
        m_sealed = false;
        return;
    }
    status = 1;
}

QString CryptoData::GetAsText(int form) const
{
    if (form == kFormText)
        return QString::fromUtf8(m_bytes);
    if (form != kFormPrintable)
        return {};
    if (!m_sealed)
        return QString::fromLatin1(m_bytes.toHex());
    const QByteArray base64 = m_bytes.toBase64();
    QString wrapped;
    wrapped.reserve(base64.size() + base64.size() / kLineLength + 1);
    for (qsizetype at = 0; at < base64.size(); at += kLineLength) {
        if (at > 0)
            wrapped.append(QLatin1Char('\n'));
        wrapped.append(QLatin1String(base64.constData() + at, std::min<qsizetype>(kLineLength, base64.size() - at)));
    }
    return wrapped;
}

} // namespace zqvcrypto
