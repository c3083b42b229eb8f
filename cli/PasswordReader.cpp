#include "PasswordReader.h"

#include <QStringDecoder>
#include <algorithm>

#include <AskPass.h>
#include <openssl/crypto.h>

namespace cli {
namespace {

using cryptelle::AskOutcome;
using cryptelle::PasswordLine;
using zqvcrypto::SecureBuffer;

static_assert(PasswordLine::kCapacity == PasswordReader::kMaxLength);

enum class Asked { Got, Unavailable, Failed };

SecureBuffer bufferOf(const PasswordLine& line)
{
    return SecureBuffer(reinterpret_cast<const unsigned char*>(line.data()), line.size());
}

Asked askTerminal(const char* prompt, SecureBuffer& password, QString& whyNot)
{
    PasswordLine line;
    const AskOutcome outcome = cryptelle::askTerminal(prompt, line);
    if (outcome == AskOutcome::NoTerminal)
        return Asked::Unavailable;
    if (outcome == AskOutcome::Got) {
        password = bufferOf(line);
        return Asked::Got;
    }
    whyNot = outcome == AskOutcome::TooLong ? QStringLiteral("The password is longer than 4096 bytes.")
                                            : QStringLiteral("No password was typed.");
    return Asked::Failed;
}

// Runs a helper with the prompt as its argument; it prints the password.
Asked askHelper(const char* helper, const char* named, const char* prompt, SecureBuffer& password, QString& whyNot)
{
    PasswordLine line;
    const AskOutcome outcome = cryptelle::askHelper({helper, prompt}, line);
    if (outcome == AskOutcome::Got) {
        password = bufferOf(line);
        return Asked::Got;
    }
    const QString name =
        QString::fromLocal8Bit(helper) + QLatin1String(" (named by ") + QLatin1String(named) + QLatin1Char(')');
    whyNot = outcome == AskOutcome::NotRun
                 ? QLatin1String("The password helper ") + name + QLatin1String(" could not be run.")
             : outcome == AskOutcome::TooLong
                 ? QLatin1String("The password from ") + name + QLatin1String(" is longer than 4096 bytes.")
                 : QLatin1String("The password helper ") + name + QLatin1String(" gave no password.");
    return Asked::Failed;
}

Asked askOnce(const char* prompt, SecureBuffer& password, QString& whyNot)
{
    if (const char* helper = cryptelle::helperNamedBy("ZQV_ASKPASS"))
        return askHelper(helper, "ZQV_ASKPASS", prompt, password, whyNot);
    if (const Asked typed = askTerminal(prompt, password, whyNot); typed != Asked::Unavailable)
        return typed;
    if (const char* helper = cryptelle::helperNamedBy("SSH_ASKPASS"))
        return askHelper(helper, "SSH_ASKPASS", prompt, password, whyNot);
    whyNot = QStringLiteral("There is no terminal to ask for the password: use --passphrase-fd, or name a program "
                            "that prints it in ZQV_ASKPASS.");
    return Asked::Unavailable;
}

bool equal(const SecureBuffer& a, const SecureBuffer& b)
{
    return a.size() == b.size() && (a.size() == 0 || CRYPTO_memcmp(a.data(), b.data(), a.size()) == 0);
}

} // namespace

bool PasswordReader::read(bool confirm, SecureBuffer& password, QString& whyNot) const
{
    password = SecureBuffer();
    if (m_descriptor >= 0) {
        PasswordLine line;
        const AskOutcome result = cryptelle::readPasswordLine(m_descriptor, line);
        if (result == AskOutcome::ReadFailed) {
            whyNot = QStringLiteral("The password could not be read from descriptor %1.").arg(m_descriptor);
            return false;
        }
        if (result == AskOutcome::TooLong) {
            whyNot = QStringLiteral("The password is longer than 4096 bytes.");
            return false;
        }
        password = bufferOf(line);
    } else {
        if (askOnce("Password: ", password, whyNot) != Asked::Got)
            return false;
        if (confirm && !password.empty()) {
            SecureBuffer again;
            if (askOnce("Password again: ", again, whyNot) != Asked::Got)
                return false;
            if (!equal(password, again)) {
                password = SecureBuffer();
                whyNot = QStringLiteral("The passwords entered do not match.");
                return false;
            }
        }
    }
    if (password.empty()) {
        whyNot = QStringLiteral("Please enter a password.");
        return false;
    }
    return true;
}

bool passwordText(const SecureBuffer& password, QString& text)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    text = decoder.decode(QByteArrayView(password.data(), static_cast<qsizetype>(password.size())));
    if (decoder.hasError()) {
        cleanse(text);
        return false;
    }
    return true;
}

void cleanse(QString& text)
{
    // Unshared here: the caller made it from the bytes and handed it to no one.
    std::fill(text.begin(), text.end(), QChar(u'\0'));
    text.clear();
}

} // namespace cli
