#pragma once

#include <QByteArray>
#include <QString>

namespace zqvcrypto {

// A block of bytes with its two text forms.
class CryptoData
{
public:
    static constexpr int kFormPrintable = 1; // lowercase hexadecimal, as sha256sum prints
    static constexpr int kFormText = 3;      // the text itself, as UTF-8

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

private:
    QByteArray m_bytes;
};

} // namespace zqvcrypto
