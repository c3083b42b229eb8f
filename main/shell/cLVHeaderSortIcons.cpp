#include "cLVHeaderSortIcons.h"

#include <QCoreApplication>
#include <QIcon>
#include <cstdio>

#include "FileListModel.h"
#include "FileListView.h"
#include "SortArrowHeader.h"

namespace zqvshell {

namespace {

QPixmap loadArrow(const QString& file)
{
    const QIcon icon(file);
    QPixmap pixmap = icon.isNull() ? QPixmap() : icon.pixmap(16, 16);
    if (pixmap.isNull()) {
        std::fprintf(
            stderr, "zqv: cannot load the sort arrow %s; the list's header shows no arrows\n", qPrintable(file));
    }
    return pixmap;
}

} // namespace

cLVHeaderSortIcons::cLVHeaderSortIcons(const QString& programFolder)
{
    const QString folder = programFolder.isEmpty() ? QCoreApplication::applicationDirPath() : programFolder;
    m_ascending = loadArrow(folder + QStringLiteral("/sortascending.ico"));
    if (!m_ascending.isNull()) {
        m_descending = loadArrow(folder + QStringLiteral("/sortdescending.ico"));
    }
}

bool cLVHeaderSortIcons::SetHeaderIcons(int iActiveColumn, int iSortOrder)
{
    if (m_list == nullptr || !hasImages()) {
        return false;
    }
    if (m_list->viewMode() != FileListView::ViewMode::Details) {
        return false;
    }
    SortArrowHeader* header = m_list->header();
    if (header == nullptr) {
        return false;
    }
    const int columns = m_list->model() != nullptr ? m_list->model()->columnCount() : 0;
    if (iActiveColumn < 0 || iActiveColumn >= columns) {
        header->clearArrow();
        return true;
    }
    header->setArrow(iActiveColumn, iSortOrder != 0 ? m_descending : m_ascending);
    return true;
}

} // namespace zqvshell
