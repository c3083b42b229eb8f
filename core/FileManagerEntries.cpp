#include "FileManagerEntries.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <array>
#include <vector>

#include "FileUpdate.h"

namespace zqvcore {

namespace {

const FileManagerEntry kFolderVerb{
    "zqv-encrypt-folder", "Encrypt Folder...", "/f", EntryTarget::Folders, EntryRuns::OnePerItem, false};

const std::array<FileManagerEntry, 4> kFileVerbs{{
    {"zqv-encrypt-file", "Encrypt File", "/e", EntryTarget::Files, EntryRuns::OnePerItem, true},
    {"zqv-decrypt-file", "Decrypt File", "/d", EntryTarget::EncryptedFiles, EntryRuns::OnePerItem, false},
    {"zqv-make-exe", "Make Self-Extracting Exe", "/s", EntryTarget::Files, EntryRuns::OnePerItem, true},
    {"zqv-wipe-file", "Wipe File", "/w", EntryTarget::Files, EntryRuns::WipeList, false},
}};

// Every file of ours carries this line, so removal never takes a user's own
// file that happens to share a name.
QString ownerMark(const FileManagerEntry& entry)
{
    return QLatin1String("zqv-menu-id: ") + QLatin1String(entry.id);
}

QString folderFromEnvironment(const char* variable, QStandardPaths::StandardLocation fallback)
{
    const QString value = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(value))
        return value;
    return QStandardPaths::writableLocation(fallback);
}

// The shell code every format runs, with the engine as $0 and the selected
// paths as the arguments. It holds no single quote, backslash or percent sign,
// so each format's quoting carries it unchanged. Relative paths (GNOME Files
// passes names relative to the folder shown) are made absolute; items of the
// wrong kind are passed over.
QString runnerScript(const FileManagerEntry& entry)
{
    const QString absolute = QStringLiteral("case $p in /*) ;; *) p=$PWD/$p ;; esac; ");
    const QString kind = entry.target == EntryTarget::Folders ? QStringLiteral("[ -d \"$p\" ] || continue; ")
                                                              : QStringLiteral("[ -d \"$p\" ] && continue; ");
    const QString engineSwitch = QLatin1String(entry.engineSwitch);
    if (entry.runs == EntryRuns::OnePerItem)
        return QLatin1String("for p in \"$@\"; do ") + absolute + kind + QLatin1String("\"$0\" ") + engineSwitch +
               QLatin1String(" \"$p\"; done");
    // One file keeps the single form; names holding '?' cannot travel in the list form.
    return QLatin1String("n=0; l=; one=; for p in \"$@\"; do ") + absolute + kind +
           QLatin1String("n=$((n+1)); one=$p; case $p in *[?]*) ;; *) l=$l?$p ;; esac; done; "
                         "if [ $n -eq 1 ]; then exec \"$0\" ") +
           engineSwitch + QLatin1String(" \"$one\"; fi; [ -n \"$l\" ] && exec \"$0\" ") + engineSwitch +
           QLatin1String(" \"$l\"");
}

QString shellQuote(const QString& text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

QString escapePercent(const QString& text)
{
    QString escaped = text;
    escaped.replace(QLatin1Char('%'), QLatin1String("%%"));
    return escaped;
}

// A command line for file managers that split it like a shell (Nemo, Thunar):
// their own field code %F expands to the quoted paths.
QString shellCommand(const FileManagerEntry& entry, const QString& enginePath)
{
    return QLatin1String("/bin/sh -c ") + escapePercent(shellQuote(runnerScript(entry))) + QLatin1Char(' ') +
           escapePercent(shellQuote(enginePath)) + QLatin1String(" %F");
}

// One argument of a desktop entry's Exec line: double quotes, with the four
// characters that stay special inside them escaped.
QString desktopExecArgument(const QString& text)
{
    QString quoted;
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    return escapePercent(QLatin1Char('"') + quoted + QLatin1Char('"'));
}

// A value in a key file: backslash, line breaks and a leading blank escaped.
QString keyFileValue(const QString& text)
{
    QString escaped;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\'))
            escaped += QLatin1String("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            escaped += QLatin1String("\\r");
        else if (c == QLatin1Char('\t'))
            escaped += QLatin1String("\\t");
        else if (c == QLatin1Char(' ') && i == 0)
            escaped += QLatin1String("\\s");
        else
            escaped += c;
    }
    return escaped;
}

QByteArray dolphinServiceMenu(const FileManagerEntry& entry, const QString& enginePath)
{
    const QString mimeTypes = entry.target == EntryTarget::Folders ? QStringLiteral("inode/directory;")
                                                                   : QStringLiteral("application/octet-stream;");
    const QString exec = QLatin1String("/bin/sh -c ") + desktopExecArgument(runnerScript(entry)) + QLatin1Char(' ') +
                         desktopExecArgument(enginePath) + QLatin1String(" %F");
    QString text = QLatin1String("[Desktop Entry]\n"
                                 "Type=Service\n"
                                 "Name=ZQV\n"
                                 "X-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
                                 "MimeType=") +
                   mimeTypes + QLatin1String("\nActions=zqvAction;\n# ") + ownerMark(entry) +
                   QLatin1String("\n\n[Desktop Action zqvAction]\nName=") + QLatin1String(entry.label) +
                   QLatin1String("\nExec=") + keyFileValue(exec) + QLatin1Char('\n');
    return text.toUtf8();
}

QByteArray nautilusScript(const FileManagerEntry& entry, const QString& enginePath)
{
    // $0 is the script here, so the engine comes in through sh -c like everywhere else.
    const QString text = QLatin1String("#!/bin/sh\n# ") + ownerMark(entry) +
                         QLatin1String("\n# Written by ZQV; removed when its context menus are switched off.\n"
                                       "exec /bin/sh -c ") +
                         shellQuote(runnerScript(entry)) + QLatin1Char(' ') + shellQuote(enginePath) +
                         QLatin1String(" \"$@\"\n");
    return text.toUtf8();
}

QByteArray nemoAction(const FileManagerEntry& entry, const QString& enginePath)
{
    QString filter;
    switch (entry.target) {
    case EntryTarget::Folders:
        filter = QStringLiteral("Extensions=dir;\n");
        break;
    case EntryTarget::Files:
        filter = QStringLiteral("Extensions=nodirs;\n");
        if (entry.leaveOutEncrypted)
            filter += QStringLiteral("Files=*;!*.zqv;\n");
        break;
    case EntryTarget::EncryptedFiles:
        filter = QStringLiteral("Extensions=zqv;\n");
        break;
    }
    const QString text = QLatin1String("[Nemo Action]\n# ") + ownerMark(entry) + QLatin1String("\nName=") +
                         QLatin1String(entry.label) + QLatin1String("\nExec=") +
                         keyFileValue(shellCommand(entry, enginePath)) +
                         QLatin1String("\nQuote=single\nSelection=notnone\n") + filter;
    return text.toUtf8();
}

QString thunarAction(const FileManagerEntry& entry, const QString& enginePath)
{
    QString types;
    QString patterns = QStringLiteral("*");
    switch (entry.target) {
    case EntryTarget::Folders:
        types = QStringLiteral("\t<directories/>\n");
        break;
    case EntryTarget::EncryptedFiles:
        patterns = QStringLiteral("*.zqv");
        [[fallthrough]];
    case EntryTarget::Files:
        types = QStringLiteral("\t<audio-files/>\n\t<image-files/>\n\t<other-files/>\n\t<text-files/>\n"
                               "\t<video-files/>\n");
        break;
    }
    return QLatin1String("<action>\n\t<icon></icon>\n\t<name>") + QString::fromLatin1(entry.label).toHtmlEscaped() +
           QLatin1String("</name>\n\t<submenu></submenu>\n\t<unique-id>") + QLatin1String(entry.id) +
           QLatin1String("</unique-id>\n\t<command>") + shellCommand(entry, enginePath).toHtmlEscaped() +
           QLatin1String("</command>\n\t<description></description>\n\t<patterns>") + patterns +
           QLatin1String("</patterns>\n") + types + QLatin1String("</action>\n");
}

bool isOurs(const QString& path, const FileManagerEntry& entry)
{
    const FileContent content = readWholeFile(path);
    return content.exists && content.bytes.contains(ownerMark(entry).toUtf8());
}

QString folderPart(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')));
}

// Writes one file of ours; a foreign file under the same name stays.
EntryWriteResult writeOwnFile(const QString& path, const FileManagerEntry& entry, const QByteArray& bytes, mode_t mode)
{
    if (int error = makeFolders(folderPart(path), 0700); error != 0)
        return {false, path, systemErrorText(error)};
    const FileContent existing = readWholeFile(path);
    if (existing.error != 0)
        return {false, path, systemErrorText(existing.error)};
    if (existing.exists && !existing.bytes.contains(ownerMark(entry).toUtf8()))
        return {false, path, QStringLiteral("Another file of the same name is in the way.")};
    // Every start renews the entries; unchanged ones cost no write and no sync.
    if (existing.exists && existing.bytes == bytes && existing.mode == mode)
        return {};
    if (int error = replaceFileAtomically(path, bytes, mode); error != 0)
        return {false, path, systemErrorText(error)};
    return {};
}

struct ActionRange
{
    qsizetype begin;
    qsizetype end;
};

// Finds the <action> elements with one of our ids, and where the closing
// </actions> starts. False when the text is not an actions file.
bool scanThunarActions(const QString& text, const QStringList& ids, std::vector<ActionRange>& ours, qsizetype& close)
{
    QXmlStreamReader reader(text);
    qsizetype actionBegin = -1;
    bool inUniqueId = false;
    bool matched = false;
    close = -1;
    while (!reader.atEnd()) {
        reader.readNext();
        const qsizetype after = static_cast<qsizetype>(reader.characterOffset());
        if (reader.isStartElement()) {
            if (reader.name() == QLatin1String("action") && actionBegin < 0) {
                // The reader's offsets run ahead by what it had to look at;
                // the tag itself is found in the text.
                actionBegin = text.lastIndexOf(QLatin1String("<action"), after - 1);
                matched = false;
            }
            inUniqueId = reader.name() == QLatin1String("unique-id");
        } else if (reader.isCharacters() && inUniqueId) {
            matched = matched || ids.contains(reader.text().toString().trimmed());
        } else if (reader.isEndElement()) {
            inUniqueId = false;
            if (reader.name() == QLatin1String("action") && actionBegin >= 0) {
                if (matched)
                    ours.push_back(
                        {actionBegin,
                         text.indexOf(QLatin1Char('>'), text.lastIndexOf(QLatin1String("</action"), after - 1)) + 1});
                actionBegin = -1;
            } else if (reader.name() == QLatin1String("actions")) {
                close = text.lastIndexOf(QLatin1String("</actions"), after - 1);
            }
        }
    }
    return !reader.hasError() && close >= 0;
}

// Our actions taken out (each with its line's indentation and line break), and
// `insert` put before </actions>; every other byte stays as it was.
EntryWriteResult editThunarActions(const UserFolders& folders,
                                   std::span<const FileManagerEntry> entries,
                                   const QString& insert,
                                   bool createWhenMissing)
{
    const QString path = thunarActionsFile(folders);
    FileContent content = readWholeFile(path);
    if (content.error != 0)
        return {false, path, systemErrorText(content.error)};
    if (!content.exists) {
        if (!createWhenMissing)
            return {};
        // Thunar copies its default actions for a user who has none yet; start
        // from the same copy so they are not lost.
        for (const QString& dir : folders.configDirs) {
            const FileContent defaults = readWholeFile(dir + QLatin1String("/Thunar/uca.xml"));
            if (defaults.exists) {
                content.bytes = defaults.bytes;
                break;
            }
        }
        if (content.bytes.isEmpty())
            content.bytes = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<actions>\n</actions>\n";
        content.mode = 0644;
    }

    QStringList ids;
    for (const FileManagerEntry& entry : entries)
        ids.append(QLatin1String(entry.id));
    const QString text = QString::fromUtf8(content.bytes);
    std::vector<ActionRange> ours;
    qsizetype close = -1;
    if (text.toUtf8() != content.bytes || !scanThunarActions(text, ids, ours, close))
        return {false, path, QStringLiteral("The file is not a list of actions this program can read.")};

    QString edited;
    qsizetype from = 0;
    for (const ActionRange& range : ours) {
        qsizetype begin = range.begin;
        while (begin > from && (text.at(begin - 1) == QLatin1Char(' ') || text.at(begin - 1) == QLatin1Char('\t')))
            --begin;
        qsizetype end = range.end;
        if (end < text.size() && text.at(end) == QLatin1Char('\n'))
            ++end;
        edited += text.mid(from, begin - from);
        from = end;
    }
    qsizetype insertAt = close;
    if (!insert.isEmpty()) {
        edited += text.mid(from, insertAt - from);
        if (!edited.isEmpty() && !edited.endsWith(QLatin1Char('\n')))
            edited += QLatin1Char('\n');
        edited += insert;
        from = insertAt;
    }
    edited += text.mid(from);
    if (edited == text && content.exists)
        return {};
    if (int error = makeFolders(folderPart(path), 0700); error != 0)
        return {false, path, systemErrorText(error)};
    if (int error = replaceFileAtomically(path, edited.toUtf8(), content.mode); error != 0)
        return {false, path, systemErrorText(error)};
    return {};
}

bool thunarPresent(const UserFolders& folders)
{
    if (QFileInfo::exists(folders.configHome + QLatin1String("/Thunar")))
        return true;
    for (const QString& dir : folders.configDirs) {
        if (QFileInfo::exists(dir + QLatin1String("/Thunar/uca.xml")))
            return true;
    }
    return false;
}

QString lockFile(const UserFolders& folders)
{
    return folders.configHome + QLatin1String("/ZQV/menus.lock");
}

} // namespace

const FileManagerEntry& folderVerbEntry()
{
    return kFolderVerb;
}

std::span<const FileManagerEntry> fileVerbEntries()
{
    return kFileVerbs;
}

UserFolders UserFolders::fromEnvironment()
{
    UserFolders folders;
    folders.dataHome = folderFromEnvironment("XDG_DATA_HOME", QStandardPaths::GenericDataLocation);
    folders.configHome = folderFromEnvironment("XDG_CONFIG_HOME", QStandardPaths::GenericConfigLocation);
    for (const QString& dir : qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        if (QDir::isAbsolutePath(dir))
            folders.configDirs.append(dir);
    }
    if (folders.configDirs.isEmpty())
        folders.configDirs.append(QStringLiteral("/etc/xdg"));
    return folders;
}

QString dolphinServiceMenuFile(const UserFolders& folders, const FileManagerEntry& entry)
{
    return folders.dataHome + QLatin1String("/kio/servicemenus/") + QLatin1String(entry.id) + QLatin1String(".desktop");
}

QString nautilusScriptFile(const UserFolders& folders, const FileManagerEntry& entry)
{
    // GNOME Files shows a script's file name as its menu text.
    return folders.dataHome + QLatin1String("/nautilus/scripts/") + QLatin1String(entry.label);
}

QString nemoActionFile(const UserFolders& folders, const FileManagerEntry& entry)
{
    return folders.dataHome + QLatin1String("/nemo/actions/") + QLatin1String(entry.id) + QLatin1String(".nemo_action");
}

QString thunarActionsFile(const UserFolders& folders)
{
    return folders.configHome + QLatin1String("/Thunar/uca.xml");
}

EntryWriteResult writeFileManagerEntries(const UserFolders& folders,
                                         const QString& enginePath,
                                         std::span<const FileManagerEntry> entries)
{
    EntryWriteResult first;
    const auto keep = [&first](const EntryWriteResult& result) {
        if (first.ok && !result.ok)
            first = result;
    };
    if (int error = makeFolders(folderPart(lockFile(folders)), 0700); error != 0)
        return {false, folderPart(lockFile(folders)), systemErrorText(error)};
    const FileLock lock(lockFile(folders));
    if (lock.error() != 0)
        return {false, lockFile(folders), systemErrorText(lock.error())};

    for (const FileManagerEntry& entry : entries) {
        // Recent Dolphin runs only service menus marked executable.
        keep(writeOwnFile(dolphinServiceMenuFile(folders, entry), entry, dolphinServiceMenu(entry, enginePath), 0755));
        keep(writeOwnFile(nautilusScriptFile(folders, entry), entry, nautilusScript(entry, enginePath), 0755));
        keep(writeOwnFile(nemoActionFile(folders, entry), entry, nemoAction(entry, enginePath), 0644));
    }
    if (thunarPresent(folders)) {
        QString actions;
        for (const FileManagerEntry& entry : entries)
            actions += thunarAction(entry, enginePath);
        keep(editThunarActions(folders, entries, actions, true));
    }
    return first;
}

void removeFileManagerEntries(const UserFolders& folders, std::span<const FileManagerEntry> entries)
{
    // Without the lock folder there is nothing of ours to remove but a
    // failure to create it must not stop the removal either.
    [[maybe_unused]] const int ignored = makeFolders(folderPart(lockFile(folders)), 0700);
    const FileLock lock(lockFile(folders));
    for (const FileManagerEntry& entry : entries) {
        for (const QString& path : {dolphinServiceMenuFile(folders, entry),
                                    nautilusScriptFile(folders, entry),
                                    nemoActionFile(folders, entry)}) {
            if (isOurs(path, entry)) [[maybe_unused]]
                const int result = removeFile(path);
        }
    }
    [[maybe_unused]] const EntryWriteResult result = editThunarActions(folders, entries, QString(), false);
}

} // namespace zqvcore
