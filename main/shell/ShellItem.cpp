#include "ShellItem.h"

#include "FileTypes.h"

namespace zqvshell {

namespace {

template <typename T> int threeWay(const T& a, const T& b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

int compareNames(const ShellItem& a, const ShellItem& b)
{
    if (a.nameKey && b.nameKey) {
        if (const int byKey = a.nameKey->compare(*b.nameKey); byKey != 0) {
            return byKey < 0 ? -1 : 1;
        }
    }
    // Names the user's collation holds equal ("a" and "A", "01" and "1")
    // still get one fixed order.
    return threeWay(a.id, b.id);
}

// Length of the valid UTF-8 sequence at `i`, or 0 when it is not one.
qsizetype validSequence(const QByteArray& bytes, qsizetype i)
{
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = byte(i);
    qsizetype length = 0;
    unsigned min = 0;
    if (lead < 0x80) {
        return 1;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size()) {
        return 0;
    }
    unsigned code = lead & (0xFF >> (length + 1));
    for (qsizetype k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return 0;
        }
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
        return 0;
    }
    return length;
}

} // namespace

int compareItems(int column, const ShellItem& a, const ShellItem& b, bool fileSystemColumns)
{
    if (a.rank != b.rank) {
        return threeWay(a.rank, b.rank);
    }
    if (a.folder != b.folder) {
        return a.folder ? -1 : 1;
    }
    int result = 0;
    const auto typeName = [](const ShellItem& item) { return item.type != nullptr ? item.type->typeName : QString(); };
    if (!fileSystemColumns && column == 1) {
        column = static_cast<int>(Column::Type);
    }
    switch (column) {
    case static_cast<int>(Column::Size):
        result = threeWay(a.size, b.size);
        break;
    case static_cast<int>(Column::Type):
        result = typeName(a).compare(typeName(b), Qt::CaseInsensitive);
        result = threeWay(result, 0);
        break;
    case static_cast<int>(Column::Modified):
        result = threeWay(a.modified, b.modified);
        break;
    default:
        break;
    }
    return result != 0 ? result : compareNames(a, b);
}

bool isExactText(const QByteArray& bytes)
{
    for (qsizetype i = 0; i < bytes.size();) {
        const qsizetype length = validSequence(bytes, i);
        if (length == 0) {
            return false;
        }
        i += length;
    }
    return true;
}

QString displayNameFromBytes(const QByteArray& bytes)
{
    QString text = QString::fromUtf8(bytes);
    // The replacement character marks a decoding fault, unless the name holds it.
    if (!text.contains(QChar::ReplacementCharacter) || isExactText(bytes)) {
        return text;
    }
    text.clear();
    qsizetype start = 0;
    qsizetype i = 0;
    while (i < bytes.size()) {
        const qsizetype length = validSequence(bytes, i);
        if (length > 0) {
            i += length;
            continue;
        }
        text += QString::fromUtf8(bytes.mid(start, i - start));
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text += QStringLiteral("\\x") + QString::number(byte, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        ++i;
        start = i;
    }
    text += QString::fromUtf8(bytes.mid(start));
    return text;
}

} // namespace zqvshell
