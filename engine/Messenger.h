#pragma once

#include <QString>

class QWidget;

namespace engine {

enum class MessageIcon { Information, Warning, Critical };

// Every message box of the engine goes through here, so tests can read the
// messages instead of answering a modal loop.
class Messenger
{
public:
    virtual ~Messenger() = default;
    // `detail`, when given, is shown under the message as the reason.
    virtual void message(QWidget* parent,
                         const QString& title,
                         const QString& text,
                         MessageIcon icon,
                         const QString& detail = QString());
    // Modal yes/no question; true for yes.
    virtual bool question(QWidget* parent, const QString& title, const QString& text);
    // Save-mode file dialog; empty when cancelled.
    virtual QString saveFileName(QWidget* parent, const QString& title, const QString& filter, const QString& start);
};

// Caption of every engine message that names none of its own.
inline QString programTitle()
{
    return QStringLiteral("ZQVEngine");
}

} // namespace engine
