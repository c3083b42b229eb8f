#include "FileManagerEntries.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QXmlStreamReader>
#include <cerrno>
#include <vector>

#include <unistd.h>

#include "FileUpdate.h"
#include "UserFile.h"

namespace zqvcore {

namespace {

// The entries are the operation rows that have a file-manager entry.
std::vector<FileManagerEntry> entriesFromRows(bool folders)
{
    std::vector<FileManagerEntry> entries;
    for (const OperationInfo& row : operationTable()) {
        if (row.fileManagerId == nullptr || *row.fileManagerId == '\0')
            continue;
        if (appliesTo(row, ItemKind::Folder) != folders)
            continue;
        entries.push_back(
            {row.fileManagerId, row.fileManagerText, row.engineSwitch, row.appliesTo, row.fileManagerRuns});
    }
    return entries;
}

const std::vector<FileManagerEntry>& folderEntries()
{
    static const std::vector<FileManagerEntry> entries = entriesFromRows(true);
    return entries;
}

const std::vector<FileManagerEntry>& fileEntries()
{
    static const std::vector<FileManagerEntry> entries = entriesFromRows(false);
    return entries;
}

constexpr const char* kIcon = "cryptelle";
constexpr const char* kEncryptedType = "application/x-zqv";

// Every file of ours carries this line, so removal never takes a user's own
// file that happens to share a name.
QString ownerMark(const QString& id)
{
    return QLatin1String("zqv-menu-id: ") + id;
}

QString ownerMark(const FileManagerEntry& entry)
{
    return ownerMark(QLatin1String(entry.id));
}

QString folderFromEnvironment(const char* variable, QStandardPaths::StandardLocation fallback)
{
    const QString value = qEnvironmentVariable(variable);
    if (QDir::isAbsolutePath(value))
        return value;
    return QStandardPaths::writableLocation(fallback);
}

QByteArray nativePath(const QString& path)
{
    return QFile::encodeName(path);
}

// A per-user file as we may read it: only a regular file of bounded size is
// opened at all, and never in a way that can block (a FIFO, a device).
struct EntryFile
{
    int error = 0; // errno of a failed read (a missing file is no error)
    bool exists = false;
    QString refusal; // why the file was left as it is, when it is not one we read
    QByteArray bytes;
    mode_t mode = 0;
};

EntryFile readEntryFile(const QString& path)
{
    const UserFileRead read = readUserFile(path, kMaxEntryFileSize);
    EntryFile result;
    switch (read.status) {
    case UserFileRead::Status::Read:
        result.exists = true;
        result.bytes = read.bytes;
        result.mode = read.mode;
        break;
    case UserFileRead::Status::Missing:
        break;
    case UserFileRead::Status::Refused:
        result.exists = true;
        result.refusal =
            read.reason.left(1).toUpper() + read.reason.mid(1) + QLatin1String(", so it was left as it is.");
        break;
    case UserFileRead::Status::Failed:
        result.exists = true;
        result.error = read.error != 0 ? read.error : EIO;
        break;
    }
    return result;
}

// Why a file that exists could not be read, or an empty text.
QString readProblem(const EntryFile& file)
{
    if (file.error != 0)
        return systemErrorText(file.error);
    return file.refusal;
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

// Shows a message on the desktop with whatever dialog tool is there, and on
// stderr. Written without quotes, backslashes or percent signs, like the
// runner below, so every format carries it unchanged.
const char* const kSay =
    "say() { echo \"$1\" >&2; "
    "if command -v zenity >/dev/null 2>&1; then zenity --error --no-markup --title=Cryptelle --text=\"$1\"; "
    "elif command -v kdialog >/dev/null 2>&1; then kdialog --title Cryptelle --error \"$1\"; "
    "elif command -v notify-send >/dev/null 2>&1; then notify-send -i cryptelle Cryptelle \"$1\"; "
    "elif command -v xmessage >/dev/null 2>&1; then xmessage -center \"$1\"; fi; }; ";

// The shell code every format runs, with the engine as $0, the entry's own
// file as $1 (named when the engine is gone) and the selected paths after
// it. Each path reaches the engine as one argument, unchanged. Items the entry
// does not apply to are left out and named in one message.
QString runnerScript(const FileManagerEntry& entry)
{
    QStringList accepted;
    if (appliesTo(entry.appliesTo, ItemKind::Folder))
        accepted << QStringLiteral("folder");
    if (appliesTo(entry.appliesTo, ItemKind::PlainFile))
        accepted << QStringLiteral("plain");
    if (appliesTo(entry.appliesTo, ItemKind::EncryptedFile))
        accepted << QStringLiteral("zqv");
    const QString engineSwitch = QLatin1String(entry.engineSwitch);
    const QString run = QLatin1String("\"$e\" ") + engineSwitch;
    const QString plainReason =
        entry.appliesTo == ToEncryptedFiles ? QStringLiteral("not an encrypted file") : QStringLiteral("a file");

    QString script =
        QLatin1String("e=$0; w=$1; shift; ") + QLatin1String(kSay) +
        QLatin1String("[ -x \"$e\" ] || { say \"Cryptelle is not installed: $e was not found. Install "
                      "Cryptelle again, or remove this menu entry by deleting $w\"; exit 1; }; "
                      "b=$PWD; cd / || exit 1; "
                      "kind() { case $1 in /*) p=$1 ;; *) p=$b/$1 ;; esac; "
                      "if [ -d \"$p\" ]; then k=folder; elif [ -e \"$p\" ] || [ -L \"$p\" ]; then "
                      "case $p in *.zqv) k=zqv ;; *) k=plain ;; esac; else k=missing; fi; case $k in ") +
        accepted.join(QLatin1Char('|')) +
        QLatin1String(") a=1 ;; *) a= ;; esac; }; "
                      "n=0; m=0; s=; for x in \"$@\"; do kind \"$x\"; if [ -n \"$a\" ]; then n=$((n+1)); "
                      "else m=$((m+1)); case $k in folder) y=\"a folder\" ;; zqv) y=\"an encrypted file\" ;; "
                      "plain) y=\"") +
        plainReason +
        QLatin1String("\" ;; *) y=\"not found\" ;; esac; "
                      "[ $m -le 10 ] && s=\"$s $p ($y);\"; fi; done; "
                      "[ $m -gt 10 ] && s=\"$s and $((m-10)) more.\"; "
                      "[ $m -eq 0 ] || say \"") +
        QLatin1String(entry.label) +
        QLatin1String(" was not started for these items:$s\" & "
                      "[ $n -eq 0 ] && { wait; exit 0; }; ");
    if (entry.runs == EntryRuns::OnePerItem || entry.runs == EntryRuns::WipeList) {
        // One item, or one run per item: the single form.
        const QString single =
            QLatin1String("for x in \"$@\"; do kind \"$x\"; [ -n \"$a\" ] && ") + run + QLatin1String(" \"$p\"; done");
        if (entry.runs == EntryRuns::OnePerItem)
            return script + single + QLatin1String("; wait");
        // Several files: the list form, in as many runs as one argument's
        // limit needs. A name holding '?' would be cut there, so it gets a
        // run of its own in the single form.
        script += QLatin1String("if [ $n -eq 1 ]; then ") + single +
                  QLatin1String("; wait; exit; fi; l=; for x in \"$@\"; do kind \"$x\"; [ -n \"$a\" ] || continue; "
                                "case $p in *[?]*) ") +
                  run +
                  QLatin1String(" \"$p\"; continue ;; esac; "
                                "if [ $((${#l}+${#p})) -ge ") +
                  QString::number(kWipeListCharacters) + QLatin1String(" ]; then ") + run +
                  QLatin1String(" \"$l\"; l=; fi; l=$l?$p; done; [ -z \"$l\" ] || ") + run +
                  QLatin1String(" \"$l\"; wait");
    }
    return script;
}

// A command line for file managers that split it like a shell (Nemo, Thunar):
// their own field code %F expands to the quoted paths.
QString shellCommand(const FileManagerEntry& entry, const QString& enginePath, const QString& where)
{
    return QLatin1String("/bin/sh -c ") + escapePercent(shellQuote(runnerScript(entry))) + QLatin1Char(' ') +
           escapePercent(shellQuote(enginePath)) + QLatin1Char(' ') + escapePercent(shellQuote(where)) +
           QLatin1String(" %F");
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

QString desktopExec(const FileManagerEntry& entry, const QString& enginePath, const QString& where)
{
    return QLatin1String("/bin/sh -c ") + desktopExecArgument(runnerScript(entry)) + QLatin1Char(' ') +
           desktopExecArgument(enginePath) + QLatin1Char(' ') + desktopExecArgument(where) + QLatin1String(" %F");
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

// One item of a key file's list (Nemo's Dependencies, TryExec needs none).
QString keyFileListItem(const QString& text)
{
    QString escaped = keyFileValue(text);
    escaped.replace(QLatin1Char(';'), QLatin1String("\\;"));
    return escaped + QLatin1Char(';');
}

QString comment(const FileManagerEntry& entry)
{
    return QLatin1String("Cryptelle: ") + QLatin1String(entry.label);
}

// Dolphin's three service menus: one per kind of selection, each with the
// file name it is written to.
struct DolphinMenuRow
{
    DolphinMenu menu;
    ItemKind kind;
    const char* id;
};
constexpr DolphinMenuRow kDolphinMenus[] = {
    {DolphinMenu::Folders, ItemKind::Folder, "zqv-folders"},
    {DolphinMenu::Files, ItemKind::PlainFile, "zqv-files"},
    {DolphinMenu::EncryptedFiles, ItemKind::EncryptedFile, "zqv-encrypted-files"},
};

const DolphinMenuRow& dolphinRow(DolphinMenu menu)
{
    for (const DolphinMenuRow& row : kDolphinMenus) {
        if (row.menu == menu)
            return row;
    }
    return kDolphinMenus[0];
}

bool applies(const FileManagerEntry& entry, DolphinMenu menu)
{
    return appliesTo(entry.appliesTo, dolphinRow(menu).kind);
}

QString dolphinMenuId(DolphinMenu menu)
{
    return QLatin1String(dolphinRow(menu).id);
}

// One service menu for one kind of selection, its actions under the
// "Cryptelle" submenu in the rows' order. Plain files and ".zqv" files get
// separate menus so that Decrypt is offered on ".zqv" only and Encrypt and
// Make Exe never on it.
QByteArray dolphinServiceMenu(DolphinMenu menu,
                              const std::vector<const FileManagerEntry*>& entries,
                              const QString& enginePath,
                              const QString& where)
{
    QString mimeTypes;
    QString exclude;
    switch (menu) {
    case DolphinMenu::Folders:
        mimeTypes = QStringLiteral("inode/directory;");
        break;
    case DolphinMenu::Files:
        mimeTypes = QStringLiteral("all/allfiles;");
        // Dolphin 22.12 reads ExcludeServiceTypes as a comma list, so a
        // trailing ';' made the type "application/x-zqv;" and excluded
        // nothing. One type with no separator reads the same as a comma
        // list and as a ';' list, whichever a release uses.
        exclude = QLatin1String("ExcludeMimeType=") + QLatin1String(kEncryptedType) +
                  QLatin1String("\nExcludeServiceTypes=") + QLatin1String(kEncryptedType) +
                  QLatin1String("\nX-KDE-ExcludeMimeType=") + QLatin1String(kEncryptedType) + QLatin1Char('\n');
        break;
    case DolphinMenu::EncryptedFiles:
        mimeTypes = QLatin1String(kEncryptedType) + QLatin1Char(';');
        break;
    }
    QString actions;
    QString sections;
    for (const FileManagerEntry* entry : entries) {
        actions += QLatin1String(entry->id) + QLatin1Char(';');
        sections += QLatin1String("\n[Desktop Action ") + QLatin1String(entry->id) + QLatin1String("]\nName=") +
                    QLatin1String(entry->label) + QLatin1String("\nIcon=") + QLatin1String(kIcon) +
                    QLatin1String("\nExec=") + keyFileValue(desktopExec(*entry, enginePath, where)) + QLatin1Char('\n');
    }
    const QString text = QLatin1String("[Desktop Entry]\n"
                                       "Type=Service\n"
                                       "Name=Cryptelle\n"
                                       "Icon=") +
                         QLatin1String(kIcon) +
                         QLatin1String("\nX-KDE-ServiceTypes=KonqPopupMenu/Plugin\n"
                                       "X-KDE-Submenu=Cryptelle\n"
                                       "MimeType=") +
                         mimeTypes + QLatin1Char('\n') + exclude + QLatin1String("TryExec=") +
                         keyFileValue(enginePath) + QLatin1String("\nActions=") + actions + QLatin1String("\n# ") +
                         ownerMark(dolphinMenuId(menu)) + QLatin1Char('\n') + sections;
    return text.toUtf8();
}

// GNOME Files passes the names it shows, relative and with its own field
// codes expanded inside them, so the arguments are not used: the exact paths
// come from the URIs it sets, decoded byte for byte, and must agree with the
// paths it sets beside them.
QByteArray nautilusScript(const FileManagerEntry& entry, const QString& enginePath, const QString& where)
{
    const QString text =
        QLatin1String("#!/bin/sh\n# ") + ownerMark(entry) +
        QLatin1String("\n# Written by Cryptelle; removed when its context menus are switched off.\n") +
        QLatin1String(kSay) +
        QLatin1String("\n"
                      "u=${NAUTILUS_SCRIPT_SELECTED_URIS-}\n"
                      "if [ -z \"$u\" ]; then say \"GNOME Files did not say which items are selected, so nothing "
                      "was done. Select fewer items and try again.\"; exit 1; fi\n"
                      "nl='\n'\n"
                      "x=; set --; IFS=$nl; set -f\n"
                      "for uri in $u; do\n"
                      "  case $uri in file:///*) ;; *) say \"Cryptelle works only on files on this computer, so "
                      "nothing was done.\"; exit 1 ;; esac\n"
                      "  r=${uri#file://}; f=\n"
                      "  while [ -n \"$r\" ]; do\n"
                      "    case $r in\n"
                      "      %[0-9A-Fa-f][0-9A-Fa-f]*) h=${r#%}; t=${h#??}; h=${h%\"$t\"}; v=$((0x$h)); "
                      "f=$f\\\\$((v/64))$((v/8%8))$((v%8)); r=$t ;;\n"
                      "      %*|\\\\*) say \"GNOME Files named a selected item in a way that cannot be read "
                      "exactly, so nothing was done.\"; exit 1 ;;\n"
                      "      *) c=${r%\"${r#?}\"}; f=$f$c; r=${r#?} ;;\n"
                      "    esac\n"
                      "  done\n"
                      "  p=$(printf \"$f/\"); p=${p%/}\n"
                      "  x=$x$p$nl; set -- \"$@\" \"$p\"\n"
                      "done\n"
                      "unset IFS; set +f\n"
                      "if [ \"$x\" != \"${NAUTILUS_SCRIPT_SELECTED_FILE_PATHS-}\" ]; then say \"GNOME Files named "
                      "the selected items in two ways that do not agree, so nothing was done.\"; exit 1; fi\n"
                      "exec /bin/sh -c ") +
        shellQuote(runnerScript(entry)) + QLatin1Char(' ') + shellQuote(enginePath) + QLatin1Char(' ') +
        shellQuote(where) + QLatin1String(" \"$@\"\n");
    return text.toUtf8();
}

// Fails when any selected item is a ".zqv" file. Nemo expands %F here as in
// Exec and splits the line without a shell, so the names stay data.
const QLatin1String
    kNemoNoEncryptedFile("/bin/sh -c 'for x in \"$@\"; do case $x in *.zqv) exit 1 ;; esac; done' sh %F");

QByteArray nemoAction(const FileManagerEntry& entry, const QString& enginePath, const QString& where)
{
    QString filter;
    if (appliesTo(entry.appliesTo, ItemKind::Folder)) {
        filter = QStringLiteral("Extensions=dir;\n");
    } else if (entry.appliesTo == ToEncryptedFiles) {
        filter = QStringLiteral("Extensions=zqv;\n");
    } else {
        filter = QStringLiteral("Extensions=nodirs;\n");
        // Newer Nemo leaves the action off ".zqv" files by Files; Nemo 5.6
        // ignores that key but hides an action whose exec condition fails,
        // and hands it the selection. Where neither works, the runner names
        // the ".zqv" files instead of starting the engine.
        if (!appliesTo(entry.appliesTo, ItemKind::EncryptedFile))
            filter += QStringLiteral("Files=*;!*.zqv;\nConditions=") +
                      keyFileListItem(QString(QLatin1String("exec ")) + kNemoNoEncryptedFile) + QLatin1Char('\n');
    }
    const QString text = QLatin1String("[Nemo Action]\n# ") + ownerMark(entry) + QLatin1String("\nName=") +
                         QLatin1String(entry.label) + QLatin1String("\nComment=") + comment(entry) +
                         QLatin1String("\nIcon-Name=") + QLatin1String(kIcon) + QLatin1String("\nExec=") +
                         keyFileValue(shellCommand(entry, enginePath, where)) +
                         QLatin1String("\nQuote=single\nSelection=notnone\n") + filter +
                         QLatin1String("Dependencies=") + keyFileListItem(enginePath) + QLatin1Char('\n');
    return text.toUtf8();
}

// The file-manager actions format that PCManFM-Qt reads.
QByteArray pcmanfmAction(const FileManagerEntry& entry, const QString& enginePath, const QString& where)
{
    QString mimeTypes;
    if (appliesTo(entry.appliesTo, ItemKind::Folder))
        mimeTypes = QStringLiteral("inode/directory;");
    else if (entry.appliesTo == ToEncryptedFiles)
        mimeTypes = QLatin1String(kEncryptedType) + QLatin1Char(';');
    else if (!appliesTo(entry.appliesTo, ItemKind::EncryptedFile))
        mimeTypes = QLatin1String("all/allfiles;!") + QLatin1String(kEncryptedType) + QLatin1Char(';');
    else
        mimeTypes = QStringLiteral("all/allfiles;");
    const QString text = QLatin1String("[Desktop Entry]\nType=Action\nName=") + QLatin1String(entry.label) +
                         QLatin1String("\nTooltip=") + comment(entry) + QLatin1String("\nIcon=") +
                         QLatin1String(kIcon) + QLatin1String("\nTryExec=") + keyFileValue(enginePath) +
                         QLatin1String("\nProfiles=zqv;\n# ") + ownerMark(entry) +
                         QLatin1String("\n\n[X-Action-Profile zqv]\nName=") + QLatin1String(entry.label) +
                         QLatin1String("\nExec=") + keyFileValue(desktopExec(entry, enginePath, where)) +
                         QLatin1String("\nMimeTypes=") + mimeTypes + QLatin1String("\nSelectionCount=>0\n");
    return text.toUtf8();
}

QString thunarAction(const FileManagerEntry& entry, const QString& enginePath, const QString& where)
{
    QString types;
    QString patterns = QStringLiteral("*");
    if (appliesTo(entry.appliesTo, ItemKind::Folder)) {
        types = QStringLiteral("\t<directories/>\n");
    } else {
        if (entry.appliesTo == ToEncryptedFiles)
            patterns = QStringLiteral("*.zqv");
        types = QStringLiteral("\t<audio-files/>\n\t<image-files/>\n\t<other-files/>\n\t<text-files/>\n"
                               "\t<video-files/>\n");
    }
    return QLatin1String("<action>\n\t<icon>") + QLatin1String(kIcon) + QLatin1String("</icon>\n\t<name>") +
           QString::fromLatin1(entry.label).toHtmlEscaped() +
           QLatin1String("</name>\n\t<submenu></submenu>\n\t<unique-id>") + QLatin1String(entry.id) +
           QLatin1String("</unique-id>\n\t<command>") + shellCommand(entry, enginePath, where).toHtmlEscaped() +
           QLatin1String("</command>\n\t<description>") + comment(entry).toHtmlEscaped() +
           QLatin1String("</description>\n\t<patterns>") + patterns + QLatin1String("</patterns>\n") + types +
           QLatin1String("</action>\n");
}

bool isOurs(const EntryFile& content, const QString& id)
{
    return content.exists && content.bytes.contains(ownerMark(id).toUtf8());
}

QString folderPart(const QString& path)
{
    return path.left(path.lastIndexOf(QLatin1Char('/')));
}

const QString kInTheWay = QStringLiteral("Another file of the same name is in the way; it was left as it is.");

// Writes one file of ours; a foreign file under the same name stays.
void writeOwnFile(
    EntryWriteResult& result, const QString& path, const QString& id, const QByteArray& bytes, mode_t mode)
{
    if (int error = makeFolders(folderPart(path), 0700); error != 0)
        return result.add(path, systemErrorText(error));
    const EntryFile existing = readEntryFile(path);
    if (const QString problem = readProblem(existing); !problem.isEmpty())
        return result.add(path, problem);
    if (existing.exists && !isOurs(existing, id))
        return result.add(path, kInTheWay);
    // Every start renews the entries; unchanged ones cost no write and no sync.
    if (existing.exists && existing.bytes == bytes && existing.mode == mode)
        return;
    if (int error = replaceFileAtomically(path, bytes, mode); error != 0)
        result.add(path, systemErrorText(error));
}

void removeOwnFile(EntryWriteResult& result, const QString& path, const QString& id)
{
    const EntryFile existing = readEntryFile(path);
    if (!existing.exists)
        return;
    if (const QString problem = readProblem(existing); !problem.isEmpty())
        return result.add(path, problem);
    if (!isOurs(existing, id))
        return;
    if (int error = removeFile(path); error != 0)
        result.add(path, systemErrorText(error));
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
void editThunarActions(EntryWriteResult& result,
                       const UserFolders& folders,
                       std::span<const FileManagerEntry> entries,
                       const QString& insert,
                       bool createWhenMissing)
{
    const QString path = thunarActionsFile(folders);
    EntryFile content = readEntryFile(path);
    if (const QString problem = readProblem(content); !problem.isEmpty())
        return result.add(path, problem);
    if (!content.exists) {
        if (!createWhenMissing)
            return;
        // Thunar copies its default actions for a user who has none yet; start
        // from the same copy so they are not lost.
        for (const QString& dir : folders.configDirs) {
            const EntryFile defaults = readEntryFile(dir + QLatin1String("/Thunar/uca.xml"));
            if (defaults.exists && readProblem(defaults).isEmpty()) {
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
        return result.add(path,
                          QStringLiteral("The file is not a list of actions this program can read; it was "
                                         "left as it is."));

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
    if (!insert.isEmpty()) {
        edited += text.mid(from, close - from);
        if (!edited.isEmpty() && !edited.endsWith(QLatin1Char('\n')))
            edited += QLatin1Char('\n');
        edited += insert;
        from = close;
    }
    edited += text.mid(from);
    if (edited == text && content.exists)
        return;
    if (int error = makeFolders(folderPart(path), 0700); error != 0)
        return result.add(path, systemErrorText(error));
    if (int error = replaceFileAtomically(path, edited.toUtf8(), content.mode); error != 0)
        result.add(path, systemErrorText(error));
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

std::vector<const FileManagerEntry*> dolphinGroup(std::span<const FileManagerEntry> entries, DolphinMenu menu)
{
    std::vector<const FileManagerEntry*> group;
    for (const FileManagerEntry& entry : entries) {
        if (applies(entry, menu))
            group.push_back(&entry);
    }
    return group;
}

// Service menus of one file per entry, as earlier versions wrote them.
QString oldDolphinFile(const UserFolders& folders, const FileManagerEntry& entry)
{
    return folders.dataHome + QLatin1String("/kio/servicemenus/") + QLatin1String(entry.id) + QLatin1String(".desktop");
}

// Our entry folders, deepest first; each is removed only when empty.
QStringList entryFolders(const UserFolders& folders)
{
    return {folders.dataHome + QLatin1String("/kio/servicemenus"),
            folders.dataHome + QLatin1String("/kio"),
            folders.dataHome + QLatin1String("/nautilus/scripts"),
            folders.dataHome + QLatin1String("/nemo/actions"),
            folders.dataHome + QLatin1String("/nemo"),
            folders.dataHome + QLatin1String("/file-manager/actions"),
            folders.dataHome + QLatin1String("/file-manager")};
}

} // namespace

void EntryWriteResult::add(const QString& problemFile, const QString& problemReason)
{
    if (ok) {
        ok = false;
        file = problemFile;
        reason = problemReason;
    }
    problems.append(problemFile + QLatin1String(": ") + problemReason);
}

const FileManagerEntry& folderVerbEntry()
{
    return folderEntries().front();
}

std::span<const FileManagerEntry> fileVerbEntries()
{
    return fileEntries();
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

QString enginePathProblem(const QString& enginePath)
{
    // The entries are UTF-8 text: a name that is not, or holds control
    // characters, could only be written altered and would start nothing.
    if (enginePath.contains(QChar::ReplacementCharacter) ||
        QFile::decodeName(QFile::encodeName(enginePath)) != enginePath)
        return QStringLiteral("The program folder's name is not valid UTF-8 text, so the file managers' menu entries "
                              "cannot start Cryptelle from there. Move Cryptelle to a folder with a plain name.");
    for (const QChar c : enginePath) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            return QStringLiteral("The program folder's name holds control characters, so the file managers' menu "
                                  "entries cannot start Cryptelle from there. Move Cryptelle to a folder with a "
                                  "plain name.");
    }
    if (!QDir::isAbsolutePath(enginePath))
        return QStringLiteral("The program folder is not known, so the file managers' menu entries cannot be written.");
    return {};
}

QString dolphinServiceMenuFile(const UserFolders& folders, DolphinMenu menu)
{
    return folders.dataHome + QLatin1String("/kio/servicemenus/") + dolphinMenuId(menu) + QLatin1String(".desktop");
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

QString pcmanfmActionFile(const UserFolders& folders, const FileManagerEntry& entry)
{
    return folders.dataHome + QLatin1String("/file-manager/actions/") + QLatin1String(entry.id) +
           QLatin1String(".desktop");
}

QString thunarActionsFile(const UserFolders& folders)
{
    return folders.configHome + QLatin1String("/Thunar/uca.xml");
}

EntryWriteResult writeFileManagerEntries(const UserFolders& folders,
                                         const QString& enginePath,
                                         std::span<const FileManagerEntry> entries)
{
    EntryWriteResult result;
    if (const QString problem = enginePathProblem(enginePath); !problem.isEmpty()) {
        result.add(enginePath, problem);
        return result;
    }
    if (int error = makeFolders(folderPart(lockFile(folders)), 0700); error != 0) {
        result.add(folderPart(lockFile(folders)), systemErrorText(error));
        return result;
    }
    const FileLock lock(lockFile(folders));
    if (lock.error() != 0) {
        result.add(lockFile(folders), systemErrorText(lock.error()));
        return result;
    }

    for (const DolphinMenuRow& row : kDolphinMenus) {
        const std::vector<const FileManagerEntry*> group = dolphinGroup(entries, row.menu);
        if (group.empty())
            continue;
        const QString path = dolphinServiceMenuFile(folders, row.menu);
        // Recent Dolphin runs only service menus marked executable.
        writeOwnFile(result, path, QLatin1String(row.id), dolphinServiceMenu(row.menu, group, enginePath, path), 0755);
    }
    for (const FileManagerEntry& entry : entries) {
        EntryWriteResult ignored;
        removeOwnFile(ignored, oldDolphinFile(folders, entry), QLatin1String(entry.id));
        const QString script = nautilusScriptFile(folders, entry);
        writeOwnFile(result, script, QLatin1String(entry.id), nautilusScript(entry, enginePath, script), 0755);
        const QString nemo = nemoActionFile(folders, entry);
        writeOwnFile(result, nemo, QLatin1String(entry.id), nemoAction(entry, enginePath, nemo), 0644);
        const QString pcmanfm = pcmanfmActionFile(folders, entry);
        writeOwnFile(result, pcmanfm, QLatin1String(entry.id), pcmanfmAction(entry, enginePath, pcmanfm), 0644);
    }
    if (thunarPresent(folders)) {
        QString actions;
        const QString where = thunarActionsFile(folders);
        for (const FileManagerEntry& entry : entries)
            actions += thunarAction(entry, enginePath, where);
        editThunarActions(result, folders, entries, actions, true);
    }
    return result;
}

EntryWriteResult removeFileManagerEntries(const UserFolders& folders, std::span<const FileManagerEntry> entries)
{
    EntryWriteResult result;
    // Without the lock folder there is nothing of ours to remove, but a
    // failure to create it must not stop the removal either.
    [[maybe_unused]] const int ignored = makeFolders(folderPart(lockFile(folders)), 0700);
    const FileLock lock(lockFile(folders));
    for (const DolphinMenuRow& row : kDolphinMenus) {
        if (!dolphinGroup(entries, row.menu).empty())
            removeOwnFile(result, dolphinServiceMenuFile(folders, row.menu), QLatin1String(row.id));
    }
    for (const FileManagerEntry& entry : entries) {
        const QString id = QLatin1String(entry.id);
        removeOwnFile(result, oldDolphinFile(folders, entry), id);
        removeOwnFile(result, nautilusScriptFile(folders, entry), id);
        removeOwnFile(result, nemoActionFile(folders, entry), id);
        removeOwnFile(result, pcmanfmActionFile(folders, entry), id);
    }
    editThunarActions(result, folders, entries, QString(), false);
    // rmdir takes a folder only when it is empty: the user's files keep theirs.
    for (const QString& folder : entryFolders(folders))
        ::rmdir(nativePath(folder).constData());
    return result;
}

} // namespace zqvcore
