#include "IntermediateArchive.h"

#include <QFile>

namespace ziplight {

IntermediateArchive::IntermediateArchive(Wiper wiper)
    : m_wiper(std::move(wiper))
{
}

IntermediateArchive::~IntermediateArchive()
{
    static_cast<void>(release());
}

bool IntermediateArchive::create(const QString& folder)
{
    m_released = false;
    return m_output.open(QFile::encodeName(folder).toStdString());
}

QString IntermediateArchive::readPath() const
{
    return QStringLiteral("/proc/self/fd/") + QString::number(fd());
}

bool IntermediateArchive::release()
{
    if (m_released)
        return m_wiped;
    m_released = true;
    m_wiped = fd() < 0 || (m_wiper && m_wiper(fd()));
    m_output.discard();
    return m_wiped;
}

} // namespace ziplight
