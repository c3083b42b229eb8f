// Packs and encrypts a folder tree the way a user meets it, next to 7z.
//
//   folder_bench [folder] [rounds]      (defaults: ., 5; run as root)
//
// Ours runs as its own process: the folder dialog is built, filled in
// (recursive, the level, with or without "Apply password to decrypted zip
// file") and Encrypt pressed; the clock runs from the process start to its
// end and so covers packing, the key derivation and the encryption (done
// together: the archive is encrypted as it is packed) and the flush. 7z is
// timed from its start to its end plus an fsync of the archive. Cold rows
// drop the page cache before every run; warm rows read the tree first.
// Rounds interleave every tool.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "BenchSupport.h"
#include "EngineRun.h"
#include "FrmEncryptFolder.h"

namespace {

using namespace bench;

// --ours-folder FOLDER ARCHIVE LEVEL INNER-PASSWORD(0|1)
int oursMain(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_LOGGING_RULES", "qt.*=false;*.warning=false");
    QApplication app(argc, argv);
    const QString folder = QString::fromLocal8Bit(argv[2]);
    const QString archive = QString::fromLocal8Bit(argv[3]);
    const int level = std::atoi(argv[4]);
    const bool inner = std::string(argv[5]) == "1";
    const QString password = QString::fromLatin1(benchPassword());
    PrintingMessenger messenger;
    engine::FrmEncryptFolder dialog(folder, messenger);
    if (!dialog.load())
        return 1;
    dialog.show();
    dialog.txtPassword1->setText(password);
    dialog.txtPassword2->setText(password);
    dialog.txtOutput->setText(archive);
    dialog.chkRecursive->setChecked(true);
    dialog.chkPassword->setChecked(inner);
    if (level == 0) {
        dialog.optCompress[1]->click();
    } else {
        dialog.optCompress[0]->click();
        dialog.CompressionLevel->setValue(level);
    }
    const auto start = Clock::now();
    dialog.cmdEncrypt->click();
    const double seconds = secondsSince(start);
    struct stat info
    {
    };
    if (messenger.failed || ::stat((archive + QLatin1String(".zqv")).toLocal8Bit().constData(), &info) != 0)
        return 1;
    std::printf("%.6f\n", seconds);
    return 0;
}

struct Tool
{
    std::string name;
    int level;
    std::string output;
    std::function<Launch()> launch;
    bool ours;
};

struct Measured
{
    Series cold, warm;
    long maxRssKiB = 0;
};

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::string(argv[1]) == "--ours-folder")
        return argc >= 6 ? oursMain(argc, argv) : 1;

    const std::string folder = argc > 1 ? argv[1] : ".";
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string self = selfPath();
    const auto at = [&](const std::string& name) { return folder + "/" + name; };
    const std::string password = benchPassword();

    // About 5,000 small text files in 50 folders, and a few large files:
    // random (incompressible), zeros and text.
    const std::string tree = at("bench-tree");
    shell("rm -rf '" + tree + "' && mkdir -p '" + tree + "'");
    shell("cd '" + tree +
          "' && for d in $(seq 1 50); do mkdir -p dir$d; for f in $(seq 1 100); do "
          "head -c $(( (f * 37) % 8000 + 200 )) /usr/share/common-licenses/GPL-3 > dir$d/file$f.txt; done; done");
    shell("head -c 64M /dev/urandom > '" + tree + "/random.bin'");
    shell("for i in $(seq 1 1600); do cat /usr/share/common-licenses/GPL-3; done > '" + tree + "/text.txt'");
    shell("head -c 32M /dev/zero > '" + tree + "/zeros.bin' && sync");

    std::vector<Tool> tools;
    for (int level : {0, 6}) {
        for (bool inner : {false, true}) {
            const std::string archive = at("bench-ours.zip");
            tools.push_back({std::string("ours") + (inner ? ", inner zip password" : ""),
                             level,
                             archive + ".zqv",
                             [=] {
                                 return Launch{
                                     {self, "--ours-folder", tree, archive, std::to_string(level), inner ? "1" : "0"},
                                     {},
                                     {},
                                     {},
                                     {}};
                             },
                             true});
        }
        const std::string sevenArchive = at("bench-7z.zip");
        tools.push_back({"7z a -tzip -mem=AES256",
                         level,
                         sevenArchive,
                         [=] {
                             return Launch{{"7z",
                                            "a",
                                            "-bd",
                                            "-bso0",
                                            "-bsp0",
                                            "-tzip",
                                            "-mem=AES256",
                                            "-mx=" + std::to_string(level),
                                            "-p" + password,
                                            sevenArchive,
                                            "."},
                                           {},
                                           {},
                                           {sevenArchive},
                                           tree};
                         },
                         false});
        tools.push_back(
            {"7z a -tzip (no password)",
             level,
             sevenArchive,
             [=] {
                 return Launch{
                     {"7z", "a", "-bd", "-bso0", "-bsp0", "-tzip", "-mx=" + std::to_string(level), sevenArchive, "."},
                     {},
                     {},
                     {sevenArchive},
                     tree};
             },
             false});
    }

    std::printf("Tree: 5,000 small text files in 50 folders, 64 MiB random, 32 MiB zeros, 55 MiB text; %d rounds; "
                "load average at the start: %s\n",
                rounds,
                loadText().c_str());
    std::fflush(stdout);
    std::vector<Measured> results(tools.size());
    for (int round = 0; round < rounds; ++round) {
        for (bool cold : {true, false}) {
            for (std::size_t k = 0; k < tools.size(); ++k) {
                const std::size_t i = (k + static_cast<std::size_t>(round)) % tools.size();
                ::unlink(tools[i].output.c_str());
                ::sync();
                if (cold)
                    dropCaches();
                else
                    shell("find '" + tree + "' -type f -exec cat {} + > /dev/null");
                const Outcome outcome = run(tools[i].launch());
                (cold ? results[i].cold : results[i].warm).values.push_back(outcome.seconds);
                results[i].maxRssKiB = std::max(results[i].maxRssKiB, outcome.maxRssKiB);
                std::fprintf(stderr,
                             "round %d %s level %d %s: %.2f s\n",
                             round + 1,
                             cold ? "cold" : "warm",
                             tools[i].level,
                             tools[i].name.c_str(),
                             outcome.seconds);
                ::unlink(tools[i].output.c_str());
            }
        }
    }

    std::printf("\n| level | tool | cold (s) | warm (s) | peak memory (MiB) |\n|---|---|---|---|---|\n");
    for (std::size_t i = 0; i < tools.size(); ++i)
        std::printf("| %d | %s | %s | %s | %ld |\n",
                    tools[i].level,
                    tools[i].name.c_str(),
                    results[i].cold.text().c_str(),
                    results[i].warm.text().c_str(),
                    results[i].maxRssKiB / 1024);
    std::printf("\n| level | ratio, round by round | cold | warm |\n|---|---|---|---|\n");
    for (std::size_t i = 0; i < tools.size(); ++i) {
        if (!tools[i].ours)
            continue;
        for (std::size_t peer = 0; peer < tools.size(); ++peer) {
            if (tools[peer].ours || tools[peer].level != tools[i].level)
                continue;
            std::printf("| %d | %s / %s | %s | %s |\n",
                        tools[i].level,
                        tools[i].name.c_str(),
                        tools[peer].name.c_str(),
                        ratios(results[i].cold, results[peer].cold).text().c_str(),
                        ratios(results[i].warm, results[peer].warm).text().c_str());
        }
    }
    std::printf("\nLoad average at the end: %s\n", loadText().c_str());
    shell("rm -rf '" + tree + "'");
    return 0;
}
