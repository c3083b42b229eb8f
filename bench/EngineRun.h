#pragma once

// The child side of the whole-path benchmarks: one engine dialog, built and
// driven like a user does it, in its own process.

#include <QApplication>
#include <QString>
#include <cstdio>

#include "Messenger.h"

namespace bench {

// Prints every message a dialog shows; any message means the run failed.
class PrintingMessenger : public zqvgui::Messenger
{
public:
    void
    message(QWidget*, const QString& title, const QString& text, zqvgui::MessageIcon, const QString& detail) override
    {
        std::fprintf(stderr,
                     "%s: %s %s\n",
                     title.toLocal8Bit().constData(),
                     text.toLocal8Bit().constData(),
                     detail.toLocal8Bit().constData());
        failed = true;
    }
    bool question(QWidget*, const QString&, const QString&) override { return true; }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return {}; }

    bool failed = false;
};

// The password every benchmark uses, for ours and the peers alike.
inline const char* benchPassword()
{
    return "benchmark password";
}

} // namespace bench
