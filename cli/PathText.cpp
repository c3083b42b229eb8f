#include "PathText.h"

#include <QByteArray>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace cli {
namespace {

// Length of the UTF-8 sequence at `at`, or 0 when the bytes there are none.
std::size_t utf8Length(const std::string& text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    char32_t value = 0;
    if (lead < 0x80)
        return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        value = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        value = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > text.size())
        return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and values past the last code point.
    if ((length == 3 && value < 0x800) || (length == 4 && (value < 0x10000 || value > 0x10FFFF)) ||
        (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString shown(const std::string& path)
{
    static const char kHex[] = "0123456789abcdef";
    std::string out;
    for (std::size_t i = 0; i < path.size();) {
        const auto c = static_cast<unsigned char>(path[i]);
        const std::size_t length = utf8Length(path, i);
        if (length == 0 || c < 0x20 || c == 0x7F) {
            if (c == '\n')
                out += "\\n";
            else if (c == '\t')
                out += "\\t";
            else if (c == '\r')
                out += "\\r";
            else
                out += std::string("\\x") + kHex[c >> 4] + kHex[c & 0xF];
            ++i;
            continue;
        }
        if (c == '\\')
            out += "\\\\";
        else
            out.append(path, i, length);
        i += length;
    }
    const QString text = QString::fromUtf8(out.data(), static_cast<qsizetype>(out.size()));
    // Control and direction characters beyond ASCII would move or turn the text around.
    QString safe;
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            safe += QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        else
            safe += c;
    }
    return safe;
}

std::string absoluteClean(const std::string& path)
{
    std::string full = path;
    if (full.empty() || full[0] != '/') {
        std::vector<char> folder(4096);
        while (::getcwd(folder.data(), folder.size()) == nullptr && folder.size() < (1u << 20))
            folder.resize(folder.size() * 2);
        full = std::string(folder.data()) + '/' + path;
    }
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= full.size()) {
        std::size_t end = full.find('/', start);
        if (end == std::string::npos)
            end = full.size();
        const std::string part = full.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
    std::string clean;
    for (const std::string& part : parts)
        clean += '/' + part;
    return clean.empty() ? std::string("/") : clean;
}

bool exists(const std::string& path)
{
    struct stat info
    {
    };
    return ::stat(path.c_str(), &info) == 0;
}

} // namespace cli
