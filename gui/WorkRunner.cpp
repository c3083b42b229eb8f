#include "WorkRunner.h"

#include <QApplication>
#include <QEventLoop>
#include <QThread>

namespace zqvgui {

BusyCursor::BusyCursor()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

BusyCursor::~BusyCursor()
{
    QApplication::restoreOverrideCursor();
}

void WorkRunner::setControls(std::vector<QWidget*> controls)
{
    m_controls.assign(controls.begin(), controls.end());
}

void WorkRunner::run(const std::function<void()>& work)
{
    m_busy = true;
    std::vector<QPointer<QWidget>> disabled;
    for (const QPointer<QWidget>& control : m_controls) {
        if (control && control->isEnabled()) {
            control->setEnabled(false);
            disabled.push_back(control);
        }
    }
    {
        const BusyCursor busy;
        QEventLoop loop;
        QThread* thread = QThread::create(work);
        QObject::connect(thread, &QThread::finished, &loop, &QEventLoop::quit);
        thread->start();
        if (!thread->isFinished())
            loop.exec();
        thread->wait();
        delete thread;
        // What the work posted last reaches its receivers before the caller goes on.
        QCoreApplication::sendPostedEvents();
    }
    for (const QPointer<QWidget>& control : disabled) {
        if (control)
            control->setEnabled(true);
    }
    m_busy = false;
}

void postTo(QObject* context, std::function<void()> call)
{
    const QPointer<QObject> guard(context);
    QMetaObject::invokeMethod(
        context,
        [guard, call = std::move(call)] {
            if (guard)
                call();
        },
        Qt::QueuedConnection);
}

std::function<void(int)> postingTo(QObject* context, std::function<void(int)> onInterfaceThread)
{
    return [context, onInterfaceThread = std::move(onInterfaceThread)](int value) {
        postTo(context, [onInterfaceThread, value] { onInterfaceThread(value); });
    };
}

} // namespace zqvgui
