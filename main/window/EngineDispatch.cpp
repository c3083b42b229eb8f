#include "EngineDispatch.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>
#include <cstring>
#include <memory>

#include <xcb/xcb.h>

#include "EngineCommand.h"
#include "PathRules.h"

namespace zqvwindow {
namespace {

// What a wait is for, in the words the user chose it by.
QString operationTitle(zqvcore::Operation operation)
{
    const zqvcore::OperationInfo& row = zqvcore::operationInfo(operation);
    QString title = QLatin1String(*row.toolbarText != '\0' ? row.toolbarText : row.fileManagerText);
    if (title.endsWith(QLatin1String("...")))
        title.chop(3);
    return title;
}

template <typename T> using XcbReply = std::unique_ptr<T, decltype(&std::free)>;

xcb_atom_t atom(xcb_connection_t* connection, const char* name)
{
    const XcbReply<xcb_intern_atom_reply_t> reply(
        xcb_intern_atom_reply(
            connection, xcb_intern_atom(connection, 1, static_cast<uint16_t>(std::strlen(name)), name), nullptr),
        &std::free);
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

// The desktop's managed windows, or the root's children without a manager.
std::vector<xcb_window_t> topLevelWindows(xcb_connection_t* connection, xcb_window_t root)
{
    std::vector<xcb_window_t> windows;
    const xcb_atom_t clients = atom(connection, "_NET_CLIENT_LIST");
    if (clients != XCB_ATOM_NONE) {
        const XcbReply<xcb_get_property_reply_t> reply(
            xcb_get_property_reply(
                connection, xcb_get_property(connection, 0, root, clients, XCB_ATOM_WINDOW, 0, 4096), nullptr),
            &std::free);
        if (reply && reply->format == 32) {
            const auto* ids = static_cast<const xcb_window_t*>(xcb_get_property_value(reply.get()));
            windows.assign(ids, ids + xcb_get_property_value_length(reply.get()) / 4);
        }
    }
    if (windows.empty()) {
        const XcbReply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(connection, xcb_query_tree(connection, root), nullptr), &std::free);
        if (tree) {
            const xcb_window_t* children = xcb_query_tree_children(tree.get());
            windows.assign(children, children + xcb_query_tree_children_length(tree.get()));
        }
    }
    return windows;
}

bool isEngineWindow(xcb_connection_t* connection, xcb_window_t window)
{
    const XcbReply<xcb_get_property_reply_t> reply(
        xcb_get_property_reply(
            connection, xcb_get_property(connection, 0, window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 0, 256), nullptr),
        &std::free);
    if (!reply || reply->format != 8)
        return false;
    // "instance\0class\0": the engine's program name is its instance.
    const QByteArray wmClass(static_cast<const char*>(xcb_get_property_value(reply.get())),
                             xcb_get_property_value_length(reply.get()));
    return wmClass.split('\0').value(0).compare("zqvengine", Qt::CaseInsensitive) == 0;
}

} // namespace

void bringEngineWindowsForward(const QMainWindow& owner)
{
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (x11 == nullptr || x11->connection() == nullptr)
        return;
    xcb_connection_t* connection = x11->connection();
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
    if (screen == nullptr)
        return;
    const xcb_atom_t activate = atom(connection, "_NET_ACTIVE_WINDOW");
    for (const xcb_window_t window : topLevelWindows(connection, screen->root)) {
        if (!isEngineWindow(connection, window))
            continue;
        const uint32_t above = XCB_STACK_MODE_ABOVE;
        xcb_configure_window(connection, window, XCB_CONFIG_WINDOW_STACK_MODE, &above);
        if (activate != XCB_ATOM_NONE) {
            // Asked by the application whose window is active now: the
            // window manager's focus rules let it through.
            xcb_client_message_event_t message{};
            message.response_type = XCB_CLIENT_MESSAGE;
            message.format = 32;
            message.window = window;
            message.type = activate;
            message.data.data32[0] = 1;
            message.data.data32[1] = XCB_CURRENT_TIME;
            message.data.data32[2] = static_cast<uint32_t>(owner.winId());
            xcb_send_event(connection,
                           0,
                           screen->root,
                           XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                           reinterpret_cast<const char*>(&message));
        }
    }
    xcb_flush(connection);
}

EngineDispatch::EngineDispatch(QMainWindow& window,
                               EngineRunner& runner,
                               QString programFolder,
                               std::function<void()> refresh)
    : QObject(&window)
    , m_window(window)
    , m_runner(runner)
    , m_programFolder(std::move(programFolder))
    , m_refresh(std::move(refresh))
    , m_bringForward([this] { bringEngineWindowsForward(m_window); })
{
    m_window.installEventFilter(this);
}

void EngineDispatch::dispatch(zqvcore::Operation operation, const QStringList& paths)
{
    if (operation == zqvcore::Operation::None)
        return;
    const zqvcore::OperationInfo& row = zqvcore::operationInfo(operation);
    bool ran = false;
    for (const QString& path : paths) {
        const QByteArray bytes = QFile::encodeName(path);
        const zqvcore::ItemKind kind = zqvcore::itemKind(path, zqvcore::isPlainFile(bytes), zqvcore::isFolder(bytes));
        if (path.isEmpty() || !zqvcore::appliesTo(row, kind))
            continue;
        const WaitResult result = run(operation, path);
        if (result == WaitResult::Abandoned)
            return; // shutting down
        ran = ran || result == WaitResult::Ended;
    }
    if (ran && m_refresh)
        m_refresh();
}

WaitResult EngineDispatch::run(zqvcore::Operation operation, const QString& path, int* exitStatus)
{
    m_waits.push_back(QStringLiteral("Waiting for the engine to finish: %1 \"%2\"")
                          .arg(operationTitle(operation), QDir::toNativeSeparators(path)));
    showWait();
    const WaitResult result = m_runner.RunAndWait(zqvcore::engineCommand(m_programFolder, operation, path), exitStatus);
    m_waits.removeLast();
    showWait();
    return result;
}

void EngineDispatch::showWait()
{
    // A wait that ends inside another gives the outer one its line back.
    if (m_waits.isEmpty())
        m_window.statusBar()->clearMessage();
    else
        m_window.statusBar()->showMessage(m_waits.constLast());
}

bool EngineDispatch::eventFilter(QObject* watched, QEvent* event)
{
    // After the activation is through, so the window manager has finished
    // raising the main window before the engine's dialog goes above it.
    if (watched == &m_window && event->type() == QEvent::WindowActivate && waiting() && m_bringForward)
        QTimer::singleShot(0, this, [this] {
            if (waiting() && m_bringForward)
                m_bringForward();
        });
    return QObject::eventFilter(watched, event);
}

} // namespace zqvwindow
