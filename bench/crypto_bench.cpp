// Encrypts and decrypts a file the way a user meets it, next to other tools.
//
//   crypto_bench [folder] [size in MiB] [rounds]     (defaults: ., 1024, 5; run as root)
//
// Ours runs as its own process: the engine's encrypt or decrypt dialog is
// built, filled in and its button pressed; the process then ends. The clock
// runs from starting the process to its end, so it covers the program start,
// the key derivation, the temporary file, the flush, the rename and the
// progress bar. Every peer is timed from its start to its end plus an fsync of
// its output. Passphrase peers get the passphrase on a pseudo-terminal, as a
// user would type it. Cold rows drop the page cache before every run; warm
// rows read the input into it first. Rounds run every tool once, in an order
// that rotates from round to round; nothing is subtracted from any time.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "BenchSupport.h"
#include "CryptoModule.h"
#include "EngineRun.h"
#include "FrmDecrypt.h"
#include "FrmEncrypt.h"

namespace {

using namespace bench;

const zqvcrypto::Argon2Params kMinimalKdf{64, 1, 1};

struct Run
{
    QString source;
    QString destination;
    QString password;
    bool readBack = false;
};

// Names the output and presses the dialog's button, or for a read-back run
// calls its routine with what "Wipe original" asks for, without wiping the
// bench's source. The seconds it took; -1 when the routine failed.
template <typename Dialog, typename Routine>
double timed(Dialog& dialog, QPushButton* button, Routine routine, const Run& run)
{
    dialog.txtOutput->setText(run.destination);
    const auto start = Clock::now();
    if (run.readBack) {
        engine::CipherOptions options;
        options.verify = true;
        if (!routine(dialog.tools(), run.source, run.destination, run.password, options))
            return -1;
    } else {
        button->click();
    }
    return secondsSince(start);
}

// --ours encrypt|decrypt SOURCE DESTINATION [read-back] [minimal-kdf]
int oursMain(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "qt.*=false;*.warning=false");
    QApplication app(argc, argv);
    const std::string direction = argv[2];
    const QString source = QString::fromLocal8Bit(argv[3]);
    const QString destination = QString::fromLocal8Bit(argv[4]);
    bool readBack = false;
    bool minimalKdf = false;
    for (int i = 5; i < argc; ++i) {
        readBack = readBack || std::string(argv[i]) == "read-back";
        minimalKdf = minimalKdf || std::string(argv[i]) == "minimal-kdf";
    }
    const QString password = QString::fromLatin1(benchPassword());
    PrintingMessenger messenger;
    double seconds = 0;
    if (direction == "encrypt") {
        engine::FrmEncrypt dialog(source, messenger);
        if (minimalKdf)
            dialog.CryptoCtrl().setKdfParams(kMinimalKdf);
        if (!dialog.load())
            return 1;
        dialog.show();
        dialog.txtPassword1->setText(password);
        dialog.txtPassword2->setText(password);
        seconds = timed(
            dialog, dialog.cmdEncrypt, engine::EncryptFileWithPassword, {source, destination, password, readBack});
    } else {
        engine::FrmDecrypt dialog(source, messenger);
        if (!dialog.load())
            return 1;
        dialog.show();
        dialog.txtPassword->setText(password);
        seconds = timed(
            dialog, dialog.cmdDecrypt, engine::DecryptFileWithPassword, {source, destination, password, readBack});
    }
    struct stat info
    {
    };
    if (seconds < 0 || messenger.failed || ::stat(destination.toLocal8Bit().constData(), &info) != 0)
        return 1;
    std::printf("%.6f\n", seconds);
    return 0;
}

struct Tool
{
    std::string name;
    std::string input;                // warmed before warm runs
    std::vector<std::string> outputs; // removed before each run
    std::function<Launch()> launch;
    bool ours = false;
};

struct Measured
{
    Series cold, warm, coldPress, warmPress;
    long maxRssKiB = 0;
};

void removeOutputs(const Tool& tool)
{
    for (const std::string& path : tool.outputs)
        ::unlink(path.c_str());
}

