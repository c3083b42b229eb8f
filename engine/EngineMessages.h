#pragma once

#include "Messenger.h"

namespace engine {

using zqvgui::MessageIcon;
using zqvgui::Messenger;

// Caption of every engine message that names none of its own.
inline QString programTitle()
{
    return QStringLiteral("ZQVEngine");
}

} // namespace engine
