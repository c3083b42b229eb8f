#pragma once

class QKeyEvent;
class QPushButton;
class QWidget;

namespace zqvgui {

// Enter as desktop users expect it: on a focused push button it presses that
// button; in a text box, check box or option it presses `defaultButton` (when
// there is one and it is enabled); anywhere else it does nothing. Returns
// false for any other key, which the caller then handles as usual.
bool handleEnterKey(QWidget* window, QKeyEvent* event, QPushButton* defaultButton);

// Puts a window that is not shown yet in the middle of its screen, so that a
// message parented to it before it appears is centred where it will be.
void centreOnScreen(QWidget* window);

} // namespace zqvgui