void printTable(const char* title, const std::vector<Tool>& tools, const std::vector<Measured>& results)
{
    std::printf("\n### %s\n\n", title);
    std::printf("| tool | cold (s) | warm (s) | cold, from the button (s) | warm, from the button (s) | peak memory "
                "(MiB) |\n|---|---|---|---|---|---|\n");
    for (std::size_t i = 0; i < tools.size(); ++i)
        std::printf("| %s | %s | %s | %s | %s | %ld |\n",
                    tools[i].name.c_str(),
                    results[i].cold.text().c_str(),
                    results[i].warm.text().c_str(),
                    tools[i].ours ? results[i].coldPress.text().c_str() : "",
                    tools[i].ours ? results[i].warmPress.text().c_str() : "",
                    results[i].maxRssKiB / 1024);
    std::printf("\n| ratio, round by round | cold | warm |\n|---|---|---|\n");
    for (std::size_t ours = 0; ours < tools.size(); ++ours) {
        if (!tools[ours].ours)
            continue;
        for (std::size_t peer = 0; peer < tools.size(); ++peer) {
            // Our variants are set against our plain run and against cp; our
            // plain run against every peer.
            const bool wanted = ours == 0 ? !tools[peer].ours : peer == 0 || tools[peer].name.rfind("cp", 0) == 0;
            if (!wanted)
                continue;
            std::printf("| %s / %s | %s | %s |\n",
                        tools[ours].name.c_str(),
                        tools[peer].name.c_str(),
                        ratios(results[ours].cold, results[peer].cold).text().c_str(),
                        ratios(results[ours].warm, results[peer].warm).text().c_str());
        }
    }
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--ours")
        return argc >= 5 ? oursMain(argc, argv) : 1;

    const std::string folder = argc > 1 ? argv[1] : ".";
    const long mebibytes = argc > 2 ? std::atol(argv[2]) : 1024;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    const std::string self = selfPath();
    const auto at = [&](const std::string& name) { return folder + "/" + name; };
    const std::string password = benchPassword();

    const std::string plain = at("bench-plain.bin");
    const std::string passFile = at("bench-pass.txt");
    const std::string ageKey = at("bench-age.key");
    const std::string gnupg = at("bench-gnupg");
    const std::string sevenOut = at("bench-7z-out");
    shell("head -c " + std::to_string(mebibytes) + "M /dev/urandom > '" + plain + "'");
    shell("printf '%s' '" + password + "' > '" + passFile + "'");
    shell("rm -f '" + ageKey + "' && age-keygen -o '" + ageKey + "' 2>/dev/null");
    shell("rm -rf '" + gnupg + "' && mkdir -m 700 '" + gnupg + "'");
    Launch recipient{{"age-keygen", "-y", ageKey}, {}, {}, {}};
    std::string ageRecipient = run(recipient).output;
    ageRecipient.erase(ageRecipient.find_last_not_of("\r\n") + 1);
    const std::string gnupgHome = "GNUPGHOME=" + gnupg;
    const std::vector<std::string> gpg = {
        "gpg", "--batch", "--yes", "--quiet", "--pinentry-mode", "loopback", "--passphrase-file", passFile};
    const auto with = [](std::vector<std::string> head, const std::vector<std::string>& tail) {
        head.insert(head.end(), tail.begin(), tail.end());
        return head;
    };
    const auto ours = [&](const std::string& direction,
                          const std::string& from,
                          const std::string& to,
                          std::vector<std::string> flags) {
        return [=] { return Launch{with({self, "--ours", direction, from, to}, flags), {}, {}, {}}; };
    };

    // The inputs the decryptions start from, made once.
    const std::string sealed = at("bench-ours.zqv");
    const std::string sealedMinimal = at("bench-ours-min.zqv");
    const std::string agePass = at("bench-pass.age");
    const std::string ageRec = at("bench-rec.age");
    const std::string gpgFile = at("bench.gpg");
    const std::string sevenFile = at("bench.7z");
    for (const std::string& path : {sealed, sealedMinimal, agePass, ageRec, gpgFile, sevenFile})
        ::unlink(path.c_str());
    run(ours("encrypt", plain, sealed, {})());
    run(ours("encrypt", plain, sealedMinimal, {"minimal-kdf"})());
    run(Launch{{"age", "-p", "-o", agePass, plain}, {}, password, {}});
    run(Launch{{"age", "-r", ageRecipient, "-o", ageRec, plain}, {}, {}, {}});
    run(Launch{with(gpg, {"--symmetric", "--cipher-algo", "AES256", "--compress-algo", "none", "-o", gpgFile, plain}),
               {gnupgHome},
               {},
               {}});
    run(Launch{
        {"7z", "a", "-bd", "-bso0", "-bsp0", "-p" + password, "-mhe=on", "-mx=0", sevenFile, plain}, {}, {}, {}});

    const std::string encOut = at("bench-enc.zqv");
    const std::string decOut = at("bench-dec.out");
    const std::string sevenDecrypted = sevenOut + "/bench-plain.bin";
    const std::vector<Tool> encrypting = {
        {"ours", plain, {encOut}, ours("encrypt", plain, encOut, {}), true},
        {"ours, read back (as before a wipe)", plain, {encOut}, ours("encrypt", plain, encOut, {"read-back"}), true},
        {"ours, key derivation at its minimum", plain, {encOut}, ours("encrypt", plain, encOut, {"minimal-kdf"}), true},
        {"age -p",
         plain,
         {encOut},
         [&] {
             return Launch{{"age", "-p", "-o", encOut, plain}, {}, password, {encOut}};
         }},
        {"age -r",
         plain,
         {encOut},
         [&] {
             return Launch{{"age", "-r", ageRecipient, "-o", encOut, plain}, {}, {}, {encOut}};
         }},
        {"gpg --symmetric",
         plain,
         {encOut},
         [&] {
             return Launch{
                 with(gpg, {"--symmetric", "--cipher-algo", "AES256", "--compress-algo", "none", "-o", encOut, plain}),
                 {gnupgHome},
                 {},
                 {encOut}};
         }},
        {"cp + sync",
         plain,
         {encOut},
         [&] {
             return Launch{{"cp", plain, encOut}, {}, {}, {encOut}};
         }},
        {"7z a -p -mhe=on -mx=0",
         plain,
         {encOut + ".7z"},
         [&] {
             return Launch{
                 {"7z", "a", "-bd", "-bso0", "-bsp0", "-p" + password, "-mhe=on", "-mx=0", encOut + ".7z", plain},
                 {},
                 {},
                 {encOut + ".7z"}};
         }},
    };
    const std::vector<Tool> decrypting = {
        {"ours", sealed, {decOut}, ours("decrypt", sealed, decOut, {}), true},
        {"ours, read back (as before a wipe)", sealed, {decOut}, ours("decrypt", sealed, decOut, {"read-back"}), true},
        {"ours, key derivation at its minimum",
         sealedMinimal,
         {decOut},
         ours("decrypt", sealedMinimal, decOut, {}),
         true},
        {"age -d (passphrase)",
         agePass,
         {decOut},
         [&] {
             return Launch{{"age", "-d", "-o", decOut, agePass}, {}, password, {decOut}};
         }},
        {"age -d -i (key)",
         ageRec,
         {decOut},
         [&] {
             return Launch{{"age", "-d", "-i", ageKey, "-o", decOut, ageRec}, {}, {}, {decOut}};
         }},
        {"gpg -d",
         gpgFile,
         {decOut},
         [&] {
             return Launch{with(gpg, {"--decrypt", "-o", decOut, gpgFile}), {gnupgHome}, {}, {decOut}};
         }},
        {"cp + sync (of the .zqv)",
         sealed,
         {decOut},
         [&] {
             return Launch{{"cp", sealed, decOut}, {}, {}, {decOut}};
         }},
        {"7z x",
         sevenFile,
         {sevenDecrypted},
         [&] {
             return Launch{{"7z", "x", "-bd", "-bso0", "-bsp0", "-y", "-p" + password, "-o" + sevenOut, sevenFile},
                           {},
                           {},
                           {sevenDecrypted}};
         }},
    };

    std::printf(
        "%ld MiB of random bytes, %d rounds; load average at the start: %s\n", mebibytes, rounds, loadText().c_str());
    std::fflush(stdout);
    std::vector<Measured> encResults(encrypting.size());
    std::vector<Measured> decResults(decrypting.size());
    for (int round = 0; round < rounds; ++round) {
        for (bool cold : {true, false}) {
            for (auto* set : {&encrypting, &decrypting}) {
                auto& results = set == &encrypting ? encResults : decResults;
                for (std::size_t k = 0; k < set->size(); ++k) {
                    const std::size_t i = (k + static_cast<std::size_t>(round)) % set->size();
                    const Tool& tool = (*set)[i];
                    removeOutputs(tool);
                    ::sync();
                    if (cold)
                        dropCaches();
                    else
                        warm(tool.input);
                    const Outcome outcome = run(tool.launch());
                    (cold ? results[i].cold : results[i].warm).values.push_back(outcome.seconds);
                    if (tool.ours)
                        (cold ? results[i].coldPress : results[i].warmPress)
                            .values.push_back(std::atof(outcome.output.c_str()));
                    results[i].maxRssKiB = std::max(results[i].maxRssKiB, outcome.maxRssKiB);
                    std::fprintf(stderr,
                                 "round %d %s %s: %.2f s\n",
                                 round + 1,
                                 cold ? "cold" : "warm",
                                 tool.name.c_str(),
                                 outcome.seconds);
                }
            }
        }
    }
    for (const Tool& tool : encrypting)
        removeOutputs(tool);
    for (const Tool& tool : decrypting)
        removeOutputs(tool);

    printTable("Encrypting", encrypting, encResults);
    printTable("Decrypting", decrypting, decResults);
    std::printf("\nLoad average at the end: %s\n", loadText().c_str());
    shell("GNUPGHOME='" + gnupg + "' gpgconf --kill gpg-agent");
    shell("rm -rf '" + plain + "' '" + passFile + "' '" + ageKey + "' '" + gnupg + "' '" + sevenOut + "' '" + sealed +
          "' '" + sealedMinimal + "' '" + agePass + "' '" + ageRec + "' '" + gpgFile + "' '" + sevenFile + "'");
    return 0;
}
