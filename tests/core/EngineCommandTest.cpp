#include "EngineCommand.h"

#include <gtest/gtest.h>

#include "Operations.h"

using namespace zqvcore;

namespace {

// Which operations each kind of item offers: the rule behind the toolbar, the
// menus and the file-manager entries alike.
TEST(OperationTable, EachKindOfItemGetsItsOperations)
{
    EXPECT_EQ(itemKind(QStringLiteral("/a/b.txt"), true, false), ItemKind::PlainFile);
    EXPECT_EQ(itemKind(QStringLiteral("/a/b.zqv"), true, false), ItemKind::EncryptedFile);
    EXPECT_EQ(itemKind(QStringLiteral("/a/b.ZQV"), true, false), ItemKind::PlainFile);
    EXPECT_EQ(itemKind(QStringLiteral("/a/b.zqv"), false, false), ItemKind::Other);
    EXPECT_EQ(itemKind(QStringLiteral("/a/b.zqv"), false, true), ItemKind::Folder);

    const OperationSet plain = availableOperations(ItemKind::PlainFile);
    EXPECT_TRUE(plain.contains(Operation::Encrypt));
    EXPECT_TRUE(plain.contains(Operation::SelfExtracting));
    EXPECT_TRUE(plain.contains(Operation::Wipe));
    EXPECT_FALSE(plain.contains(Operation::Decrypt));
    EXPECT_FALSE(plain.contains(Operation::EncryptFolder));

    const OperationSet encrypted = availableOperations(ItemKind::EncryptedFile);
    EXPECT_TRUE(encrypted.contains(Operation::Decrypt));
    EXPECT_TRUE(encrypted.contains(Operation::Wipe));
    EXPECT_FALSE(encrypted.contains(Operation::Encrypt));
    EXPECT_FALSE(encrypted.contains(Operation::SelfExtracting));

    const OperationSet folder = availableOperations(ItemKind::Folder);
    EXPECT_TRUE(folder.contains(Operation::EncryptFolder));
    EXPECT_FALSE(folder.contains(Operation::Wipe));
    EXPECT_TRUE(availableOperations(ItemKind::Other).empty());

    // A mixed selection offers what fits every item: only Wipe.
    const OperationSet both = plain.intersected(encrypted);
    EXPECT_TRUE(both.contains(Operation::Wipe));
    EXPECT_FALSE(both.contains(Operation::Encrypt));
    EXPECT_FALSE(both.contains(Operation::Decrypt));
}

// Two rows never share a key, a word, a switch or an entry id.
TEST(OperationTable, NoTwoRowsShareAName)
{
    const auto rows = operationTable();
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(&operationInfo(rows[i].operation), &rows[i]);
        for (std::size_t j = i + 1; j < rows.size(); ++j) {
            const auto same = [](const char* a, const char* b) {
                return *a != '\0' && QLatin1String(a) == QLatin1String(b);
            };
            EXPECT_FALSE(same(rows[i].toolbarKey, rows[j].toolbarKey));
            EXPECT_FALSE(same(rows[i].actionWord, rows[j].actionWord));
            EXPECT_FALSE(same(rows[i].engineSwitch, rows[j].engineSwitch));
            EXPECT_FALSE(same(rows[i].contextMenuName, rows[j].contextMenuName));
            EXPECT_FALSE(same(rows[i].fileManagerId, rows[j].fileManagerId));
        }
    }
}

TEST(OperationTable, KeysWordsAndSwitchesBelongTogether)
{
    struct Row
    {
        const char* key;
        const char* word;
        const char* engineSwitch;
        Operation operation;
    };
    const Row rows[] = {
        {"Encrypt", "Encrypt", "/e", Operation::Encrypt},
        {"Decrypt", "Decrypt", "/d", Operation::Decrypt},
        {"MakeExe", "Make Self-Extracting", "/s", Operation::SelfExtracting},
        {"Wipe", "Wipe", "/w", Operation::Wipe},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.key);
        EXPECT_EQ(operationForToolbarKey(QLatin1String(row.key)), row.operation);
        EXPECT_EQ(operationForActionWord(QLatin1String(row.word)), row.operation);
        EXPECT_EQ(operationForSwitch(QLatin1String(row.engineSwitch)), row.operation);
        EXPECT_EQ(actionWord(row.operation), QLatin1String(row.word));
        EXPECT_EQ(engineSwitch(row.operation), QLatin1String(row.engineSwitch));
    }
    EXPECT_EQ(operationForSwitch(QStringLiteral("/f")), Operation::EncryptFolder);
    // Keys the table does not know, wrong case, and the folder row's empty key.
    for (const char* unknown : {"Queue", "Advanced", "", "encrypt", "/E", "MakeExe "}) {
        EXPECT_EQ(operationForToolbarKey(QLatin1String(unknown)), Operation::None) << unknown;
        EXPECT_EQ(operationForActionWord(QLatin1String(unknown)), Operation::None) << unknown;
        EXPECT_EQ(operationForSwitch(QLatin1String(unknown)), Operation::None) << unknown;
    }
}

