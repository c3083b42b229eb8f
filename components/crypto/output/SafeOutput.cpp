#include "SafeOutput.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <utility>

#include <FileSteps.h>
#include <UniqueFd.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zqvcrypto {

bool SafeOutput::open(const QString& destination)
{
    if (destination.isEmpty() || destination.endsWith(QLatin1Char('/')))
        return false;
    const QFileInfo info(destination);
    m_name = QFile::encodeName(info.fileName()).toStdString();
    return m_output.open(QFile::encodeName(info.absolutePath()).toStdString());
}

bool SafeOutput::open(const std::string& destination)
{
    if (destination.empty() || destination.back() == '/')
        return false;
    const std::size_t slash = destination.rfind('/');
    m_name = slash == std::string::npos ? destination : destination.substr(slash + 1);
    if (m_name == "." || m_name == "..")
        return false;
    const std::string folder = slash == std::string::npos ? std::string(".")
                               : slash == 0               ? std::string("/")
                                                          : destination.substr(0, slash);
    return m_output.open(folder);
}

CryptoError SafeOutput::commit(bool replaceExisting, cryptelle::UnnamedOutput::Sync sync)
{
    switch (m_output.commit(m_name, replaceExisting, sync)) {
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
    return isSameFile(QFile::encodeName(a).toStdString(), QFile::encodeName(b).toStdString());
}

bool isSameFile(const std::string& a, const std::string& b)
{
    struct stat first
    {
    };
    struct stat second
    {
    };
    if (::stat(a.c_str(), &first) != 0 || ::stat(b.c_str(), &second) != 0)
        return false;
    return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

} // namespace zqvcrypto
