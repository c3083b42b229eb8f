#include "EngineCommand.h"

#include <gtest/gtest.h>

#include "Operations.h"

using namespace zqvcore;

namespace {

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

} // namespace
