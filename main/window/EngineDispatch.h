#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

#include "Operations.h"
#include "RunAndWait.h"

class QMainWindow;

namespace zqvwindow {

// The one way the main window starts the engine: each path whose kind the
// operation's rule fits, one run after another, then the views refreshed.
// While a run is waited for, the status bar says what for, and activating the
// window brings the engine's dialog forward again so it is never lost behind.
class EngineDispatch : public QObject
{
    Q_OBJECT
public:
    EngineDispatch(QMainWindow& window, EngineRunner& runner, QString programFolder, std::function<void()> refresh);

    void dispatch(zqvcore::Operation operation, const QStringList& paths);
    // One run with its wait shown; `exitStatus` as for EngineRunner::RunAndWait.
    WaitResult run(zqvcore::Operation operation, const QString& path, int* exitStatus = nullptr);
    [[nodiscard]] bool waiting() const { return !m_waits.isEmpty(); }

    // How the engine's windows are brought forward (tests watch it instead).
    void setBringForward(std::function<void()> bring) { m_bringForward = std::move(bring); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showWait();

    QMainWindow& m_window;
    EngineRunner& m_runner;
    QString m_programFolder;
    std::function<void()> m_refresh;
    std::function<void()> m_bringForward;
    QStringList m_waits; // what each nested wait is for, innermost last
};

// Raises and activates the engine's top-level windows on an X11 desktop;
// elsewhere nothing.
void bringEngineWindowsForward(const QMainWindow& owner);

} // namespace zqvwindow
