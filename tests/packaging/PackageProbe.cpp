// Asks Qt what a desktop asks of the installed files: which type a file has
// (through the shared MIME database in XDG_DATA_DIRS) and how large an icon is.
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QMimeDatabase>
#include <cstdio>

#include "ZqvFormat.h"

namespace {

int fail(const char* text)
{
    std::fprintf(stderr, "package_probe: %s\n", text);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3)
        return fail("usage: package_probe mime|mime-content|write-magic|image-size FILE");
    const QString& command = args.at(1);
    const QString& path = args.at(2);

    if (command == QLatin1String("mime") || command == QLatin1String("mime-content")) {
        const QMimeDatabase::MatchMode mode =
            command == QLatin1String("mime") ? QMimeDatabase::MatchDefault : QMimeDatabase::MatchContent;
        std::printf("%s\n", QMimeDatabase().mimeTypeForFile(path, mode).name().toUtf8().constData());
        return 0;
    }
    if (command == QLatin1String("write-magic")) {
        // The start of a header as the programs write it, padded to full size.
        QByteArray bytes(reinterpret_cast<const char*>(zqvcrypto::zqv::kMagic.data()),
                         static_cast<qsizetype>(zqvcrypto::zqv::kMagic.size()));
        bytes.append(static_cast<qsizetype>(zqvcrypto::zqv::kHeaderSize) - bytes.size(), '\1');
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return fail("cannot write the file");
        return 0;
    }
    if (command == QLatin1String("image-size")) {
        const QImage image(path);
        if (image.isNull())
            return fail("not an image Qt can read");
        std::printf("%dx%d\n", image.width(), image.height());
        return 0;
    }
    return fail("unknown command");
}
