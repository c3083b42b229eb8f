#include "Messenger.h"

#include <QMessageBox>

namespace engine {

void Messenger::message(QWidget* parent, const QString& title, const QString& text, MessageIcon icon)
{
    switch (icon) {
    case MessageIcon::Information:
        QMessageBox::information(parent, title, text);
        break;
    case MessageIcon::Warning:
        QMessageBox::warning(parent, title, text);
        break;
    case MessageIcon::Critical:
        QMessageBox::critical(parent, title, text);
        break;
    }
}

bool Messenger::question(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No)
        == QMessageBox::Yes;
}

} // namespace engine
