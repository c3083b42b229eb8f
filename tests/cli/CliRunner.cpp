#include "CliRunner.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace clitest {
namespace {

pid_t spawn(const Call& call, const std::string& outPath, const std::string& errPath)
{
    // Everything the child needs is made before the fork: the test process has threads.
    std::vector<std::string> args{CRYPTELLE_PATH};
    args.insert(args.end(), call.args.begin(), call.args.end());
    if (!call.password.empty()) {
        // Before a "--" that ends the options, if there is one.
        const auto end = std::find(args.begin(), args.end(), std::string("--"));
        args.insert(args.insert(end, "3"), "--passphrase-fd");
    }
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> env{"PATH=/usr/bin:/bin", "LANG=C.UTF-8"};
    env.insert(env.end(), call.env.begin(), call.env.end());
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const char* outFile = outPath.empty() ? "/dev/null" : outPath.c_str();
    const char* errFile = errPath.empty() ? "/dev/null" : errPath.c_str();
    const char* folder = call.folder.empty() ? nullptr : call.folder.c_str();
    int password[2] = {-1, -1};
    if (!call.password.empty() && ::pipe(password) != 0)
        return -1;
    // A program that refuses its arguments ends before it reads the
    // password; writing it then must fail with EPIPE, not end the tests.
    ::signal(SIGPIPE, SIG_IGN);
    const pid_t child = ::fork();
    if (child == 0) {
        // An ignored signal stays ignored across exec: the program gets the
        // default it would have.
        ::signal(SIGPIPE, SIG_DFL);
        // No controlling terminal: the program must never fall back to asking one.
        ::setsid();
        const int out = ::open(outFile, O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errFile, O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int in = ::open("/dev/null", O_RDONLY);
        ::dup2(in, 0);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (password[0] >= 0) {
            ::dup2(password[0], 3);
            ::close(password[1]);
        }
        if (folder != nullptr && ::chdir(folder) != 0)
            ::_exit(126);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    if (password[0] >= 0) {
        ::close(password[0]);
        const std::string line = call.password + "\n";
        if (::write(password[1], line.data(), line.size()) < 0) {
            // The program ended before it read; its status tells.
        }
        ::close(password[1]);
    }
    return child;
}

std::string slurp(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

} // namespace

int wait(pid_t child)
{
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

Result run(const Call& call)
{
    char pattern[] = "/tmp/cryptelle-run-XXXXXX";
    const char* folder = ::mkdtemp(pattern);
    Result result;
    if (folder == nullptr)
        return result;
    const std::string out = std::string(folder) + "/out";
    const std::string err = std::string(folder) + "/err";
    const pid_t child = spawn(call, out, err);
    if (child < 0)
        return result;
    result.status = wait(child);
    result.out = slurp(out);
    result.err = slurp(err);
    ::unlink(out.c_str());
    ::unlink(err.c_str());
    ::rmdir(folder);
    return result;
}

pid_t start(const Call& call)
{
    return spawn(call, {}, {});
}

} // namespace clitest
