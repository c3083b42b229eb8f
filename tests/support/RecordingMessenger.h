#pragma once

#include <QString>
#include <deque>
#include <vector>

#include "Messenger.h"

namespace testsupport {

// Stands in for the person in front of the window: keeps every message and
// question instead of showing it, and gives the answers and file names the
// test chose.
class RecordingMessenger : public zqvgui::Messenger
{
public:
    struct Shown
    {
        QString title;
        QString text;
        zqvgui::MessageIcon icon = zqvgui::MessageIcon::Information;
        QString detail;
        QWidget* parent = nullptr;
    };
    struct FileDialog
    {
        QString title;
        QString filter;
        QString start;
    };

    void message(QWidget* parent,
                 const QString& title,
                 const QString& text,
                 zqvgui::MessageIcon icon,
                 const QString& detail) override
    {
        shown.push_back({title, text, icon, detail, parent});
    }

    // Kept in `shown` too, in order with the messages. Answers from `answers`
    // in turn, then `answer`.
    bool question(QWidget* parent, const QString& title, const QString& text) override
    {
        shown.push_back({title, text, zqvgui::MessageIcon::Information, QString(), parent});
        questions.push_back(text);
        if (answers.empty())
            return answer;
        const bool next = answers.front();
        answers.pop_front();
        return next;
    }

    QString saveFileName(QWidget*, const QString& title, const QString& filter, const QString& start) override
    {
        saveDialogs.push_back({title, filter, start});
        return chosenFile;
    }

    QString openFileName(QWidget*, const QString& title, const QString& filter, const QString& start) override
    {
        openDialogs.push_back({title, filter, start});
        return chosenFile;
    }

    std::vector<Shown> shown;
    std::vector<QString> questions;
    std::deque<bool> answers;
    bool answer = true;
    std::vector<FileDialog> saveDialogs;
    std::vector<FileDialog> openDialogs;
    QString chosenFile;
};

} // namespace testsupport

// Most tests name it without the namespace.
using testsupport::RecordingMessenger;
