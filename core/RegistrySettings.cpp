#include "RegistrySettings.h"

#include <QByteArrayList>
#include <QDir>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cerrno>
#include <optional>

#include "FileUpdate.h"
#include "UserFile.h"

namespace zqvcore {

namespace {

// The old store trimmed only blanks, not other white space.
QString trimBlanks(const QString& text)
{
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text.at(first) == QLatin1Char(' '))
        ++first;
    while (last > first && text.at(last - 1) == QLatin1Char(' '))
        --last;
    return text.mid(first, last - first);
}

// Settings are a few short lines; anything larger is not our file.
constexpr qint64 kLargestSettingsFile = 1024 * 1024;

std::optional<SettingsError> validate(const QString& appName, const QString& section, const QString& key)
{
    if (trimBlanks(appName).isEmpty())
        return SettingsError(kAppNameEmpty, QStringLiteral("AppName may not be empty"));
    if (trimBlanks(section).isEmpty())
        return SettingsError(kSectionEmpty, QStringLiteral("Section may not be empty"));
    if (trimBlanks(key).isEmpty())
        return SettingsError(kKeyEmpty, QStringLiteral("Key may not be empty"));
    return std::nullopt;
}

SettingsError systemError(int error, const QString& description, const QString& reason = {})
{
    return SettingsError(kSettingsSystemBase + static_cast<std::uint32_t>(error), description, error, reason);
}

// A file that is not ours to read (a pipe, a link to a device, a huge file)
// is refused, named, and left as it is.
std::optional<SettingsError> readFailure(const UserFileRead& read, const QString& file, const QString& description)
{
    // A file where the application's folder belongs is an error, as it always was.
    if (read.missing() && read.error == ENOTDIR)
        return systemError(ENOTDIR, description);
    if (read.ok() || read.missing())
        return std::nullopt;
    if (read.status == UserFileRead::Status::Refused)
        return systemError(read.error, description, QStringLiteral("%1: %2").arg(file, read.reason));
    return systemError(read.error, description);
}

void appendEscapedByte(QByteArray& out, char byte)
{
    static const char digits[] = "0123456789ABCDEF";
    const auto value = static_cast<unsigned char>(byte);
    out += '%';
    out += digits[value >> 4];
    out += digits[value & 0x0f];
}

// Section and key names go into the file percent-encoded where a character
// would be read as INI syntax, and at their ends where blanks would be trimmed.
QByteArray encodeName(const QString& name)
{
    const QByteArray utf8 = name.toUtf8();
    qsizetype lead = 0;
    while (lead < utf8.size() && utf8.at(lead) == ' ')
        ++lead;
    qsizetype trail = utf8.size();
    while (trail > lead && utf8.at(trail - 1) == ' ')
        --trail;
    QByteArray out;
    for (qsizetype i = 0; i < utf8.size(); ++i) {
        const char c = utf8.at(i);
        const auto u = static_cast<unsigned char>(c);
        const bool special = u < 0x20 || u == 0x7f || QByteArrayView("%[]=;#\"\\").contains(c);
        if (special || (c == ' ' && (i < lead || i >= trail)))
            appendEscapedByte(out, c);
        else
            out += c;
    }
    return out;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QString decodeName(QByteArrayView text)
{
    QByteArray bytes;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == '%' && i + 2 < text.size() && hexValue(text.at(i + 1)) >= 0 &&
            hexValue(text.at(i + 2)) >= 0) {
            bytes += static_cast<char>(hexValue(text.at(i + 1)) * 16 + hexValue(text.at(i + 2)));
            i += 2;
        } else {
            bytes += text.at(i);
        }
    }
    return QString::fromUtf8(bytes);
}

QByteArrayView trimmed(QByteArrayView text)
{
    // Editors on other systems may start the file with a byte-order mark.
    if (text.startsWith("\xEF\xBB\xBF"))
        text = text.sliced(3);
    return text.trimmed();
}

