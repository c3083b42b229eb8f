#include "frmMain.h"

#include <QAbstractItemView>
#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFontInfo>
#include <QHeaderView>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <algorithm>
#include <cmath>

#include "EngineCommand.h"
#include "EngineDispatch.h"
#include "FileList.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FolderTree.h"
#include "MainMenus.h"
#include "MainSettings.h"
#include "Messenger.h"
#include "Operations.h"
#include "PathRules.h"
#include "QueueListView.h"
#include "ShellContextMenu.h"
#include "SortArrowHeader.h"
#include "WorkRunner.h"
#include "cLVHeaderSortIcons.h"
#include "cVSplitter.h"

namespace zqvwindow {
namespace {

constexpr int kToolbarBand = 24;
constexpr int kQueueBand = 120;
constexpr int kQueueHeight = 118;
constexpr int kHeightOffsetWithQueue = 125;

// The window's face: Tahoma where it is installed, else the desktop's sans font.
QFont windowFont()
{
    QFont font(QStringLiteral("Tahoma"));
    if (QFontInfo(font).family().compare(QLatin1String("Tahoma"), Qt::CaseInsensitive) == 0) {
        font.setPointSizeF(QApplication::font().pointSizeF());
        return font;
    }
    return QApplication::font();
}

// "1", "1.0" and " 1 " are 1; text that is not a number is not.
bool numericallyOne(const QString& text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && value == 1.0;
}

// The truth values the store may hold: True/False in any case, or a number.
std::optional<bool> truthValue(const QString& text)
{
    const QString trimmed = text.trimmed();
    if (trimmed.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (trimmed.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (ok)
        return value != 0.0;
    return std::nullopt;
}

QString nowAsQueueTime()
{
    return zqvcore::queueTimeText(QDateTime::currentDateTime(), QLocale());
}

} // namespace

frmMain::frmMain(QString programFolder,
                 MainSettings& settings,
                 zqvgui::Messenger& messenger,
                 QString queueFile,
                 MainWindowTools tools,
                 zqvshell::DesktopSources desktop,
                 QWidget* parent)
    : QMainWindow(parent)
    , m_programFolder(std::move(programFolder))
    , m_desktop(std::move(desktop))
    , m_settings(settings)
    , m_messenger(messenger)
    , m_queueFile(std::move(queueFile))
    , m_tools(std::move(tools))
    , m_inner(new QWidget(this))
    , m_treeView(new QTreeView(m_inner))
    , m_listView(new zqvshell::FileListView(m_inner))
    , m_bar(new QFrame(m_inner))
    , m_queueView(new QueueListView(m_inner))
    , m_tree(new zqvshell::FolderTree(m_treeView, m_desktop, this))
    , m_list(new zqvshell::FileList(m_listView, m_desktop, this))
    , m_contextMenu(new zqvshell::ShellContextMenu(this))
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Cryptelle"));
    setFont(windowFont());
    resize(900, 620);
    setCentralWidget(m_inner);
    m_treeView->setObjectName(QStringLiteral("TreeView1"));
    m_listView->setObjectName(QStringLiteral("ListView1"));
    m_bar->setObjectName(QStringLiteral("Frame1"));
    m_bar->setFixedWidth(5);
    m_queueView->setObjectName(QStringLiteral("lvQueue"));
    m_queueView->setModel(&m_queue);
    m_queueView->header()->resizeSection(zqvcore::QueueModel::FileColumn, 420);
    m_queueView->header()->resizeSection(zqvcore::QueueModel::ActionColumn, 150);
    m_inner->installEventFilter(this);

    m_menus = new MainMenus(*this, *this, m_inner, m_tools);
    m_toolbar = m_menus->toolbar();
    m_queuePopUp = m_menus->queuePopUp();
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    m_engine = new EngineDispatch(*this, m_runner, m_programFolder, [this] { RefreshFileView(); });

    auto* queueView = static_cast<QueueListView*>(m_queueView);
    queueView->setDropHandler([this](const QMimeData* data, const QObject* source) { DropOnQueue(data, source); });
    queueView->setMenuHandler([this](const QPoint& at) {
        QueuePopUpOpening();
        m_queuePopUp->popup(at);
    });
    m_queue.setSaveErrorHandler(
        [this](const QString& reason) { showError(QStringLiteral("The queue could not be saved: %1").arg(reason)); });
    m_queue.setNoticeHandler([this](const QString& message) { showError(message); });

    joinPanes();
}

frmMain::~frmMain()
{
    m_runner.abandonAll();
}

void frmMain::Form_Load()
{
    m_loading = true;
    m_settingsProblemShown = false;

    if (numericallyOne(readSetting("Preferences", "ShowContextMenus", "1")) && m_tools.renewFolderVerb)
        m_tools.renewFolderVerb(this);
    writeSetting("Engine", "Path", zqvcore::enginePath(m_programFolder));

    {
        const zqvgui::BusyCursor busy;
        if (const QScreen* screen = this->screen()) {
            const QRect available = screen->availableGeometry();
            move(available.x() + static_cast<int>(std::lround((available.width() - frameGeometry().width()) * 0.5)),
                 available.y() + static_cast<int>(std::lround((available.height() - frameGeometry().height()) * 0.5)));
        }
        (void)HdrIcons();

        const QString queueText = readSetting("View", "Queue", "True");
        const std::optional<bool> queueShown = truthValue(queueText);
        if (!queueShown) {
            showError(QStringLiteral("The setting View/Queue holds \"%1\", which is neither True nor False. "
                                     "The queue is shown.")
                          .arg(queueText));
        }
        LayoutQueuePane(queueShown.value_or(true));

        m_tree->SetTreeRoot(zqvshell::ItemIdList());

        bool isNumber = false;
        int mode = readSetting("View", "Type", "3").trimmed().toInt(&isNumber);
        if (!isNumber || mode < 0 || mode > 3)
            mode = 3;
        SetView(mode);
        ArrangeAscending();
    }

    m_queue.bindFile(m_queueFile);
    m_loading = false;
}

QString frmMain::readSetting(const char* section, const char* key, const char* defaultValue)
{
    const zqvcore::SettingsResult<QString> read =
        m_settings.GetSetting(QLatin1String(section), QLatin1String(key), QLatin1String(defaultValue));
    if (read)
        return read.value();
    showSettingsProblem(read.error());
    return QLatin1String(defaultValue);
}

void frmMain::writeSetting(const char* section, const char* key, const QString& value)
{
    const zqvcore::SettingsSaveResult saved = m_settings.SaveSetting(QLatin1String(section), QLatin1String(key), value);
    if (!saved)
        showSettingsProblem(saved.error());
}

void frmMain::showSettingsProblem(const zqvcore::SettingsError& problem)
{
    // One broken settings file would otherwise answer every read at start-up.
    if (m_loading && m_settingsProblemShown)
        return;
    m_settingsProblemShown = true;
    QString description = problem.description();
    if (const QString reason = problem.systemErrorText(); !reason.isEmpty())
        description += QStringLiteral(" (%1)").arg(reason);
    const QString number = QStringLiteral("%1 (0x%2)")
                               .arg(problem.number())
                               .arg(static_cast<quint32>(problem.number()), 8, 16, QLatin1Char('0'));
    m_messenger.message(this,
                        QStringLiteral("ZQV"),
                        QStringLiteral("Error %1: %2").arg(number, description),
                        zqvgui::MessageIcon::Critical,
                        m_loading ? QStringLiteral("The program goes on with its default settings.") : QString());
}

void frmMain::showError(const QString& text)
{
    m_messenger.message(this, QStringLiteral("Error"), text, zqvgui::MessageIcon::Critical);
}

void frmMain::LayoutQueuePane(bool shown)
{
    findChild<QAction*>(QStringLiteral("mnuQueue"))->setChecked(shown);
    m_queueView->setVisible(shown);
    // The split is taken as a share of the panes' real width: lay the window
    // out first, even before it is shown.
    if (layout() != nullptr)
        layout()->activate();
    if (m_splitter == nullptr) {
        m_splitter = new zqvshell::cVSplitter(this);
        m_splitter->SetControls(m_inner, m_treeView, m_listView, m_bar);
        // The first position sets the share the bar keeps from then on.
        m_splitter->setLeft(static_cast<int>(std::lround((m_inner->width() - m_bar->width()) * 0.3)));
    }
    m_splitter->SetControls(m_inner, m_treeView, m_listView, m_bar);
    m_splitter->setTop(kToolbarBand);
    m_splitter->setHeightOffset(shown ? kHeightOffsetWithQueue : 0);
    m_splitter->setTrackSplit(true);
    layOutInner();
}

void frmMain::layOutInner()
{
    const int width = m_inner->width();
    const int height = m_inner->height();
    m_toolbar->setGeometry(0, 0, width, kToolbarBand);
    m_queueView->setGeometry(0, height - kQueueBand, width, kQueueHeight);
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_inner && event->type() == QEvent::Resize)
        layOutInner();
    return QMainWindow::eventFilter(watched, event);
}

QString frmMain::selectedTag() const
{
    return m_list->selectedTag();
}

zqvcore::ItemKind frmMain::selectedKind() const
{
    const int row = m_list->selectedRow();
    if (row < 0)
        return zqvcore::ItemKind::Other;
    const zqvshell::FileListModel* model = m_list->model();
    const QByteArray path = model->pathBytes(row);
    // A row without a tag (a name text cannot carry) gets no command.
    const bool onDisk = !path.isEmpty() && !model->tag(row).isEmpty();
    return zqvcore::itemKind(
        model->item(row).displayName, onDisk && zqvcore::isPlainFile(path), onDisk && model->item(row).folder);
}

void frmMain::ListItemClick(int row)
{
    if (row < 0 || row >= m_list->model()->rowCount() || row != m_list->selectedRow())
        return;
    m_menus->applyEnabling(m_list->selectedName(), selectedKind());
}

void frmMain::ButtonClick(const QString& key)
{
    const QString tag = selectedTag();
    if (zqvcore::IsNotPlainFile(tag))
        return;
    const zqvcore::Operation operation = zqvcore::operationForToolbarKey(key);
    if (operation == zqvcore::Operation::None)
        return;
    Dispatch(operation, {tag});
}

void frmMain::Dispatch(zqvcore::Operation operation, const QStringList& paths)
{
    m_engine->dispatch(operation, paths);
}

void frmMain::ButtonMenuClick(const QString& key)
{
    if (key == QLatin1String("Hash")) {
        const QString tag = selectedTag();
        if (!m_tools.openHashViewer || zqvcore::IsNotPlainFile(tag))
            return;
        m_tools.openHashViewer(this, tag);
        m_toolbar->update();
    } else if (key == QLatin1String("Text")) {
        if (!m_tools.openTextTool)
            return;
        m_tools.openTextTool(this);
        m_toolbar->update();
    } else {
        QueueSelected(key);
    }
}

void frmMain::Contents()
{
    const QString page = m_programFolder + QLatin1String("/help/index.html");
    if (m_tools.openDocument && !m_tools.openDocument(page))
        showError(QStringLiteral("No application is available to open the help page %1.")
                      .arg(QDir::toNativeSeparators(page)));
}

bool frmMain::CheckQueueForDuplicates(const QString& FileName) const
{
    return m_queue.containsPath(FileName);
}

bool frmMain::addToQueue(const QString& path, const QString& actionWord)
{
    if (!zqvcore::canStoreInQueue(path)) {
        showError(QStringLiteral("The name of %1 holds a line break, which the queue cannot keep. "
                                 "Rename the file to queue it.")
                      .arg(path));
        return false;
    }
    const zqvcore::QueueChange added = m_queue.append({path, actionWord, nowAsQueueTime()});
    if (!added)
        showError(added.refusal);
    return added.done;
}

void frmMain::QueueSelected(const QString& actionWord)
{
    const QString path = selectedTag();
    if (path.isEmpty())
        return; // no row selected
    if (CheckQueueForDuplicates(path)) {
        showError(QStringLiteral("The file ") + path + QStringLiteral(" already exists in the queue."));
        return;
    }
    if (zqvcore::IsNotPlainFile(path))
        return;
    addToQueue(path, actionWord);
}

bool frmMain::DropOnQueue(const QMimeData* data, const QObject* source)
{
    QString path;
    const auto ownList = [this](const QObject* object) {
        for (; object != nullptr; object = object->parent()) {
            if (object == m_listView)
                return true;
        }
        return false;
    };
    if (ownList(source)) {
        path = selectedTag();
    } else if (data != nullptr && data->hasUrls()) {
        const QUrl first = data->urls().constFirst();
        if (!first.isLocalFile())
            return false;
        path = first.toLocalFile();
    } else {
        return false;
    }
    if (path.isEmpty())
        return false;
    if (CheckQueueForDuplicates(path)) {
        showError(QStringLiteral("The file ") + path + QStringLiteral(" already exists in the queue."));
        return false;
    }
    if (zqvcore::IsNotPlainFile(path)) {
        showError(QStringLiteral("A folder cannot be added to the queue."));
        return false;
    }
    const zqvcore::Operation operation =
        zqvcore::HasEncryptedExtension(path) ? zqvcore::Operation::Decrypt : zqvcore::Operation::Encrypt;
    return addToQueue(path, zqvcore::actionWord(operation));
}

void frmMain::QueuePopUpOpening()
{
    const bool any = m_queue.count() > 0;
    for (const char* name : {"mnuRemoveItem", "mnuClearQueue", "mnuPerform"})
        findChild<QAction*>(QLatin1String(name))->setEnabled(any);
}

void frmMain::Perform()
{
    const int rounds = m_queue.count();
    // Entries whose run did not complete stay where they are; the rounds go on
    // with the first entry after them.
    QList<zqvcore::QueueEntry> notDone;
    for (int round = 0; round < rounds; ++round) {
        const QList<zqvcore::QueueEntry>& entries = m_queue.entries();
        const auto next = std::find_if(entries.cbegin(), entries.cend(), [&notDone](const zqvcore::QueueEntry& e) {
            return !notDone.contains(e);
        });
        if (next == entries.cend())
            break;
        const zqvcore::QueueEntry entry = *next;
        const zqvcore::Operation operation = zqvcore::operationForActionWord(entry.action);
        if (operation != zqvcore::Operation::None && operation != zqvcore::Operation::EncryptFolder) {
            int exitStatus = -1;
            const WaitResult result = m_engine->run(operation, entry.path, &exitStatus);
            if (result == WaitResult::Abandoned)
                return; // shutting down: the entry stays for the next start
            if (result == WaitResult::NotStarted) {
                showError(QStringLiteral("The engine %1 could not be started. The queue is left as it is.")
                              .arg(zqvcore::enginePath(m_programFolder)));
                return;
            }
            if (exitStatus != 0) {
                // Closed without doing it, refused or failed: the engine has
                // said why; the entry is kept for another try.
                notDone.append(entry);
                continue;
            }
        }
        // The user (or another window) may have changed the queue during the
        // run: remove the entry that ran, wherever it now stands, and nothing else.
        (void)m_queue.remove(entry);
    }
    if (!notDone.isEmpty()) {
        m_messenger.message(this,
                            QStringLiteral("ZQV"),
                            notDone.size() == 1
                                ? QStringLiteral("1 file was not done. It stays in the queue.")
                                : QStringLiteral("%1 files were not done. They stay in the queue.").arg(notDone.size()),
                            zqvgui::MessageIcon::Warning);
    }
}

void frmMain::RemoveItem()
{
    const QModelIndex current = m_queueView->currentIndex();
    if (!current.isValid() || !m_queueView->selectionModel()->isRowSelected(current.row(), {}))
        return;
    m_queue.removeAt(current.row());
}

void frmMain::ClearQueue()
{
    m_queue.clear();
}

void frmMain::ToggleQueue()
{
    LayoutQueuePane(m_queueView->isHidden());
    const bool checked = findChild<QAction*>(QStringLiteral("mnuQueue"))->isChecked();
    writeSetting("View", "Queue", checked ? QStringLiteral("True") : QStringLiteral("False"));
}

void frmMain::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    const zqvgui::BusyCursor busy;
    // A run under way goes on by itself; its entry stays in the queue. The
    // queue is not written here: every change is in the file already, and
    // writing our rows now would undo what another window did meanwhile.
    m_runner.abandonAll();
    m_list->ClearFileView();
    m_tree->uninstall();
    m_tree->ClearTree();
}

void frmMain::closeEvent(QCloseEvent* event)
{
    Form_Unload();
    event->accept();
    QCoreApplication::quit();
}

} // namespace zqvwindow
