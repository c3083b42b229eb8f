#pragma once

#include <QString>
#include <QStringList>

#include "Operations.h"

namespace zqvcore {

// How a caller starts the engine: the program, then the switch and the path as
// two separate arguments. The path is never quoted or split; the engine joins
// its arguments with single blanks, so blanks inside the path come through.
struct EngineCommand
{
    QString program;
    QStringList arguments;
};

// The engine's file in a program folder.
[[nodiscard]] QString enginePath(const QString& programFolder);

// The one routine every caller uses: {"/e", path} and so on.
[[nodiscard]] EngineCommand engineCommand(const QString& programFolder, Operation operation, const QString& path);

// The wipe switch's list form: every path preceded by '?'. A path that itself
// holds '?' cannot be carried and is left out (returned in `leftOut`).
[[nodiscard]] QString wipeListOperand(const QStringList& paths, QStringList* leftOut = nullptr);

// The same list split into operands of at most `maxCharacters` each (one
// engine run each), so that none exceeds what Linux allows one argument
// (128 KiB). Paths holding '?' are left out as above.
[[nodiscard]] QStringList
wipeListOperands(const QStringList& paths, qsizetype maxCharacters, QStringList* leftOut = nullptr);

// Engine side: the argument string is the arguments after the program's own
// path joined with single blanks.
[[nodiscard]] QString argumentString(const QStringList& argumentsAfterProgram);

// The switch is the first two characters; the operand is everything from the
// fourth on (the third is dropped whatever it is). `valid` is false for an
// argument string shorter than three characters.
struct EngineRequest
{
    bool valid = false;
    QString engineSwitch;
    Operation operation = Operation::None; // None for an unknown or wrongly cased switch
    QString operand;
};

[[nodiscard]] EngineRequest parseArgumentString(const QString& argumentString);

} // namespace zqvcore
