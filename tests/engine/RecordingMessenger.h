#pragma once

#include "Messenger.h"

#include <QString>
#include <vector>

// Keeps every message instead of showing it.
class RecordingMessenger : public engine::Messenger
{
public:
    struct Shown
    {
        QString title;
        QString text;
        engine::MessageIcon icon;
    };

    void message(QWidget*, const QString& title, const QString& text, engine::MessageIcon icon) override
    {
        shown.push_back({title, text, icon});
    }

    bool question(QWidget*, const QString& title, const QString& text) override
    {
        shown.push_back({title, text, engine::MessageIcon::Information});
        questions.push_back(text);
        return answer;
    }

    std::vector<Shown> shown;
    std::vector<QString> questions;
    bool answer = true;
};
