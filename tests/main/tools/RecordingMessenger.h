#pragma once

#include <QString>
#include <vector>

#include "Messenger.h"

// Answers for the person in front of the window and keeps what was shown.
class RecordingMessenger : public zqvgui::Messenger
{
public:
    struct Shown
    {
        QString title;
        QString text;
        zqvgui::MessageIcon icon;
        QString detail;
    };
    struct FileDialog
    {
        QString title;
        QString filter;
    };

    void message(
        QWidget*, const QString& title, const QString& text, zqvgui::MessageIcon icon, const QString& detail) override
    {
        shown.push_back({title, text, icon, detail});
    }
    bool question(QWidget*, const QString&, const QString& text) override
    {
        questions.push_back(text);
        return answer;
    }
    QString saveFileName(QWidget*, const QString& title, const QString& filter, const QString&) override
    {
        saveDialogs.push_back({title, filter});
        return chosenFile;
    }
    QString openFileName(QWidget*, const QString& title, const QString& filter, const QString&) override
    {
        openDialogs.push_back({title, filter});
        return chosenFile;
    }

    std::vector<Shown> shown;
    std::vector<QString> questions;
    std::vector<FileDialog> saveDialogs;
    std::vector<FileDialog> openDialogs;
    QString chosenFile;
    bool answer = true;
};