QByteArray encodeValue(const QString& value)
{
    const QByteArray utf8 = value.toUtf8();
    bool quote = !utf8.isEmpty() && (utf8.front() == ' ' || utf8.front() == '\t' || utf8.back() == ' ' ||
                                     utf8.back() == '\t' || utf8.front() == '@');
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7f || QByteArrayView(",;#\"\\").contains(c))
            quote = true;
    }
    if (!quote)
        return utf8;
    static const char digits[] = "0123456789ABCDEF";
    QByteArray out = "\"";
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (u < 0x20 || u == 0x7f) {
                out += "\\x";
                out += digits[u >> 4];
                out += digits[u & 0x0f];
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

// A stored value as the file holds it: plain text, or the type code of what
// another writer of the format put there (a list, bytes, another variant).
struct StoredValue
{
    QString text;
    std::uint32_t typeCode = 0; // 0 for text
};

StoredValue decodeValue(QByteArrayView raw)
{
    static const QRegularExpression variant(QStringLiteral("^@[A-Za-z]+\\(.*\\)$"),
                                            QRegularExpression::DotMatchesEverythingOption);
    const QString whole = QString::fromUtf8(raw);
    if (whole.startsWith(QLatin1String("@ByteArray(")) && whole.endsWith(QLatin1Char(')')))
        return {QString(), kBinaryValueType};
    if (variant.match(whole).hasMatch())
        return {QString(), kOtherValueType};
    if (raw.startsWith("@@"))
        raw = raw.sliced(1);

    QByteArray bytes;
    bool inQuotes = false;
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw.at(i);
        if (c == '"') {
            inQuotes = !inQuotes;
            continue;
        }
        if (!inQuotes && c == ',')
            return {QString(), kListValueType};
        if (!inQuotes && c == ';')
            break;
        if (c == '\\' && i + 1 < raw.size()) {
            const char next = raw.at(++i);
            switch (next) {
            case 'n':
                bytes += '\n';
                break;
            case 'r':
                bytes += '\r';
                break;
            case 't':
                bytes += '\t';
                break;
            case '0':
                bytes += '\0';
                break;
            case 'x':
                if (i + 2 < raw.size() && hexValue(raw.at(i + 1)) >= 0 && hexValue(raw.at(i + 2)) >= 0) {
                    bytes += static_cast<char>(hexValue(raw.at(i + 1)) * 16 + hexValue(raw.at(i + 2)));
                    i += 2;
                } else {
                    bytes += 'x';
                }
                break;
            default:
                bytes += next;
            }
            continue;
        }
        bytes += c;
    }
    return {QString::fromUtf8(bytes), 0};
}

// The file as lines of bytes, so that everything not changed is written back
// exactly as it was, comments and hand edits included.
struct IniLines
{
    QByteArrayList lines;

    static IniLines parse(const QByteArray& content)
    {
        IniLines ini;
        if (!content.isEmpty()) {
            ini.lines = content.split('\n');
            if (content.endsWith('\n'))
                ini.lines.removeLast();
        }
        return ini;
    }

    [[nodiscard]] QByteArray text() const
    {
        QByteArray out;
        for (const QByteArray& line : lines)
            out += line + '\n';
        return out;
    }

    static std::optional<QString> sectionName(QByteArrayView line)
    {
        const QByteArrayView inner = trimmed(line);
        if (inner.size() >= 2 && inner.front() == '[' && inner.back() == ']')
            return decodeName(inner.sliced(1, inner.size() - 2));
        return std::nullopt;
    }

    static bool isComment(QByteArrayView line)
    {
        const QByteArrayView text = trimmed(line);
        return text.isEmpty() || text.front() == ';' || text.front() == '#';
    }

    // The first section of that name: index of its header, or -1.
    [[nodiscard]] qsizetype findSection(const QString& section) const
    {
        for (qsizetype i = 0; i < lines.size(); ++i) {
            if (sectionName(lines.at(i)) == section)
                return i;
        }
        return -1;
    }

    // One past the section's last line.
    [[nodiscard]] qsizetype sectionEnd(qsizetype header) const
    {
        qsizetype i = header + 1;
        while (i < lines.size() && !sectionName(lines.at(i)))
            ++i;
        return i;
    }

    [[nodiscard]] qsizetype findKey(qsizetype header, const QString& key) const
    {
        const qsizetype end = sectionEnd(header);
        for (qsizetype i = header + 1; i < end; ++i) {
            const QByteArray& line = lines.at(i);
            if (isComment(line))
                continue;
            const qsizetype equals = line.indexOf('=');
            if (equals >= 0 && decodeName(trimmed(QByteArrayView(line).first(equals))) == key)
                return i;
        }
        return -1;
    }

    static QByteArrayView rawValue(const QByteArray& line)
    {
        return trimmed(QByteArrayView(line).sliced(line.indexOf('=') + 1));
    }

