// The command line on many small files and on one large file, next to
// `cp -r` + `sync` and next to the engine's own dialog.
//
//   cli_bench [folder] [large file in MiB] [rounds] [small files]
//                                       (defaults: ., 1024, 3, 1000; run as root)
//
// Every tool runs as its own process and is timed from its start to its end;
// the copies are followed by a `sync` inside the timing, and cryptelle makes
// every file durable before naming it (many files share one sync of the file
// system, then one sync of their folder), so both sides pay for the disk. The key
// derivation (the default cost) is inside our times. The engine's dialog runs
// through crypto_bench's driver (the dialog built, filled in and its button
// pressed), so both of ours meet the same machine in the same round. Cold
// rows drop the page cache before each run, warm rows read the inputs first;
// the order of the tools rotates from round to round.
//
// Each round deletes the files the last one wrote, so cryptelle writes its
// new files into a folder that was just emptied of as many, while `cp -r`
// makes a new folder; the copy is also timed into a folder emptied just
// before, which meets the same condition. The header names the file system
// and, for ext4, whether it journals: without a journal, ext4 passes over
// every recently freed inode one by one when it makes a new file.
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include <unistd.h>

#include "BenchSupport.h"

namespace {

using namespace bench;

struct Tool
{
    std::string name;
    std::string prepare; // shell command run before each run, outside the timing
    std::string warm;    // shell command that reads the inputs into the page cache
    std::string command; // timed, through sh -c
};

struct Measured
{
    Series cold, warm;
    long maxRssKiB = 0;
};

void measure(const char* title, const std::vector<Tool>& tools, int rounds, const std::vector<std::size_t>& versus)
{
    std::vector<Measured> results(tools.size());
    for (int round = 0; round < rounds; ++round) {
        for (bool cold : {true, false}) {
            for (std::size_t k = 0; k < tools.size(); ++k) {
                const std::size_t i = (k + static_cast<std::size_t>(round)) % tools.size();
                const Tool& tool = tools[i];
                shell(tool.prepare);
                ::sync();
                if (cold)
                    dropCaches();
                else
                    shell(tool.warm);
                const Outcome outcome = run(Launch{{"sh", "-c", tool.command}});
                (cold ? results[i].cold : results[i].warm).values.push_back(outcome.seconds);
                results[i].maxRssKiB = std::max(results[i].maxRssKiB, outcome.maxRssKiB);
            }
        }
    }
    std::printf("\n### %s\n\n| tool | cold (s) | warm (s) | peak memory (MiB) |\n|---|---|---|---|\n", title);
    for (std::size_t i = 0; i < tools.size(); ++i)
        std::printf("| %s | %s | %s | %ld |\n",
                    tools[i].name.c_str(),
                    results[i].cold.text().c_str(),
                    results[i].warm.text().c_str(),
                    results[i].maxRssKiB / 1024);
    std::printf("\n| ratio, round by round | cold | warm |\n|---|---|---|\n");
    for (std::size_t peer : versus)
        std::printf("| %s / %s | %s | %s |\n",
                    tools[0].name.c_str(),
                    tools[peer].name.c_str(),
                    ratios(results[0].cold, results[peer].cold).text().c_str(),
                    ratios(results[0].warm, results[peer].warm).text().c_str());
    std::fflush(stdout);
}

// "ext4 (journaled) on /dev/vda" and the like, for the header.
std::string fileSystemOf(const std::string& folder)
{
    const std::string command = "findmnt -n -o FSTYPE,SOURCE -T '" + folder + "'";
    std::string text;
    if (FILE* pipe = ::popen(command.c_str(), "r")) {
        char line[512] = {};
        if (std::fgets(line, sizeof line, pipe) != nullptr)
            text = line;
        ::pclose(pipe);
    }
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.pop_back();
    const std::size_t space = text.find(' ');
    if (space == std::string::npos)
        return text.empty() ? "unknown" : text;
    std::string type = text.substr(0, space);
    std::string source = text.substr(text.find_first_not_of(' ', space));
    if (type == "ext4") {
        // jbd2 lists one entry per journal, named after the device.
        const std::string device = source.substr(source.rfind('/') + 1);
        const bool journaled = std::system(("ls /proc/fs/jbd2 2>/dev/null | grep -q '^" + device + "-'").c_str()) == 0;
        type += journaled ? " (journaled)" : " (without a journal)";
    }
    return type + " on " + source;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string folder = argc > 1 ? argv[1] : ".";
    const long mebibytes = argc > 2 ? std::atol(argv[2]) : 1024;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 3;
    const int files = argc > 4 ? std::atoi(argv[4]) : 1000;
    const std::string self = selfPath();
    const std::string bin = self.substr(0, self.rfind('/'));
    const std::string cryptelle = "'" + bin + "/cryptelle'";
    const std::string engine = "'" + bin + "/crypto_bench' --ours";
    const auto at = [&](const std::string& name) { return "'" + folder + "/" + name + "'"; };

    const std::string pass = at("cli-bench-pass");
    const std::string many = at("cli-many");
    const std::string sealedMany = at("cli-many-sealed");
    const std::string big = at("cli-big.bin");
    const std::string sealedBig = at("cli-big.zqv");
    shell("printf '%s\\n' 'benchmark password' > " + pass);
    shell("rm -rf " + many + " " + sealedMany + " && mkdir " + many + " " + sealedMany);
    shell("i=0; while [ $i -lt " + std::to_string(files) + " ]; do head -c 4096 /dev/urandom > " + many +
          "/f$i; i=$((i+1)); done");
    shell("cp " + many + "/* " + sealedMany + "/ && " + cryptelle + " encrypt --passphrase-fd 3 " + sealedMany +
          "/* 3<" + pass + " && find " + sealedMany + " -type f ! -name '*.zqv' -delete");
    shell("head -c " + std::to_string(mebibytes) + "M /dev/urandom > " + big);
    shell("rm -f " + sealedBig + " && " + cryptelle + " encrypt --passphrase-fd 3 -o " + sealedBig + " " + big + " 3<" +
          pass);

    std::printf("%d files of 4 KiB and one file of %ld MiB, %d rounds, on %s; load average at the start: %s\n",
                files,
                mebibytes,
                rounds,
                fileSystemOf(folder).c_str(),
                loadText().c_str());

    const std::string copy = at("cli-copy");
    const std::string emptied = at("cli-emptied");
    const std::string cleanMany = "rm -f " + many + "/*.zqv; rm -rf " + copy;
    const std::string cleanSealed = "find " + sealedMany + " -type f ! -name '*.zqv' -delete; rm -rf " + copy;
    // Filled and emptied again before each copy into it, as the sources'
    // folder loses the last round's new files just before cryptelle runs.
    shell("rm -rf " + emptied + " && mkdir " + emptied);
    // cryptelle on a folder of small files, against the two copies of it.
    const auto smallFiles = [&](const char* title,
                                const std::string& tool,
                                const std::string& folder,
                                const std::string& clean,
                                const std::string& command,
                                const std::string& what) {
        const std::string warm = "cat " + folder + "/* > /dev/null";
        measure(title,
                {{tool, clean, warm, command},
                 {"cp -r + sync" + what, clean, warm, "cp -r " + folder + " " + copy + " && sync"},
                 {"cp -r + sync" + what + ", into a folder emptied just before",
                  "rm -f " + emptied + "/* && cp " + folder + "/* " + emptied + "/ && sync && rm -f " + emptied + "/*",
                  warm,
                  "cp -r " + folder + "/. " + emptied + "/ && sync"}},
                rounds,
                {1, 2});
    };
    smallFiles("Encrypting the small files",
               "cryptelle encrypt",
               many,
               cleanMany,
               cryptelle + " encrypt --passphrase-fd 3 " + many + "/f* 3<" + pass,
               "");
    smallFiles("Decrypting the small files",
               "cryptelle decrypt",
               sealedMany,
               cleanSealed,
               cryptelle + " decrypt --passphrase-fd 3 " + sealedMany + "/*.zqv 3<" + pass,
               " (of the .zqv files)");

    // The engine's dialog takes only names ending in .zqv for what it encrypts.
    const std::string out = at("cli-big-out.zqv");
    const std::string cleanBig = "rm -f " + out;
    // cryptelle and the engine's dialog on the one large file, against a copy.
    const auto largeFile = [&](const char* title, const std::string& verb, const std::string& input, const char* what) {
        const std::string warm = "cat " + input + " > /dev/null";
        measure(title,
                {{"cryptelle " + verb,
                  cleanBig,
                  warm,
                  cryptelle + " " + verb + " --passphrase-fd 3 -o " + out + " " + input + " 3<" + pass},
                 {"the engine's " + verb + " dialog",
                  cleanBig,
                  warm,
                  engine + " " + verb + " " + input + " " + out + " > /dev/null"},
                 {std::string("cp + sync") + what, cleanBig, warm, "cp " + input + " " + out + " && sync"}},
                rounds,
                {1, 2});
    };
    largeFile("Encrypting the large file", "encrypt", big, "");
    largeFile("Decrypting the large file", "decrypt", sealedBig, " (of the .zqv)");
    shell("rm -rf " + many + " " + sealedMany + " " + copy + " " + emptied + " " + big + " " + sealedBig + " " + out +
          " " + pass);
    return 0;
}
