#include "Messenger.h"

#include <QFileDialog>
#include <QMessageBox>

namespace zqvgui {

void Messenger::message(
    QWidget* parent, const QString& title, const QString& text, MessageIcon icon, const QString& detail)
{
    QMessageBox box(parent);
    box.setWindowTitle(title);
    box.setText(text);
    box.setInformativeText(detail);
    box.setStandardButtons(QMessageBox::Ok);
    switch (icon) {
    case MessageIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MessageIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MessageIcon::Critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.exec();
}

bool Messenger::question(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

QString Messenger::saveFileName(QWidget* parent, const QString& title, const QString& filter, const QString& start)
{
    // No overwrite warning here: replacing is asked once, when the work starts.
    return QFileDialog::getSaveFileName(parent, title, start, filter, nullptr, QFileDialog::DontConfirmOverwrite);
}

QString Messenger::openFileName(QWidget* parent, const QString& title, const QString& filter, const QString& start)
{
    return QFileDialog::getOpenFileName(parent, title, start, filter);
}

} // namespace zqvgui