    void set(const QString& section, const QString& key, const QString& value)
    {
        const QByteArray entry = encodeName(key) + '=' + encodeValue(value);
        const qsizetype header = findSection(section);
        if (header < 0) {
            if (!lines.isEmpty() && !trimmed(lines.last()).isEmpty())
                lines.append(QByteArray());
            lines.append('[' + encodeName(section) + ']');
            lines.append(entry);
            return;
        }
        if (const qsizetype found = findKey(header, key); found >= 0) {
            lines[found] = entry;
            return;
        }
        // After the section's last entry, before the blank lines that part it from the next.
        qsizetype at = sectionEnd(header);
        while (at > header + 1 && trimmed(lines.at(at - 1)).isEmpty())
            --at;
        lines.insert(at, entry);
    }
};

// Keeps an application name from leaving the configuration folder.
QString folderName(const QString& appName)
{
    QString name = trimBlanks(appName);
    name.replace(QLatin1Char('%'), QLatin1String("%25"));
    name.replace(QLatin1Char('/'), QLatin1String("%2F"));
    if (name == QLatin1String(".") || name == QLatin1String(".."))
        name.replace(QLatin1Char('.'), QLatin1String("%2E"));
    return name;
}

} // namespace

RegistrySettings::RegistrySettings()
    : m_configFolder(defaultConfigFolder())
{
}

RegistrySettings::RegistrySettings(const QString& configFolder)
    : m_configFolder(configFolder)
{
}

QString RegistrySettings::defaultConfigFolder()
{
    // The variable first, so that a test-mode program still follows a test's folder.
    const QString fromEnvironment = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(fromEnvironment))
        return fromEnvironment;
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
}

QString RegistrySettings::settingsFile(const QString& appName) const
{
    const QString name = folderName(appName);
    return m_configFolder + QLatin1Char('/') + name + QLatin1Char('/') + name + QLatin1String(".conf");
}

SettingsSaveResult RegistrySettings::SaveSetting(const QString& appName,
                                                 const QString& section,
                                                 const QString& key,
                                                 const QString& value) const
{
    if (std::optional<SettingsError> invalid = validate(appName, section, key))
        return *std::move(invalid);
    const QString file = settingsFile(appName);
    const QString folder = file.left(file.lastIndexOf(QLatin1Char('/')));
    const QString openFailed = QStringLiteral("Could not open/create registry section");

    if (const int error = makeFolders(folder, 0700); error != 0)
        return systemError(error, openFailed);
    const FileLock lock(file + QLatin1String(".lock"));
    if (lock.error() != 0)
        return systemError(lock.error(), openFailed);
    const UserFileRead current = readUserFile(file, kLargestSettingsFile);
    if (std::optional<SettingsError> failure = readFailure(current, file, openFailed))
        return *std::move(failure);

    IniLines ini = IniLines::parse(current.bytes);
    ini.set(trimBlanks(section), key, value);
    const QByteArray text = ini.text();
    if (text.size() > kLargestSettingsFile)
        return systemError(EFBIG,
                           QStringLiteral("Could not set key value"),
                           QStringLiteral("%1 would be larger than %2").arg(file, sizeInWords(kLargestSettingsFile)));
    if (const int error = replaceFileAtomically(file, text, current.ok() ? current.mode : 0600); error != 0)
        return systemError(error, QStringLiteral("Could not set key value"));
    return SettingsSaved{};
}

SettingsResult<QString> RegistrySettings::GetSetting(const QString& appName,
                                                     const QString& section,
                                                     const QString& key,
                                                     const QString& defaultValue) const
{
    if (std::optional<SettingsError> invalid = validate(appName, section, key))
        return *std::move(invalid);
    // No lock: every writer replaces the file whole, so a reader sees the old
    // file or the new one.
    const QString file = settingsFile(appName);
    const UserFileRead current = readUserFile(file, kLargestSettingsFile);
    if (std::optional<SettingsError> failure =
            readFailure(current, file, QStringLiteral("Could not open registry section")))
        return *std::move(failure);
    if (current.missing())
        return defaultValue;

    const IniLines ini = IniLines::parse(current.bytes);
    const qsizetype header = ini.findSection(trimBlanks(section));
    if (header < 0)
        return defaultValue;
    const qsizetype line = ini.findKey(header, key);
    if (line < 0)
        return defaultValue;
    const StoredValue stored = decodeValue(IniLines::rawValue(ini.lines.at(line)));
    if (stored.typeCode != 0)
        return SettingsError(kSettingsSystemBase + stored.typeCode, QStringLiteral("Registry data not a string"));
    return stored.text;
}

} // namespace zqvcore
