#include "ShellContextMenu.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QFile>
#include <QInputDialog>
#include <QMenu>
#include <QMimeData>
#include <QMimeDatabase>
#include <QProcess>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <FileSteps.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "Messenger.h"
#include "PathRules.h"
#include "PropertiesDialog.h"
#include "ShellNamespace.h"

namespace zqvshell {

namespace {

const QString kTitle = QStringLiteral("ZQV");

QAction* addAction(QMenu& menu, const char* name, const QString& text, bool enabled)
{
    QAction* action = menu.addAction(text);
    action->setObjectName(QString::fromLatin1(name));
    action->setEnabled(enabled);
    return action;
}

// rename(2) that refuses to replace, folders included; 0 or the errno.
int renameNoReplace(const QByteArray& from, const QByteArray& to)
{
    return cryptelle::renameNoReplace(from.toStdString(), to.toStdString()) ? 0 : errno;
}

// A folder counts only inside a file-system folder: the desktop's places
// ("Home", "File System", volumes) are not something to pack.
zqvcore::ItemKind itemKind(const ShellFolder& folder, const ShellItem& item, const QByteArray& path)
{
    return zqvcore::itemKind(
        item.displayName, zqvcore::isPlainFile(path), item.folder && folder.isFileSystem() && !path.isEmpty());
}

} // namespace

bool hasDefaultApplication(const QString& path)
{
    // The opener hands the file over and learns of a missing application only
    // after it has let go, so ask the desktop's own table first.
    const QMimeType type = QMimeDatabase().mimeTypeForFile(path);
    QStringList types{type.name()};
    types.append(type.allAncestors());
    for (const QString& name : std::as_const(types)) {
        QProcess query;
        query.start(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"), name});
        if (!query.waitForFinished(10000) || query.exitStatus() != QProcess::NormalExit)
            return true; // cannot tell
        if (!query.readAllStandardOutput().trimmed().isEmpty())
            return true;
    }
    return false;
}

ShellContextMenu::ShellContextMenu(QObject* parent)
    : QObject(parent)
    , m_opener([](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); })
    , m_applicationCheck(hasDefaultApplication)
    , m_runner([](QMenu& menu, const QPoint& pos) { return menu.exec(pos); })
    , m_renamePrompt([](QWidget* owner, const QString& current) -> std::optional<QString> {
        bool ok = false;
        const QString name = QInputDialog::getText(
            owner, QStringLiteral("Rename"), QStringLiteral("New name:"), QLineEdit::Normal, current, &ok);
        return ok ? std::optional<QString>(name) : std::nullopt;
    })
{
}

ShellContextMenu::~ShellContextMenu() = default;

zqvgui::Messenger& ShellContextMenu::messenger() const
{
    static zqvgui::Messenger plain;
    return m_messenger != nullptr ? *m_messenger : plain;
}

void ShellContextMenu::refuse(QWidget* owner, const QString& name) const
{
    messenger().message(owner,
                        kTitle,
                        QStringLiteral("The name \"%1\" is not valid UTF-8 text, so it cannot be passed on exactly. "
                                       "Nothing was done.")
                            .arg(name),
                        zqvgui::MessageIcon::Warning);
}

std::optional<QStringList>
ShellContextMenu::exactPaths(QWidget* owner, const ShellFolder& folder, const std::vector<ShellItem>& items) const
{
    QStringList paths;
    for (const ShellItem& item : items) {
        const std::optional<QString> path = exactPathText(folder.path(item.id));
        if (!path) {
            refuse(owner, item.displayName);
            return std::nullopt;
        }
        paths.push_back(*path);
    }
    return paths;
}

std::unique_ptr<QMenu>
ShellContextMenu::buildMenu(QWidget* owner, const FolderPtr& folder, const std::vector<ShellItem>& items)
{
    auto menu = std::make_unique<QMenu>(owner);
    menu->setObjectName(QStringLiteral("mnuShellContext"));
    if (!folder || items.empty()) {
        return menu;
    }
    bool onDisk = true;
    // What fits every chosen item; one that fits nothing leaves every operation off.
    std::optional<zqvcore::OperationSet> common;
    for (const ShellItem& item : items) {
        const QByteArray path = folder->path(item.id);
        onDisk = onDisk && !path.isEmpty();
        const zqvcore::OperationSet one = zqvcore::availableOperations(itemKind(*folder, item, path));
        common = common ? common->intersected(one) : one;
    }
    const bool single = items.size() == 1;
    const ShellItem first = items.front();
    connect(addAction(*menu, "mnuOpen", QStringLiteral("&Open"), single && onDisk),
            &QAction::triggered,
            this,
            [this, owner, folder, first] { openItem(owner, *folder, first); });
    menu->addSeparator();
    for (const zqvcore::OperationInfo& row : zqvcore::operationTable()) {
        if (*row.contextMenuName == '\0')
            continue;
        const zqvcore::Operation op = row.operation;
        connect(addAction(*menu,
                          row.contextMenuName,
                          QLatin1String(row.contextMenuText),
                          common->contains(op) && m_dispatch != nullptr),
                &QAction::triggered,
                this,
                [this, owner, folder, items, op] { runOperation(owner, op, folder, items); });
    }
    menu->addSeparator();
    connect(addAction(*menu, "mnuCopyLocation", QStringLiteral("Copy &Location"), onDisk),
            &QAction::triggered,
            this,
            [this, owner, folder, items] { copyLocation(owner, folder, items); });
    connect(addAction(*menu, "mnuRename", QStringLiteral("Re&name..."), single && onDisk && folder->isFileSystem()),
            &QAction::triggered,
            this,
            [this, owner, folder, first] { rename(owner, folder, first); });
    connect(addAction(*menu, "mnuTrash", QStringLiteral("Move to &Trash"), onDisk && folder->isFileSystem()),
            &QAction::triggered,
            this,
            [this, owner, folder, items] { moveToTrash(owner, folder, items); });
    menu->addSeparator();
    connect(addAction(*menu, "mnuProperties", QStringLiteral("P&roperties"), single && onDisk),
            &QAction::triggered,
            this,
            [this, owner, folder, first] { showProperties(owner, folder, first); });
    return menu;
}

bool ShellContextMenu::ShowShellContextMenu(QWidget* owner,
                                            const FolderPtr& folder,
                                            const std::vector<ShellItem>& items,
                                            const QPoint& screenPos)
{
    if (!folder || items.empty()) {
        return false;
    }
    const std::unique_ptr<QMenu> menu = buildMenu(owner, folder, items);
    // A menu the user answered has run its command already; a runner that
    // only names the chosen item leaves that to us. Either way it runs once.
    bool ran = false;
    connect(menu.get(), &QMenu::triggered, this, [&ran] { ran = true; });
    QAction* chosen = m_runner(*menu, screenPos);
    if (chosen == nullptr || !chosen->isEnabled() || chosen->isSeparator()) {
        return false;
    }
    if (!ran) {
        chosen->trigger();
    }
    return true;
}

bool ShellContextMenu::openItem(QWidget* owner, const ShellFolder& folder, const ShellItem& item)
{
    const QByteArray path = folder.path(item.id);
    if (path.isEmpty()) {
        return false;
    }
    const std::optional<QString> text = exactPathText(path);
    if (!text) {
        refuse(owner, item.displayName);
        return false;
    }
    if (m_applicationCheck && !m_applicationCheck(*text)) {
        messenger().message(owner,
                            kTitle,
                            QStringLiteral("No application is available to open \"%1\".").arg(item.displayName),
                            zqvgui::MessageIcon::Warning);
        return false;
    }
    if (!m_opener(*text)) {
        messenger().message(owner,
                            kTitle,
                            QStringLiteral("\"%1\" could not be opened.").arg(item.displayName),
                            zqvgui::MessageIcon::Critical);
        return false;
    }
    return true;
}

void ShellContextMenu::runOperation(QWidget* owner,
                                    zqvcore::Operation operation,
                                    const FolderPtr& folder,
                                    const std::vector<ShellItem>& items)
{
    if (const std::optional<QStringList> paths = exactPaths(owner, *folder, items); paths && m_dispatch) {
        m_dispatch(operation, *paths);
    }
}

void ShellContextMenu::copyLocation(QWidget* owner, const FolderPtr& folder, const std::vector<ShellItem>& items)
{
    const std::optional<QStringList> paths = exactPaths(owner, *folder, items);
    if (!paths) {
        return;
    }
    auto* data = new QMimeData;
    data->setText(paths->join(QLatin1Char('\n')));
    QList<QUrl> urls;
    for (const QString& path : *paths) {
        urls.push_back(QUrl::fromLocalFile(path));
    }
    data->setUrls(urls);
    data->setText(paths->join(QLatin1Char('\n')));
    QApplication::clipboard()->setMimeData(data);
}

bool ShellContextMenu::renameItem(QWidget* owner,
                                  const ShellFolder& folder,
                                  const ShellItem& item,
                                  const QString& newName)
{
    const QByteArray newBytes = newName.toUtf8();
    if (newName.isEmpty() || newName.contains(QLatin1Char('/')) || newName.contains(QChar(0)) ||
        newName == QLatin1String(".") || newName == QLatin1String("..")) {
        messenger().message(owner,
                            kTitle,
                            QStringLiteral("\"%1\" cannot be used as a name.").arg(newName),
                            zqvgui::MessageIcon::Warning);
        return false;
    }
    if (newBytes == item.id) {
        return true;
    }
    const QByteArray from = folder.path(item.id);
    const QByteArray to = folder.path(newBytes);
    const int error = renameNoReplace(from, to);
    if (error == EEXIST || error == ENOTEMPTY) {
        messenger().message(owner,
                            kTitle,
                            QStringLiteral("\"%1\" already exists; nothing was renamed.").arg(newName),
                            zqvgui::MessageIcon::Warning);
        return false;
    }
    if (error != 0) {
        messenger().message(owner,
                            kTitle,
                            QStringLiteral("\"%1\" could not be renamed.").arg(item.displayName),
                            zqvgui::MessageIcon::Critical,
                            QString::fromLocal8Bit(std::strerror(error)));
        return false;
    }
    emit itemsChanged();
    return true;
}

void ShellContextMenu::rename(QWidget* owner, const FolderPtr& folder, const ShellItem& item)
{
    const std::optional<QString> newName = m_renamePrompt(owner, item.displayName);
    if (newName) {
        renameItem(owner, *folder, item, *newName);
    }
}

void ShellContextMenu::moveToTrash(QWidget* owner, const FolderPtr& folder, const std::vector<ShellItem>& items)
{
    const std::optional<QStringList> paths = exactPaths(owner, *folder, items);
    if (!paths) {
        return;
    }
    bool moved = false;
    for (qsizetype i = 0; i < paths->size(); ++i) {
        if (QFile::moveToTrash(paths->at(i))) {
            moved = true;
            continue;
        }
        messenger().message(owner,
                            kTitle,
                            QStringLiteral("\"%1\" could not be moved to the trash; it is still in place.")
                                .arg(items[static_cast<std::size_t>(i)].displayName),
                            zqvgui::MessageIcon::Critical);
        break;
    }
    if (moved) {
        emit itemsChanged();
    }
}

void ShellContextMenu::showProperties(QWidget* owner, const FolderPtr& folder, const ShellItem& item)
{
    PropertiesDialog dialog(owner, item, folder->path(item.id));
    dialog.exec();
}

} // namespace zqvshell
