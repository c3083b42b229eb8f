#include "SafeOutput.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

namespace zqvcrypto {

bool SafeOutput::open(const QString& destination)
{
    if (destination.isEmpty() || destination.endsWith(QLatin1Char('/')))
        return false;
    const QFileInfo info(destination);
    m_name = QFile::encodeName(info.fileName()).toStdString();
    return m_output.open(QFile::encodeName(info.absolutePath()).toStdString());
}

CryptoError SafeOutput::commit(bool replaceExisting)
{
    switch (m_output.commit(m_name, replaceExisting)) {
    case cryptelle::UnnamedOutput::Result::Done:
        return CryptoError::None;
    case cryptelle::UnnamedOutput::Result::Exists:
        return CryptoError::DestinationExists;
    case cryptelle::UnnamedOutput::Result::Failed:
        break;
    }
    return CryptoError::WriteFailed;
}

bool isSameFile(const QString& a, const QString& b)
{
    struct stat first
    {
    };
    struct stat second
    {
    };
    if (::stat(QFile::encodeName(a).constData(), &first) != 0 || ::stat(QFile::encodeName(b).constData(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace zqvcrypto
