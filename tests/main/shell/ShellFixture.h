#pragma once

#include <QByteArray>
#include <QString>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "ItemIdList.h"
#include "RecordingMessenger.h"
#include "ShellNamespace.h"
#include "TempDir.h"

// A namespace of our own: a home folder with a desktop folder in it and a
// mount table we write, so the desktop root lists what the test made.
class ShellFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ::mkdir(home().c_str(), 0755);
        ::mkdir(desktop().c_str(), 0755);
        testsupport::writeFile(m_dir.file("mounts"), "");
    }

    // What every tree, list and lookup of a test is given as the desktop's sources.
    [[nodiscard]] zqvshell::DesktopSources sources() const
    {
        return {QByteArray::fromStdString(desktop()),
                QByteArray::fromStdString(home()),
                QByteArray::fromStdString(m_dir.file("mounts"))};
    }

    [[nodiscard]] std::string home() const { return m_dir.file("home"); }
    [[nodiscard]] std::string desktop() const { return m_dir.file("home/Desktop"); }
    [[nodiscard]] std::string inHome(const std::string& relative) const { return home() + "/" + relative; }
    void mkdirs(const std::string& relative) const { ::mkdir(inHome(relative).c_str(), 0755); }
    void writeMounts(const std::string& text) const { testsupport::writeFile(m_dir.file("mounts"), text); }

    // The list of a path under home: "Home", then each name.
    [[nodiscard]] static zqvshell::ItemIdList homeList(const std::vector<QByteArray>& names = {})
    {
        zqvshell::ItemIdList list = zqvshell::ItemIdList::single("H");
        for (const QByteArray& name : names) {
            list = zqvshell::ItemIdList::combine(list, zqvshell::ItemIdList::single(name));
        }
        return list;
    }

private:
    testsupport::TempDir m_dir;
};
