#include "TextTool.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <cerrno>

#include <iconv.h>
#include <langinfo.h>

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

// Encrypts or decrypts `data` with a key made from `key`, wiped at once after.
// False when the key itself failed (`error` says how); otherwise `error` is
// the operation's own outcome.
bool runWithKey(const zqvcrypto::Crypto& control,
                int algorithm,
                const QString& key,
                bool encrypting,
                const CryptoData& data,
                CryptoData& result,
                TextError& error)
{
    auto cryptoKey = control.DeriveKey(key, algorithm, zqvcrypto::Crypto::keyLengthOf(algorithm));
    if (!cryptoKey) {
        error = TextError::Failed;
        return false;
    }
    result = encrypting ? cryptoKey->EncryptData(data, true) : cryptoKey->DecryptData(data, true);
    error = cryptoKey->lastTextError();
    int ignored = 0;
    cryptoKey->Destroy(ignored);
    return error != TextError::KeyFailed;
}

TextActionResult encrypt(const zqvcrypto::Crypto& control, int algorithm, const QString& key, const QString& input)
{
    CryptoData data;
    int status = 0;
    data.SetFromText(input, CryptoData::kFormText, status);
    if (status != 0)
        return failure(QStringLiteral("Error"), QStringLiteral("Encrypt error"));
    CryptoData sealed;
    TextError error = TextError::None;
    if (!runWithKey(control, algorithm, key, true, data, sealed, error))
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
    CryptoData plain;
    TextError error = TextError::None;
    if (!runWithKey(control, algorithm, key, false, data, plain, error))
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

QByteArray localeCodeset()
{
    return QByteArray(::nl_langinfo(CODESET));
}

bool decodeText(const QByteArray& bytes, const QByteArray& codeset, QString& text)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString decoded = utf8.decode(bytes);
    if (!utf8.hasError()) {
        text = decoded;
        return true;
    }
    const QByteArray name = codeset.toUpper();
    if (name.isEmpty() || name == "UTF-8" || name == "UTF8")
        return false;
    iconv_t converter = ::iconv_open("UTF-8", codeset.constData());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return false;
    QByteArray out;
    out.resize(bytes.size() * 4 + 16);
    char* in = const_cast<char*>(bytes.constData());
    std::size_t inLeft = static_cast<std::size_t>(bytes.size());
    char* to = out.data();
    std::size_t outLeft = static_cast<std::size_t>(out.size());
    // Every byte must convert; a single-byte encoding that leaves some bytes
    // undefined (ASCII, or the C locale) refuses them.
    const bool converted = ::iconv(converter, &in, &inLeft, &to, &outLeft) != static_cast<std::size_t>(-1) &&
                           ::iconv(converter, nullptr, nullptr, &to, &outLeft) != static_cast<std::size_t>(-1);
    ::iconv_close(converter);
    if (!converted || inLeft != 0)
        return false;
    out.truncate(static_cast<qsizetype>(to - out.data()));
    text = QString::fromUtf8(out);
    return true;
}

TextFileRead readTextFile(const QString& path, QString& text)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return TextFileRead::Unreadable;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return TextFileRead::Unreadable;
    QString all;
    if (!decodeText(bytes, localeCodeset(), all))
        return TextFileRead::NotInEncoding;
    all.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    // The last line's ending ends the line; it does not start an empty one.
    if (all.endsWith(QLatin1Char('\n')))
        all.chop(1);
    text = all;
    return TextFileRead::Read;
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
