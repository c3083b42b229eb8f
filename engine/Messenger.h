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
    virtual void message(QWidget* parent, const QString& title, const QString& text, MessageIcon icon);
    // Modal yes/no question; true for yes.
    virtual bool question(QWidget* parent, const QString& title, const QString& text);
};

// Caption of every engine message that names none of its own.
inline QString programTitle()
{
    return QStringLiteral("ZQVEngine");
}

} // namespace engine
