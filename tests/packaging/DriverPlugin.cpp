// Drives an installed program from inside, the way a user would, so the
// package test can run the unpacked binaries offscreen without changing them.
// Qt loads it as a generic plugin (QT_QPA_GENERIC_PLUGINS=zqvdriver) from
// QT_PLUGIN_PATH. What it does is set by the environment:
//   ZQV_DRIVER_CLICK    objectName of a button to click once it is visible
//   ZQV_DRIVER_QUIT_ON  objectName of a window whose appearance ends the run
//                       (and is reported, with whether it has an icon)
// Any message box that appears is printed and ends the run with status 3, so
// a failure the program reports to its user reaches the test's log.
#include <QAbstractButton>
#include <QApplication>
#include <QGenericPlugin>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <cstdlib>

namespace {

void report(const QString& line)
{
    std::fprintf(stderr, "driver: %s\n", line.toLocal8Bit().constData());
    std::fflush(stderr);
}

class Driver : public QObject
{
public:
    Driver()
        : m_click(qEnvironmentVariable("ZQV_DRIVER_CLICK"))
        , m_quitOn(qEnvironmentVariable("ZQV_DRIVER_QUIT_ON"))
    {
        connect(&m_timer, &QTimer::timeout, this, &Driver::poll);
        m_timer.start(50);
    }

private:
    void poll()
    {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget* window : windows) {
            if (!window->isVisible())
                continue;
            if (auto* box = qobject_cast<QMessageBox*>(window)) {
                report(QStringLiteral("message: ") + box->text());
                std::_Exit(3);
            }
            if (!m_quitOn.isEmpty() && window->objectName() == m_quitOn) {
                report(QStringLiteral("shown: ") + m_quitOn +
                       (window->windowIcon().isNull() ? QStringLiteral(" without an icon")
                                                      : QStringLiteral(" with its icon")));
                std::_Exit(0);
            }
            if (m_clicked || m_click.isEmpty())
                continue;
            auto* button = window->findChild<QAbstractButton*>(m_click);
            if (button != nullptr && button->isVisible() && button->isEnabled()) {
                m_clicked = true;
                report(QStringLiteral("clicked: ") + m_click);
                // Queued: the click may run a nested event loop (work, message
                // boxes), and this timer does not fire again while its own
                // handler is still on the stack.
                QMetaObject::invokeMethod(button, &QAbstractButton::click, Qt::QueuedConnection);
            }
        }
    }

    QString m_click;
    QString m_quitOn;
    bool m_clicked = false;
    QTimer m_timer;
};

} // namespace

class DriverPlugin : public QGenericPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QGenericPluginFactoryInterface_iid FILE "DriverPlugin.json")

public:
    QObject* create(const QString& key, const QString& /*parameters*/) override
    {
        return key == QLatin1String("zqvdriver") ? new Driver : nullptr;
    }
};

#include "DriverPlugin.moc"
