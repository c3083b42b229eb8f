#include "RunAndWait.h"

#include <QEventLoop>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>

#include <signal.h>
#include <sys/syscall.h>
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

} // namespace

EngineRunner::~EngineRunner()
{
    abandonAll();
}

WaitResult EngineRunner::RunAndWait(const zqvcore::EngineCommand& command)
{
    if (m_abandoned)
        return WaitResult::Abandoned;
    // startDetached forks twice and starts a new session: the program is
    // adopted by the system, outlives us and is reaped by its new parent.
    qint64 pid = 0;
    if (!QProcess::startDetached(command.program, command.arguments, QString(), &pid) || pid <= 0)
        return WaitResult::NotStarted;

    QEventLoop loop;
    const cryptelle::UniqueFd processFd(openProcessDescriptor(pid));
    QSocketNotifier ended(QSocketNotifier::Read);
    QTimer fallback;
    if (processFd.get() >= 0) {
        ended.setSocket(processFd.get());
        QObject::connect(&ended, &QSocketNotifier::activated, &loop, &QEventLoop::quit);
        ended.setEnabled(true);
    } else if (errno == ESRCH) {
        return WaitResult::Ended; // gone already
    } else {
        // A kernel without process descriptors: look twice a second.
        QObject::connect(&fallback, &QTimer::timeout, &loop, [&loop, pid] {
            if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                loop.quit();
        });
        fallback.start(500);
    }

    m_loops.push_back(&loop);
    loop.exec();
    std::erase(m_loops, &loop);
    return m_abandoned ? WaitResult::Abandoned : WaitResult::Ended;
}

void EngineRunner::abandonAll()
{
    m_abandoned = true;
    for (QEventLoop* loop : m_loops)
        loop->quit();
}

} // namespace zqvwindow
