#include "RunAndWait.h"

#include <QEventLoop>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <vector>

#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include "UniqueFd.h"

namespace zqvwindow {
namespace {

int openProcessDescriptor(qint64 pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, static_cast<pid_t>(pid), 0));
#else
    (void)pid;
    errno = ENOSYS;
    return -1;
#endif
}

// Starts the program in a session of its own with default signal handling,
// as our child; 0 when it could not be started.
pid_t spawnInOwnSession(const zqvcore::EngineCommand& command)
{
    std::vector<QByteArray> words{QFile::encodeName(command.program)};
    for (const QString& argument : command.arguments)
        words.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    if (::posix_spawnattr_init(&attributes) != 0)
        return 0;
    sigset_t none;
    sigset_t all;
    sigemptyset(&none);
    sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = 0;
    const int error = ::posix_spawn(&pid, argv.front(), nullptr, &attributes, argv.data(), environ);
    ::posix_spawnattr_destroy(&attributes);
    return error == 0 ? pid : 0;
}

// The status of a child that has ended, reaping it; -1 when there is none.
int reapedStatus(pid_t pid, bool wait)
{
    int status = 0;
    pid_t got;
    do {
        got = ::waitpid(pid, &status, wait ? 0 : WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got != pid)
        return -2; // not ended yet (or not ours)
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

EngineRunner::~EngineRunner()
{
    abandonAll();
}

WaitResult EngineRunner::RunAndWait(const zqvcore::EngineCommand& command, int* exitStatus)
{
    if (m_abandoned)
        return WaitResult::Abandoned;
    const pid_t pid = spawnInOwnSession(command);
    if (pid <= 0)
        return WaitResult::NotStarted;

    QEventLoop loop;
    const cryptelle::UniqueFd processFd(openProcessDescriptor(pid));
    QSocketNotifier ended(QSocketNotifier::Read);
    QTimer fallback;
    int status = -2;
    if (processFd.get() >= 0) {
        ended.setSocket(processFd.get());
        QObject::connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        ended.setEnabled(true);
    } else {
        // A kernel without process descriptors: look twice a second.
        QObject::connect(&fallback, &QTimer::timeout, &loop, [&loop, &status, pid] {
            status = reapedStatus(pid, false);
            if (status != -2)
                loop.quit();
        });
        fallback.start(500);
    }

    m_loops.push_back(&loop);
    loop.exec();
    std::erase(m_loops, &loop);
    if (m_abandoned)
        return WaitResult::Abandoned; // it goes on; our end hands it to the system
    if (status == -2)
        status = reapedStatus(pid, true); // it has ended: this does not block
    if (exitStatus != nullptr)
        *exitStatus = status < 0 ? -1 : status;
    return WaitResult::Ended;
}

void EngineRunner::abandonAll()
{
    m_abandoned = true;
    for (QEventLoop* loop : m_loops)
        loop->quit();
}

} // namespace zqvwindow
