#pragma once

#include <QString>

class QWidget;

namespace zqvgui {

enum class MessageIcon { Information, Warning, Critical };

// Every message box and file dialog of both programs goes through here, so
// tests read the messages and give the answers instead of a person. Boxes are
// parented to their window and centred over it.
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
    // Open-mode file dialog for an existing file; empty when cancelled.
    virtual QString openFileName(QWidget* parent, const QString& title, const QString& filter, const QString& start);
};

} // namespace zqvgui
