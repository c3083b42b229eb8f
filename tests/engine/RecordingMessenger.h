#pragma once

#include <QString>
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
    };

    void message(
        QWidget*, const QString& title, const QString& text, engine::MessageIcon icon, const QString& detail) override
    {
        shown.push_back({title, text, icon, detail});
    }

    bool question(QWidget*, const QString& title, const QString& text) override
    {
        shown.push_back({title, text, engine::MessageIcon::Information, QString()});
        questions.push_back(text);
        return answer;
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
    bool answer = true;
};
