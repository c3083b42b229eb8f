// CPU time the main program spends while it waits for an engine run.
//
//   wait_bench [seconds]
//
// Starts a stand-in engine that sleeps for the given time (10 s by default)
// and waits for it twice in the same run: with our wait (process descriptor
// in a nested event loop) and with the old way, polling the process while
// handling events between polls. Prints the wall time and the CPU time
// (user + system) this process used for each.
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include <signal.h>
#include <sys/resource.h>

#include "EngineCommand.h"
#include "RunAndWait.h"

namespace {

double cpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

template <typename Wait> void measure(const char* name, Wait wait)
{
    const double cpuBefore = cpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    wait();
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallBefore;
    std::printf("%-32s wall %6.2f s   cpu %6.3f s\n", name, wall.count(), cpuSeconds() - cpuBefore);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    QTemporaryDir folder;
    QFile engine(folder.filePath(QStringLiteral("zqvengine")));
    if (!engine.open(QIODevice::WriteOnly))
        return 1;
    engine.write(QStringLiteral("#!/bin/sh\nexec sleep %1\n").arg(seconds).toUtf8());
    engine.close();
    engine.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const zqvcore::EngineCommand command =
        zqvcore::engineCommand(folder.path(), zqvcore::Operation::Encrypt, QStringLiteral("/tmp/file"));

    measure("process descriptor, nested loop", [&] {
        zqvwindow::EngineRunner runner;
        if (runner.RunAndWait(command) != zqvwindow::WaitResult::Ended)
            std::puts("the stand-in did not start");
    });
    measure("polling between events", [&] {
        qint64 pid = 0;
        if (!QProcess::startDetached(command.program, command.arguments, QString(), &pid))
            return;
        while (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
            // A reaped zombie of the detached run is not ours; look at its state.
            QFile status(QStringLiteral("/proc/%1/stat").arg(pid));
            if (!status.open(QIODevice::ReadOnly) || status.readAll().contains(") Z "))
                break;
        }
    });
    return 0;
}
