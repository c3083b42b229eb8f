#pragma once

#include <QByteArray>
#include <QString>

namespace zqvcrypto {

// A block of bytes with its two text forms. The printable form of a hash
// value is lowercase hexadecimal, as sha256sum prints it; that of a sealed
// text message is its base64 envelope, wrapped in lines.
class CryptoData
{
public:
    static constexpr int kFormPrintable = 1;
    static constexpr int kFormText = 3; // the text itself, as UTF-8
    static constexpr int kLineLength = 64;

    CryptoData() = default;
    explicit CryptoData(QByteArray bytes)
        : m_bytes(std::move(bytes))
    {
    }
    ~CryptoData();
    CryptoData(const CryptoData&) = default;
    CryptoData& operator=(const CryptoData&) = default;
    CryptoData(CryptoData&&) = default;
    CryptoData& operator=(CryptoData&&) = default;

    // `status` is 0 on success, non-zero when the text is not of that form.
    void SetFromText(const QString& text, int form, int& status);
    [[nodiscard]] QString GetAsText(int form) const;

    [[nodiscard]] const QByteArray& bytes() const { return m_bytes; }

    // A sealed text message (an envelope) rather than plain bytes.
    [[nodiscard]] static CryptoData sealedMessage(QByteArray envelope);
    [[nodiscard]] bool isSealedMessage() const { return m_sealed; }

private:
    QByteArray m_bytes;
    bool m_sealed = false;
};

} // namespace zqvcrypto
