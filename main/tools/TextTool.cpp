#include "TextTool.h"

#include <QFile>
#include <QSaveFile>

#include "Crypto.h"

namespace zqvtools {

using zqvcrypto::CryptoData;
using zqvcrypto::TextError;

namespace {

TextActionResult failure(const QString& title, const QString& text, const QString& detail = QString())
{
    TextActionResult result;
    result.title = title;
    result.text = text;
    result.detail = detail;
    return result;
}

TextActionResult keyFailure(TextError error)
{
    TextActionResult result = failure(QStringLiteral("ZQV"), zqvcrypto::describe(error));
    result.keyProblem = true;
    return result;
}

TextActionResult encrypt(const zqvcrypto::Crypto& control, int algorithm, const QString& key, const QString& input)
{
    CryptoData data;
    int status = 0;
    data.SetFromText(input, CryptoData::kFormText, status);
    if (status != 0)
        return failure(QStringLiteral("Error"), QStringLiteral("Encrypt error"));
    auto cryptoKey = control.DeriveKey(key, algorithm, zqvcrypto::Crypto::keyLengthOf(algorithm));
    if (!cryptoKey)
        return keyFailure(TextError::Failed);
    const CryptoData sealed = cryptoKey->EncryptData(data, true);
    const TextError error = cryptoKey->lastTextError();
    int ignored = 0;
    cryptoKey->Destroy(ignored);
    if (error == TextError::KeyFailed)
        return keyFailure(error);
    if (error != TextError::None)
        return failure(QStringLiteral("Error"), QStringLiteral("Encrypt error"), zqvcrypto::describe(error));
    const QString printable = sealed.GetAsText(CryptoData::kFormPrintable);
    if (printable.isEmpty())
        return failure(QStringLiteral("Error"), QStringLiteral("Textbox error"));
    TextActionResult result;
    result.succeeded = true;
    result.output = printable;
    return result;
}

TextActionResult decrypt(const zqvcrypto::Crypto& control, int algorithm, const QString& key, const QString& input)
{
    const QString decryptionError = QStringLiteral("Decryption error.");
    CryptoData data;
    int status = 0;
    data.SetFromText(input, CryptoData::kFormPrintable, status);
    if (status != 0)
        return failure(QStringLiteral("ZQV"), decryptionError, zqvcrypto::describe(TextError::NotCiphertext));
    auto cryptoKey = control.DeriveKey(key, algorithm, zqvcrypto::Crypto::keyLengthOf(algorithm));
    if (!cryptoKey)
        return keyFailure(TextError::Failed);
    const CryptoData plain = cryptoKey->DecryptData(data, true);
    const TextError error = cryptoKey->lastTextError();
    int ignored = 0;
    cryptoKey->Destroy(ignored);
    if (error == TextError::KeyFailed)
        return keyFailure(error);
    if (error != TextError::None) {
        // A refused message gives no text at all: nothing half-decrypted may look like a result.
        TextActionResult result = failure(QStringLiteral("ZQV"), decryptionError, zqvcrypto::describe(error));
        result.clearOutput = true;
        return result;
    }
    TextActionResult result;
    result.succeeded = true;
    result.output = plain.GetAsText(CryptoData::kFormText);
    return result;
}

} // namespace

QStringList textAlgorithmNames()
{
    return {QStringLiteral("AES"), QStringLiteral("Twofish"), QStringLiteral("RSA")};
}

int textAlgorithmCode(const QString& name)
{
    const qsizetype index = textAlgorithmNames().indexOf(name);
    return index < 0 ? 0 : static_cast<int>(index) + 1;
}

TextActionResult performTextAction(
    const zqvcrypto::Crypto& control, int algorithm, const QString& key, const QString& input, TextAction action)
{
    if (key.isEmpty())
        return keyFailure(TextError::EmptyKey);
    return action == TextAction::Encrypt ? encrypt(control, algorithm, key, input)
                                         : decrypt(control, algorithm, key, input);
}

bool readTextFile(const QString& path, QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return false;
    QString all = QString::fromUtf8(bytes);
    all.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    // The last line's ending ends the line; it does not start an empty one.
    if (all.endsWith(QLatin1Char('\n')))
        all.chop(1);
    text = all;
    return true;
}

bool writeTextFile(const QString& path, const QString& text)
{
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    lines.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    lines += QLatin1String("\r\n");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = lines.toUtf8();
    if (file.write(bytes) != bytes.size())
        return false;
    return file.commit();
}

} // namespace zqvtools