class RoundTrip : public ::testing::TestWithParam<const char*>
{
};

// What a caller builds is exactly what the engine reads back, whatever the path holds.
TEST_P(RoundTrip, EngineReadsBackTheOperationAndThePath)
{
    const QString path = QString::fromUtf8(GetParam());
    for (Operation operation : {Operation::Encrypt,
                                Operation::Decrypt,
                                Operation::SelfExtracting,
                                Operation::Wipe,
                                Operation::EncryptFolder}) {
        const EngineCommand command = engineCommand(QStringLiteral("/opt/my programs"), operation, path);
        EXPECT_EQ(command.program, QStringLiteral("/opt/my programs/zqvengine"));
        ASSERT_EQ(command.arguments.size(), 2);
        const EngineRequest request = parseArgumentString(argumentString(command.arguments));
        EXPECT_TRUE(request.valid);
        EXPECT_EQ(request.operation, operation);
        EXPECT_EQ(request.operand, path);
    }
}

INSTANTIATE_TEST_SUITE_P(Paths,
                         RoundTrip,
                         ::testing::Values("/home/u/a.txt",
                                           "/home/u/My Files/a b.txt",
                                           "  leading and trailing blanks  ",
                                           "/tmp/what?.txt",
                                           "?a?b",
                                           "/e",
                                           "//double/slash",
                                           "relative/a.txt",
                                           "\"quoted\".txt",
                                           "/home/u/Grüße/日本語 ☃.txt",
                                           ""));

TEST(ParseArgumentString, TakesTheSwitchAndDropsTheThirdCharacter)
{
    EXPECT_FALSE(parseArgumentString(QString()).valid);
    EXPECT_FALSE(parseArgumentString(QStringLiteral("/e")).valid);
    const EngineRequest glued = parseArgumentString(QStringLiteral("/exC:/a.txt"));
    EXPECT_EQ(glued.operation, Operation::Encrypt);
    EXPECT_EQ(glued.operand, QStringLiteral("C:/a.txt"));
    const EngineRequest upper = parseArgumentString(QStringLiteral("/E a.txt"));
    EXPECT_TRUE(upper.valid);
    EXPECT_EQ(upper.operation, Operation::None);
    EXPECT_EQ(parseArgumentString(QStringLiteral("/e ")).operand, QString());
}

TEST(WipeListOperand, PrefixesEveryPathAndLeavesOutWhatItCannotCarry)
{
    QStringList leftOut;
    EXPECT_EQ(wipeListOperand({QStringLiteral("/a b"), QStringLiteral("/c?d"), QStringLiteral("/e")}, &leftOut),
              QStringLiteral("?/a b?/e"));
    EXPECT_EQ(leftOut, QStringList{QStringLiteral("/c?d")});
    EXPECT_EQ(wipeListOperand({}), QString());
}

TEST(WipeListOperand, SplitsALongListIntoOperandsOfBoundedLength)
{
    QStringList paths;
    for (int i = 0; i < 50; ++i)
        paths.append(QStringLiteral("/folder/file number %1").arg(i));
    paths.insert(7, QStringLiteral("/what?.txt"));
    QStringList leftOut;
    const QStringList operands = wipeListOperands(paths, 100, &leftOut);
    EXPECT_EQ(leftOut, QStringList{QStringLiteral("/what?.txt")});
    ASSERT_GT(operands.size(), 1);
    for (const QString& operand : operands)
        EXPECT_LE(operand.size(), 100) << operand.toStdString();
    paths.removeAt(7);
    EXPECT_EQ(operands.join(QString()), wipeListOperand(paths));
    EXPECT_TRUE(wipeListOperands({}, 100).isEmpty());
}

} // namespace
