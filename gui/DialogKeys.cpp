#include "DialogKeys.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QWidget>

namespace zqvgui {

bool handleEnterKey(QWidget* window, QKeyEvent* event, QPushButton* defaultButton)
{
    if (event->key() != Qt::Key_Return && event->key() != Qt::Key_Enter)
        return false;
    event->accept();
    QWidget* focus = window->focusWidget();
    if (auto* button = qobject_cast<QPushButton*>(focus)) {
        if (button->isEnabled())
            button->click();
        return true;
    }
    const bool pressesDefault = qobject_cast<QLineEdit*>(focus) != nullptr ||
                                qobject_cast<QCheckBox*>(focus) != nullptr ||
                                qobject_cast<QRadioButton*>(focus) != nullptr;
    if (pressesDefault && defaultButton != nullptr && defaultButton->isEnabled() && defaultButton->isVisible())
        defaultButton->click();
    return true;
}

void centreOnScreen(QWidget* window)
{
    QScreen* screen = window->screen() != nullptr ? window->screen() : QGuiApplication::primaryScreen();
    if (screen == nullptr)
        return;
    // A size the window chose for itself stays; otherwise it takes its layout's.
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    QRect frame(QPoint(), window->size());
    frame.moveCenter(screen->availableGeometry().center());
    window->move(frame.topLeft());
}

} // namespace zqvgui
