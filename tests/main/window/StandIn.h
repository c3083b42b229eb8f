#pragma once

#include <QString>
#include <QTest>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "TempDir.h"

namespace testsupport {

// The stand-in engine's folder, its log and its gates for one test.
class StandIn
{
public:
    StandIn()
    {
        ::mkdir(gates().c_str(), 0755);
        ::setenv("ZQV_STANDIN_LOG", log().c_str(), 1);
        ::setenv("ZQV_STANDIN_GATES", gates().c_str(), 1);
    }
    ~StandIn()
    {
        ::unsetenv("ZQV_STANDIN_LOG");
        ::unsetenv("ZQV_STANDIN_GATES");
    }
    StandIn(const StandIn&) = delete;
    StandIn& operator=(const StandIn&) = delete;

    static QString folder() { return QStringLiteral(STANDIN_FOLDER); }
    [[nodiscard]] std::string log() const { return m_dir.file("log"); }
    [[nodiscard]] std::string gates() const { return m_dir.file("gates"); }
    // Lets the run whose last argument has this file name end.
    void open(const std::string& fileName) const { writeFile(gates() + "/" + fileName, ""); }
    // Makes that run end with the status of an operation not done.
    void leaveUnfinished(const std::string& fileName) const { writeFile(gates() + "/" + fileName + ".unfinished", ""); }

    [[nodiscard]] std::vector<std::string> lines() const
    {
        std::vector<std::string> result;
        if (!exists(log()))
            return result;
        std::istringstream text(readFile(log()));
        for (std::string line; std::getline(text, line);)
            result.push_back(line);
        return result;
    }
    // The lines without the pid and session: "start /e|/tmp/x", "end /e|/tmp/x".
    [[nodiscard]] std::vector<std::string> events() const
    {
        std::vector<std::string> result;
        for (const std::string& line : lines()) {
            std::istringstream words(line);
            std::string kind, pid, rest;
            words >> kind >> pid;
            if (kind == "start") {
                std::string session;
                words >> session;
            }
            words.get();
            std::getline(words, rest);
            result.push_back(kind + " " + rest);
        }
        return result;
    }
    [[nodiscard]] int count(const std::string& kind) const
    {
        int n = 0;
        for (const std::string& line : lines())
            n += line.rfind(kind + " ", 0) == 0 ? 1 : 0;
        return n;
    }
    // Keeps the event loop turning until the log holds `n` lines of `kind`.
    [[nodiscard]] bool waitFor(const std::string& kind, int n) const
    {
        return QTest::qWaitFor([&] { return count(kind) >= n; }, 20000);
    }

private:
    TempDir m_dir;
};

} // namespace testsupport
