#pragma once

#include <QString>
#include <QStringList>

namespace zqvcrypto {
class Crypto;
}

namespace zqvtools {

enum class TextAction { Encrypt, Decrypt };

// What the text window does after one action: either new output, or a
// message (and whether the output box is emptied).
struct TextActionResult
{
    bool succeeded = false;
    QString output;
    QString title;
    QString text;
    QString detail;
    bool clearOutput = false;
    bool keyProblem = false; // the key box needs the user's attention, not the text
};

// The algorithm names in the window's list, in the order of their codes (1, 2, 3).
[[nodiscard]] QStringList textAlgorithmNames();
[[nodiscard]] int textAlgorithmCode(const QString& name);

// Derives the key and ciphers the text; the whole of it may take a second
// (the KDF), so the window calls it off the interface thread.
[[nodiscard]] TextActionResult performTextAction(
    const zqvcrypto::Crypto& control, int algorithm, const QString& key, const QString& input, TextAction action);

enum class TextFileRead { Read, Unreadable, NotInEncoding };

// A text file's lines joined with line feeds: the line structure stays, and
// each line's own ending (CR LF or LF) is dropped. The bytes are UTF-8, or
// else in the locale's encoding; bytes that are neither are refused rather
// than shown as replacement characters.
[[nodiscard]] TextFileRead readTextFile(const QString& path, QString& text);

// The text of `bytes`: UTF-8 when they are that, else in `codeset` (a name
// iconv knows). False when they are neither.
[[nodiscard]] bool decodeText(const QByteArray& bytes, const QByteArray& codeset, QString& text);

// The name of the locale's character encoding, as nl_langinfo gives it.
[[nodiscard]] QByteArray localeCodeset();

// Writes `text` with CR LF line breaks and a closing CR LF; the file appears
// under its name only once it is complete.
[[nodiscard]] bool writeTextFile(const QString& path, const QString& text);

} // namespace zqvtools
