#pragma once

#include <QPixmap>
#include <QPointer>
#include <QString>

namespace zqvshell {

class FileListView;

// The sort arrows of the file list's header, drawn from "sortascending.ico"
// and "sortdescending.ico" in the program folder. A missing file is said once
// on standard error and the object then draws no arrows.
//
// How the window uses it: keep one as HdrIcons, bind it with
// setListView(ListView1) at start-up, and call SetHeaderIcons(SortKey,
// SortOrder) after each fill and each column click (FileList does the former
// itself once given the object). The result may be ignored.
class cLVHeaderSortIcons
{
public:
    // `programFolder` defaults to the running program's folder.
    explicit cLVHeaderSortIcons(const QString& programFolder = QString());

    [[nodiscard]] FileListView* ListView() const { return m_list; }
    void setListView(FileListView* lv) { m_list = lv; }

    // Shows the arrow of `iSortOrder` (0 ascending, else descending) on column
    // `iActiveColumn`. False, changing nothing, when no list is bound, the
    // arrows could not be loaded or the list is not in details mode.
    bool SetHeaderIcons(int iActiveColumn, int iSortOrder);

    [[nodiscard]] bool hasImages() const { return !m_ascending.isNull() && !m_descending.isNull(); }
    [[nodiscard]] const QPixmap& ascending() const { return m_ascending; }
    [[nodiscard]] const QPixmap& descending() const { return m_descending; }

private:
    QPointer<FileListView> m_list;
    QPixmap m_ascending;
    QPixmap m_descending;
};

} // namespace zqvshell
