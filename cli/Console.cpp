#include "Console.h"

#include <QFile>
#include <cstdio>
#include <string>

#include <sys/ioctl.h>
#include <unistd.h>

namespace cli {
namespace {

void writeAll(int fd, const std::string& text)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

// Control characters in a file name would move the cursor or worse.
QString printable(const QString& text)
{
    QString out = text;
    for (QChar& c : out) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = QLatin1Char('?');
    }
    return out;
}

int terminalWidth()
{
    winsize size{};
    if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 10)
        return size.ws_col;
    return 80;
}

} // namespace

Console::Console(bool progress)
    : m_progress(progress)
{
}

Console::~Console()
{
    clearProgress();
}

void Console::eraseLocked()
{
    if (m_shown) {
        writeAll(STDERR_FILENO, "\r\033[K");
        m_shown = false;
    }
}

void Console::message(const QString& text)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    eraseLocked();
    writeAll(STDERR_FILENO,
             (QLatin1String("cryptelle: ") + printable(text) + QLatin1Char('\n')).toUtf8().toStdString());
}

void Console::progress(const QString& text)
{
    if (!m_progress)
        return;
    const std::lock_guard<std::mutex> guard(m_lock);
    const auto now = std::chrono::steady_clock::now();
    if (m_shown && now - m_last < std::chrono::milliseconds(150))
        return;
    m_last = now;
    QString line = printable(text);
    const int width = terminalWidth() - 1;
    if (line.size() > width)
        line = QLatin1String("...") + line.right(width - 3);
    writeAll(STDERR_FILENO, (QLatin1String("\r\033[K") + line).toUtf8().toStdString());
    m_shown = true;
}

void Console::clearProgress()
{
    const std::lock_guard<std::mutex> guard(m_lock);
    eraseLocked();
}

void Console::result(const QByteArray& line)
{
    const std::lock_guard<std::mutex> guard(m_lock);
    eraseLocked();
    writeAll(STDOUT_FILENO, line.toStdString() + '\n');
}

} // namespace cli
