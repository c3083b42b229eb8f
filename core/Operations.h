#pragma once

#include <QString>
#include <bitset>
#include <span>

namespace zqvcore {

enum class Operation { None, Encrypt, Decrypt, Wipe, SelfExtracting, EncryptFolder };

// What a selected item is, for deciding which operations fit it.
enum class ItemKind {
    Other,         // missing, unreadable, a device, a link to nothing: nothing fits
    PlainFile,     // a readable regular file whose name does not end in ".zqv"
    EncryptedFile, // a readable regular file whose name ends in exactly ".zqv"
    Folder
};

// Which kinds of item an operation applies to, as a mask of ItemKind bits.
enum AppliesTo : unsigned {
    ToPlainFiles = 1u << 0,
    ToEncryptedFiles = 1u << 1,
    ToFolders = 1u << 2,
    ToAnyFile = ToPlainFiles | ToEncryptedFiles,
};

// How the file managers start the engine for several selected items.
enum class EntryRuns {
    OnePerItem, // one engine run after another
    WipeList    // one run with the "?path?path" operand
};

// One row per operation: everything the toolbar, the Queue menu, the context
// menus, the file-manager entries and the engine's command line need to know
// about it. A text that is empty means the operation has no place there.
struct OperationInfo
{
    Operation operation;
    const char* toolbarKey;      // the toolbar button's key and objectName
    const char* toolbarText;     // the toolbar button's caption
    const char* toolbarPicture;  // ":/zqv/toolbar/<picture>.png"
    const char* actionWord;      // the word the queue stores
    const char* queueMenuName;   // objectName of the Queue menu's item
    const char* queueMenuText;   // its caption
    const char* engineSwitch;    // "/e", "/d", ...
    const char* contextMenuName; // objectName of the shell context menu's item
    const char* contextMenuText; // its caption, with its mnemonic
    const char* fileManagerId;   // our entry files' names and Thunar's unique id
    const char* fileManagerText; // the file managers' entry label
    unsigned appliesTo;          // AppliesTo bits
    EntryRuns fileManagerRuns;
};

[[nodiscard]] std::span<const OperationInfo> operationTable();
// The row of an operation; Operation::None has none (the call is then a bug).
[[nodiscard]] const OperationInfo& operationInfo(Operation operation);

// The kind of an item from its name (the shown text or the path) and what the
// file system says of it.
[[nodiscard]] ItemKind itemKind(const QString& name, bool readableRegularFile, bool folder);
[[nodiscard]] bool appliesTo(const OperationInfo& row, ItemKind kind);
// The same for a set of AppliesTo bits, as file-manager entries carry them.
[[nodiscard]] bool appliesTo(unsigned appliesBits, ItemKind kind);

// A set of operations, indexed by Operation.
class OperationSet
{
public:
    void insert(Operation operation) { m_bits.set(static_cast<std::size_t>(operation)); }
    [[nodiscard]] bool contains(Operation operation) const { return m_bits.test(static_cast<std::size_t>(operation)); }
    [[nodiscard]] bool empty() const { return m_bits.none(); }
    // Only what both sets hold: what fits every item of a selection.
    [[nodiscard]] OperationSet intersected(const OperationSet& other) const
    {
        OperationSet result;
        result.m_bits = m_bits & other.m_bits;
        return result;
    }
    friend bool operator==(const OperationSet&, const OperationSet&) = default;

private:
    std::bitset<8> m_bits;
};

// Every operation whose rule fits an item of this kind.
[[nodiscard]] OperationSet availableOperations(ItemKind kind);

// Lookups; Operation::None (or an empty text) when nothing matches.
[[nodiscard]] Operation operationForToolbarKey(const QString& key);
[[nodiscard]] Operation operationForActionWord(const QString& word);
[[nodiscard]] Operation operationForSwitch(const QString& engineSwitch);
[[nodiscard]] QString toolbarKey(Operation operation);
[[nodiscard]] QString actionWord(Operation operation);
[[nodiscard]] QString engineSwitch(Operation operation);

} // namespace zqvcore
