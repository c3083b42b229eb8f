#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <vector>

#include <NonCopyable.h>

class QObject;

namespace zqvgui {

// The application-wide busy cursor for as long as the object lives, so no
// return path can leave it on.
class BusyCursor : private cryptelle::NonCopyable
{
public:
    BusyCursor();
    ~BusyCursor();
};

// Runs long work off the interface thread while the caller keeps a
// synchronous shape: run() returns when the work is done, and meanwhile a
// nested event loop keeps every window painting and delivers what the work
// posts back. The controls given are disabled for the duration.
class WorkRunner
{
public:
    void setControls(std::vector<QWidget*> controls);
    [[nodiscard]] bool isBusy() const { return m_busy; }

    void run(const std::function<void()>& work);

private:
    std::vector<QPointer<QWidget>> m_controls;
    bool m_busy = false;
};

// Calls `onInterfaceThread` with each value, queued to `context`'s thread; safe
// to call from the worker. Values posted after `context` is gone are dropped.
[[nodiscard]] std::function<void(int)> postingTo(QObject* context, std::function<void(int)> onInterfaceThread);

// Runs `call` on `context`'s thread later, unless `context` is gone by then.
void postTo(QObject* context, std::function<void()> call);

} // namespace zqvgui
