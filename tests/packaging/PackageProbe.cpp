// Asks Qt what a desktop asks of the installed files (which type a file has,
// through the shared MIME database in XDG_DATA_DIRS; how large an icon is),
// and writes a real encrypted file to ask about.
#include <QGuiApplication>
#include <QImage>
#include <QMimeDatabase>
#include <QPixmap>
#include <cstdio>

#include "AppIcon.h"
#include "Crypto.h"

namespace {

int fail(const char* text)
{
    std::fprintf(stderr, "package_probe: %s\n", text);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() < 3)
        return fail(
            "usage: package_probe mime|mime-content|image-size FILE | window-icon - | encrypt SOURCE DESTINATION");
    const QString& command = args.at(1);
    const QString& path = args.at(2);

    if (command == QLatin1String("mime") || command == QLatin1String("mime-content")) {
        const QMimeDatabase::MatchMode mode =
            command == QLatin1String("mime") ? QMimeDatabase::MatchDefault : QMimeDatabase::MatchContent;
        std::printf("%s\n", QMimeDatabase().mimeTypeForFile(path, mode).name().toUtf8().constData());
        return 0;
    }
    if (command == QLatin1String("encrypt") && args.size() == 4) {
        // A real file as the programs write it, with a cheap key derivation.
        zqvcrypto::Crypto crypto;
        crypto.setKdfParams({64, 1, 1});
        const auto key = crypto.DeriveKey(QStringLiteral("password"), zqvcrypto::Crypto::kAlgorithmAes, 256);
        bool success = false;
        if (key != nullptr)
            key->EncryptFile(path, args.at(3), success);
        return success ? 0 : fail("cannot encrypt the file");
    }
    if (command == QLatin1String("window-icon")) {
        // The sizes the windows' embedded icon really delivers, each drawn at
        // its own size; FILE is unused.
        const QIcon icon = cryptelle::applicationIcon();
        for (const QSize& size : icon.availableSizes()) {
            const QPixmap pixmap = icon.pixmap(size);
            std::printf("%dx%d\n", pixmap.width(), pixmap.height());
        }
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
