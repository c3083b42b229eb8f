#pragma once

#include <QString>
#include <deque>
#include <vector>

#include "EngineMessages.h"

// Keeps every message instead of showing it.
class RecordingMessenger : public engine::Messenger
{
public:
    struct Shown
    {
        QString title;
        QString text;
        engine::MessageIcon icon;
        QString detail;
        QWidget* parent = nullptr;
    };

    void message(QWidget* parent,
                 const QString& title,
                 const QString& text,
                 engine::MessageIcon icon,
                 const QString& detail) override
    {
        shown.push_back({title, text, icon, detail, parent});
    }

    // Answers from `answers` in turn, then `answer`.
    bool question(QWidget* parent, const QString& title, const QString& text) override
    {
        shown.push_back({title, text, engine::MessageIcon::Information, QString(), parent});
        questions.push_back(text);
        if (answers.empty())
            return answer;
        const bool next = answers.front();
        answers.pop_front();
        return next;
    }

    QString saveFileName(QWidget*, const QString& title, const QString& filter, const QString& start) override
    {
        fileDialogs.push_back({title, filter, start});
        return chosenFile;
    }

    struct FileDialog
    {
        QString title;
        QString filter;
        QString start;
    };
    std::vector<FileDialog> fileDialogs;
    QString chosenFile;

    std::vector<Shown> shown;
    std::vector<QString> questions;
    std::deque<bool> answers;
    bool answer = true;
};
