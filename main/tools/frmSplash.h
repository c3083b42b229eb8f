#pragma once

#include <QWidget>
#include <functional>

class QTimer;

namespace zqvtools {

// The first window: it brings up the main window and closes itself at the
// first tick of its timer, 2.5 s later; the main window stays.
class frmSplash : public QWidget
{
public:
    explicit frmSplash(std::function<void()> loadMainWindow, QWidget* parent = nullptr);
    // Shows the splash, then loads and shows the main window.
    void Form_Load();
    [[nodiscard]] QTimer* timer() const { return m_timer; }

private:
    std::function<void()> m_loadMainWindow;
    QTimer* m_timer;
};

} // namespace zqvtools
