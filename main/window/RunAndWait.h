#pragma once

#include <vector>

#include "EngineCommand.h"

class QEventLoop;

namespace zqvwindow {

enum class WaitResult {
    Ended,      // the program ran and has ended (or could not be watched)
    NotStarted, // it could not be started; nothing is said about it
    Abandoned,  // the window is shutting down; the program goes on by itself
};

// Starts a program and waits for it in a nested event loop, so the window
// keeps answering and commands given meanwhile run at once, nested inside the
// wait. The program is never killed by us: it lives in its own session, so
// neither our end nor a terminal's interrupt reaches it, and when we end
// first it goes on by itself. It is our child only so that its exit status
// can be read: the engine's status says whether it did the operation (0) or
// not. The wait sleeps on a process descriptor; it costs no CPU.
class EngineRunner
{
public:
    EngineRunner() = default;
    EngineRunner(const EngineRunner&) = delete;
    EngineRunner& operator=(const EngineRunner&) = delete;
    ~EngineRunner();

    // `exitStatus`, when given and the result is Ended, receives the
    // program's exit status, or -1 when it was ended by a signal or its
    // status could not be read.
    [[nodiscard]] WaitResult RunAndWait(const zqvcore::EngineCommand& command, int* exitStatus = nullptr);

    // Every wait under way returns Abandoned, and so does every later call,
    // without starting anything: used by shutdown.
    void abandonAll();
    [[nodiscard]] bool isAbandoned() const { return m_abandoned; }
    [[nodiscard]] int depth() const { return static_cast<int>(m_loops.size()); }

private:
    std::vector<QEventLoop*> m_loops;
    bool m_abandoned = false;
};

} // namespace zqvwindow
