#pragma once

#include <QString>
#include <chrono>
#include <mutex>

#include <NonCopyable.h>

namespace cli {

// Standard error for messages; a line of progress on it only when it is a
// terminal. Safe to use from several threads.
class Console : private cryptelle::NonCopyable
{
public:
    explicit Console(bool progress);
    ~Console();

    // "cryptelle: <text>" on its own line, above the progress line.
    void message(const QString& text);
    // Replaces the progress line; drawn at most a few times a second.
    void progress(const QString& text);
    // Removes the progress line.
    void clearProgress();
    // A line of the command's result on standard output.
    void result(const QByteArray& line);

    [[nodiscard]] bool showsProgress() const { return m_progress; }

private:
    void eraseLocked();

    std::mutex m_lock;
    bool m_progress;
    bool m_shown = false;
    std::chrono::steady_clock::time_point m_last{};
};

} // namespace cli
