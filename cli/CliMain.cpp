#include "CliMain.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include <cryptelle/Version.h>
#include <fcntl.h>
#include <unistd.h>

#include "Commands.h"
#include "Console.h"
#include "Crypto.h"
#include "PathText.h"

namespace cli {
namespace {

const char* const kDescription =
    "Encrypts, decrypts, checks and wipes files with the Cryptelle suite's formats.\n"
    "\n"
    "Commands:\n"
    "  encrypt FILE...     each FILE into FILE.zqv (-o names the output of one file)\n"
    "  decrypt FILE.zqv... each FILE.zqv into FILE\n"
    "  verify FILE.zqv...  authenticates every byte; writes nothing; one line per file\n"
    "  sfx FILE            a self-extracting FILE.exe that asks for the password itself\n"
    "  pack FOLDER         the folder packed into FOLDER.zip and encrypted: FOLDER.zip.zqv\n"
    "                      (FOLDER.zip.exe with --sfx)\n"
    "  wipe FILE...        overwrites, renames and deletes each file\n"
    "  hash FILE...        SHA-256 lines (and MD5 lines with --md5) as sha256sum and md5sum\n"
    "                      print them, so that \"sha256sum -c\" and \"md5sum -c\" can check them\n"
    "\n"
    "The password is read from the descriptor given with --passphrase-fd, or from the\n"
    "program named by ZQV_ASKPASS, or from the terminal without echo (twice for new\n"
    "files), or from the program named by SSH_ASKPASS. Never from the command line.\n"
    "Many files in one call take one password, and its key is derived once.\n"
    "\n"
    "Every new file stays unnamed until it is complete and on the disk; an existing\n"
    "file is never replaced without --force.\n"
    "\n"
    "Exit status: 0 done; 1 a file could not be read or written, or a wipe failed;\n"
    "2 wrong usage; 3 wrong password; 4 damaged, incomplete or not an encrypted file;\n"
    "5 an input or output was refused (exists, is a folder, same file, changed);\n"
    "6 no password (none could be read, empty, or the two entries differed).\n"
    "With several files the status is that of the first file that failed.";

int usage(const QString& text)
{
    std::fprintf(stderr, "cryptelle: %s\nTry \"cryptelle --help\".\n", text.toLocal8Bit().constData());
    return static_cast<int>(ExitStatus::Usage);
}

bool parseNumber(const QString& text, int low, int high, int& value)
{
    bool ok = false;
    value = text.toInt(&ok);
    return ok && value >= low && value <= high;
}

} // namespace

int runCryptelle(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("cryptelle"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(cryptelle::kVersionString));

    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromLatin1(kDescription));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Shows this help."));
    const QCommandLineOption version(QStringList{QStringLiteral("V"), QStringLiteral("version")},
                                     QStringLiteral("Shows the version."));
    const QCommandLineOption output(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                                    QStringLiteral("The output file, when one file is given."),
                                    QStringLiteral("file"));
    const QCommandLineOption force(QStringList{QStringLiteral("f"), QStringLiteral("force")},
                                   QStringLiteral("Replaces an existing output file."));
    const QCommandLineOption wipeSource(
        QStringLiteral("wipe-source"),
        QStringLiteral("encrypt, decrypt, sfx: wipes each source once its new file was read back from the disk "
                       "and authenticated, and only if the source is unchanged."));
    const QCommandLineOption passphraseFd(QStringLiteral("passphrase-fd"),
                                          QStringLiteral("Reads the password from this open descriptor (one line)."),
                                          QStringLiteral("n"));
    const QCommandLineOption jobs(QStringList{QStringLiteral("j"), QStringLiteral("jobs")},
                                  QStringLiteral("Files worked on at once (default: chosen by their size)."),
                                  QStringLiteral("n"));
    const QCommandLineOption level(QStringLiteral("level"),
                                   QStringLiteral("pack: compression level, 0 (store) to 9; default 6."),
                                   QStringLiteral("n"));
    const QCommandLineOption store(QStringLiteral("store"), QStringLiteral("pack: do not compress (level 0)."));
    const QCommandLineOption recursive(
        QStringList{QStringLiteral("r"), QStringLiteral("recursive")},
        QStringLiteral("pack: takes the whole tree, not only the files directly in it."));
    const QCommandLineOption zipPassword(
        QStringLiteral("zip-password"),
        QStringLiteral("pack: the archive inside also asks for the password once decrypted."));
    const QCommandLineOption sfxOption(QStringLiteral("sfx"),
                                       QStringLiteral("pack: makes a self-extracting FOLDER.zip.exe."));
    const QCommandLineOption sha256(QStringLiteral("sha256"), QStringLiteral("hash: SHA-256 lines (the default)."));
    const QCommandLineOption md5(QStringLiteral("md5"),
                                 QStringLiteral("hash: MD5 lines (with --sha256 as well: "
                                                "after the SHA-256 lines)."));
    for (const QCommandLineOption* option : {&help,
                                             &version,
                                             &output,
                                             &force,
                                             &wipeSource,
                                             &passphraseFd,
                                             &jobs,
                                             &level,
                                             &store,
                                             &recursive,
                                             &zipPassword,
                                             &sfxOption,
                                             &sha256,
                                             &md5})
        parser.addOption(*option);
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("encrypt, decrypt, verify, sfx, pack, wipe or hash."));
    parser.addPositionalArgument(
        QStringLiteral("files"), QStringLiteral("The files (or the folder) to work on."), QStringLiteral("FILE..."));

    // Each byte of the command line as one character, so that file names in
    // any encoding (or none) come back out exactly as they were given; the
    // option names and numbers are plain ASCII either way.
    QStringList raw;
    for (int i = 0; i < argc; ++i)
        raw.push_back(QString::fromLatin1(argv[i]));
    const auto bytesOf = [](const QString& text) { return text.toLatin1().toStdString(); };
    if (!parser.parse(raw))
        return usage(parser.errorText());
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toLocal8Bit().constData(), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("cryptelle %s\n", cryptelle::kVersionString);
        return 0;
    }
    QStringList arguments = parser.positionalArguments();
    if (arguments.isEmpty())
        return usage(QStringLiteral("no command was given."));
    const QString command = arguments.takeFirst();
    const QStringList known = {QStringLiteral("encrypt"),
                               QStringLiteral("decrypt"),
                               QStringLiteral("verify"),
                               QStringLiteral("sfx"),
                               QStringLiteral("pack"),
                               QStringLiteral("wipe"),
                               QStringLiteral("hash")};
    if (!known.contains(command))
        return usage(QLatin1String("unknown command \"") + shown(bytesOf(command)) + QLatin1Char('"'));
    if (arguments.isEmpty())
        return usage(command + QLatin1String(": no file was given."));

    // Each option belongs to some commands only; elsewhere it is a mistake.
    const auto allowedOnly = [&](const QCommandLineOption& option, const QStringList& commands) {
        return !parser.isSet(option) || commands.contains(command);
    };
    const QStringList ciphers = {QStringLiteral("encrypt"),
                                 QStringLiteral("decrypt"),
                                 QStringLiteral("verify"),
                                 QStringLiteral("sfx"),
                                 QStringLiteral("pack")};
    const QStringList writers = {
        QStringLiteral("encrypt"), QStringLiteral("decrypt"), QStringLiteral("sfx"), QStringLiteral("pack")};
    const QStringList packOnly = {QStringLiteral("pack")};
    struct Rule
    {
        const QCommandLineOption* option;
        const QStringList* commands;
    };
    const QStringList wipers = {QStringLiteral("encrypt"), QStringLiteral("decrypt"), QStringLiteral("sfx")};
    const QStringList hashOnly = {QStringLiteral("hash")};
    const QStringList manyFiles = {QStringLiteral("encrypt"), QStringLiteral("decrypt"), QStringLiteral("verify")};
    for (const Rule& rule : {Rule{&output, &writers},
                             Rule{&force, &writers},
                             Rule{&wipeSource, &wipers},
                             Rule{&passphraseFd, &ciphers},
                             Rule{&jobs, &manyFiles},
                             Rule{&level, &packOnly},
                             Rule{&store, &packOnly},
                             Rule{&recursive, &packOnly},
                             Rule{&zipPassword, &packOnly},
                             Rule{&sfxOption, &packOnly},
                             Rule{&sha256, &hashOnly},
                             Rule{&md5, &hashOnly}}) {
        if (!allowedOnly(*rule.option, *rule.commands))
            return usage(command + QLatin1String(": --") + rule.option->names().constLast() +
                         QLatin1String(" does not apply here."));
    }

    CallOptions call;
    call.output = bytesOf(parser.value(output));
    call.force = parser.isSet(force);
    call.wipeSource = parser.isSet(wipeSource);
    if (parser.isSet(output) && call.output.empty())
        return usage(QStringLiteral("-o needs a file name."));
    if (!call.output.empty() && arguments.size() > 1)
        return usage(command + QLatin1String(": -o names one output, but several files were given."));
    if ((command == QLatin1String("sfx") || command == QLatin1String("pack")) && arguments.size() > 1)
        return usage(command + QLatin1String(" takes one ") +
                     (command == QLatin1String("pack") ? QLatin1String("folder.") : QLatin1String("file.")));
    if (parser.isSet(jobs) && !parseNumber(parser.value(jobs), 1, 256, call.jobs))
        return usage(QStringLiteral("--jobs takes a number from 1 to 256."));
    int descriptor = -1;
    if (parser.isSet(passphraseFd)) {
        if (!parseNumber(parser.value(passphraseFd), 0, 1 << 20, descriptor))
            return usage(QStringLiteral("--passphrase-fd takes the number of an open descriptor."));
        if (::fcntl(descriptor, F_GETFD) < 0)
            return usage(QStringLiteral("--passphrase-fd %1: that descriptor is not open.").arg(descriptor));
    }
    PackOptions pack;
    if (parser.isSet(level) && !parseNumber(parser.value(level), 0, 9, pack.level))
        return usage(QStringLiteral("--level takes a number from 0 to 9."));
    if (parser.isSet(store)) {
        if (parser.isSet(level) && pack.level != 0)
            return usage(QStringLiteral("--store and --level contradict each other."));
        pack.level = 0;
    }
    pack.recursive = parser.isSet(recursive);
    pack.zipPassword = parser.isSet(zipPassword);
    pack.selfExtracting = parser.isSet(sfxOption);
    HashOptions hash;
    hash.md5 = parser.isSet(md5);
    hash.sha256 = parser.isSet(sha256) || !hash.md5;

    Console console(::isatty(STDERR_FILENO) == 1);
    zqvcrypto::Crypto crypto;
    Commands commands(console, crypto, PasswordReader(descriptor));
    Commands::Paths files;
    for (const QString& argument : arguments)
        files.push_back(bytesOf(argument));
    ExitStatus status = ExitStatus::Success;
    if (command == QLatin1String("encrypt"))
        status = commands.encrypt(files, call);
    else if (command == QLatin1String("decrypt"))
        status = commands.decrypt(files, call);
    else if (command == QLatin1String("verify"))
        status = commands.verify(files, call);
    else if (command == QLatin1String("sfx"))
        status = commands.sfx(files.front(), call);
    else if (command == QLatin1String("pack"))
        status = commands.pack(files.front(), call, pack);
    else if (command == QLatin1String("wipe"))
        status = commands.wipe(files);
    else
        status = commands.hash(files, hash);
    return static_cast<int>(status);
}

} // namespace cli
