// Lists a folder of 100,000 files into the file list (read, typed, sorted by
// name, shown in details view) next to `ls -l` on the same folder, and expands
// a tree node with 10,000 subfolders next to `ls -d */` in that folder; times
// showing the listed rows as large icons, Auto Arrange off and on. Rounds
// interleave ours and the peer; the median of each is reported, warm cache.
//
//   shell_bench [scratch folder] [rounds]      (defaults: /tmp, 5)
#include <QApplication>
#include <QElapsedTimer>
#include <QListView>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileList.h"
#include "FileListModel.h"
#include "FileListView.h"
#include "FolderTree.h"
#include "FolderTreeModel.h"
#include "ShellNamespace.h"
#include "cLVHeaderSortIcons.h"

namespace {

using Clock = std::chrono::steady_clock;
using zqvshell::ItemIdList;

double cpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    const auto sum = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return sum(usage.ru_utime) + sum(usage.ru_stime);
}

// Wall-clock and processor time of one run; the processor time counts our
// threads for our runs and the child for the peer's (the machine is shared,
// so wall-clock time includes waiting for a core).
struct Timing
{
    double wall;
    double cpu;
};

Timing measure(const std::function<void()>& run, int who)
{
    const double cpuBefore = cpuSeconds(who);
    const auto start = Clock::now();
    run();
    return {std::chrono::duration<double>(Clock::now() - start).count(), cpuSeconds(who) - cpuBefore};
}

double median(const std::vector<Timing>& values, double Timing::*field)
{
    std::vector<double> picked;
    for (const Timing& t : values) {
        picked.push_back(t.*field);
    }
    std::sort(picked.begin(), picked.end());
    return picked[picked.size() / 2];
}

// "wall ours …, <peer> …, ratio …; cpu ours …, <peer> …, ratio …", medians.
std::string versus(const std::vector<Timing>& ours, const char* peerName, const std::vector<Timing>& peer)
{
    char text[512];
    std::snprintf(text,
                  sizeof text,
                  "wall ours %.3f s, %s %.3f s, ratio %.2f; cpu ours %.3f s, %s %.3f s, ratio %.2f",
                  median(ours, &Timing::wall),
                  peerName,
                  median(peer, &Timing::wall),
                  median(ours, &Timing::wall) / median(peer, &Timing::wall),
                  median(ours, &Timing::cpu),
                  peerName,
                  median(peer, &Timing::cpu),
                  median(ours, &Timing::cpu) / median(peer, &Timing::cpu));
    return text;
}

void shell(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "failed: %s\n", command.c_str());
        std::exit(1);
    }
}

long residentKiB()
{
    long pages = 0;
    long resident = 0;
    if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2) {
            resident = 0;
        }
        std::fclose(statm);
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Names with a spread of endings, digits in them, a few hidden, as a real
// download or photo folder has.
void makeFiles(const std::string& folder, int count)
{
    ::mkdir(folder.c_str(), 0755);
    const char* endings[] = {".txt", ".jpg", ".pdf", ".cpp", ".tar.gz", "", ".JPG", ".mp3", ".odt", ".zqv"};
    char name[64];
    for (int i = 0; i < count; ++i) {
        std::snprintf(name, sizeof name, "%sFile %d%s", i % 500 == 0 ? "." : "", (i * 7919) % count, endings[i % 10]);
        const int fd = ::open((folder + "/" + name).c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0 || ::write(fd, name, static_cast<size_t>(i % 3)) < 0) {
            std::exit(1);
        }
        ::close(fd);
    }
}

void makeFolders(const std::string& folder, int count)
{
    ::mkdir(folder.c_str(), 0755);
    for (int i = 0; i < count; ++i) {
        const std::string sub = folder + "/Folder " + std::to_string((i * 7919) % count);
        ::mkdir(sub.c_str(), 0755);
        if (i % 10 == 0) {
            ::mkdir((sub + "/inner").c_str(), 0755);
        }
    }
}

ItemIdList listFor(const std::string& path)
{
    // Through "File System": one item per path component.
    ItemIdList list = ItemIdList::single("R");
    std::size_t start = 1;
    while (start < path.size()) {
        const std::size_t slash = path.find('/', start);
        const std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        list = ItemIdList::combine(list, ItemIdList::single(QByteArray::fromStdString(part)));
        if (slash == std::string::npos) {
            break;
        }
        start = slash + 1;
    }
    return list;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const std::string scratch = (argc > 1 ? argv[1] : "/tmp") + std::string("/zqv-shell-bench");
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    shell("rm -rf '" + scratch + "'");
    ::mkdir(scratch.c_str(), 0755);
    const std::string files = scratch + "/files";
    const std::string folders = scratch + "/folders";
    makeFiles(files, 100000);
    makeFolders(folders, 10000);
    shell("sync");

    // The list: a shown window in details view, sorted by name, with arrows.
    QWidget window;
    window.resize(900, 700);
    zqvshell::FileListView view(&window);
    view.setGeometry(0, 0, 900, 700);
    zqvshell::FileList list(&view, zqvshell::defaultDesktopSources());
    zqvshell::cLVHeaderSortIcons icons(QCoreApplication::applicationDirPath());
    icons.setListView(&view);
    list.setHeaderIcons(&icons);
    window.show();
    QApplication::processEvents();

    // Longest pause of the event loop during fills: the window keeps painting.
    QElapsedTimer sinceTick;
    qint64 longestPause = 0;
    bool filling = false;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        if (filling) {
            longestPause = std::max(longestPause, sinceTick.elapsed());
        }
        sinceTick.restart();
    });
    tick.start();

    const ItemIdList filesList = listFor(files);
    std::vector<Timing> ours;
    std::vector<Timing> peer;
    long heapPerRow = 0;
    long residentPerRow = 0;
    for (int round = 0; round < rounds; ++round) {
        list.ClearFileView();
        QApplication::processEvents();
        malloc_trim(0);
        const long residentBefore = residentKiB();
        const auto heapBefore = static_cast<long>(mallinfo2().uordblks);
        filling = true;
        sinceTick.restart();
        ours.push_back(measure(
            [&] {
                list.FillFileView(filesList, filesList.lastItem());
                view.currentView()->repaint();
            },
            RUSAGE_SELF));
        filling = false;
        const long rows = std::max(1, list.model()->rowCount());
        if (round == 0) {
            residentPerRow = (residentKiB() - residentBefore) * 1024 / rows;
        }
        heapPerRow = (static_cast<long>(mallinfo2().uordblks) - heapBefore) / rows;
        peer.push_back(measure([&] { shell("ls -l '" + files + "' > /dev/null"); }, RUSAGE_CHILDREN));
    }
    if (list.model()->rowCount() != 100000) {
        std::fprintf(stderr, "listed %d rows\n", list.model()->rowCount());
        return 1;
    }
    std::printf("list 100,000 files: %s; heap %ld bytes/row, resident growth %ld bytes/row; longest event-loop "
                "pause %lld ms\n",
                versus(ours, "ls -l", peer).c_str(),
                heapPerRow,
                residentPerRow,
                static_cast<long long>(longestPause));

    // The same rows as large icons: placed freely (Auto Arrange off, the
    // start) and kept in rows (on); the switch, the whole layout and a paint.
    for (const bool arranged : {false, true}) {
        std::vector<Timing> asIcons;
        for (int round = 0; round < rounds; ++round) {
            view.setViewMode(zqvshell::FileListView::ViewMode::Details);
            QApplication::processEvents();
            asIcons.push_back(measure(
                [&] {
                    view.setAutoArrange(arranged);
                    view.setViewMode(zqvshell::FileListView::ViewMode::LargeIcons);
                    // Until every batch of the layout is done: the scroll range stops growing.
                    QScrollBar* bar = view.iconView()->verticalScrollBar();
                    for (int still = 0, last = -1; still < 20; ++still) {
                        QApplication::processEvents(QEventLoop::AllEvents, 5);
                        if (bar->maximum() != last) {
                            last = bar->maximum();
                            still = 0;
                        }
                    }
                    view.currentView()->repaint();
                },
                RUSAGE_SELF));
        }
        std::printf("show 100,000 rows as large icons, auto arrange %s: wall %.3f s, cpu %.3f s\n",
                    arranged ? "on" : "off",
                    median(asIcons, &Timing::wall),
                    median(asIcons, &Timing::cpu));
    }
    view.setViewMode(zqvshell::FileListView::ViewMode::Details);

    // The tree: expanding a node with 10,000 subfolders, shown.
    QTreeView treeView;
    treeView.resize(400, 700);
    zqvshell::FolderTree tree(&treeView, zqvshell::defaultDesktopSources());
    treeView.show();
    tree.SetTreeRoot(listFor(scratch));
    QApplication::processEvents();
    zqvshell::FolderTreeModel* model = tree.model();
    QModelIndex node;
    for (int row = 0; row < model->rowCount(tree.rootNode()); ++row) {
        if (model->index(row, 0, tree.rootNode()).data().toString() == QStringLiteral("folders")) {
            node = model->index(row, 0, tree.rootNode());
        }
    }
    std::vector<Timing> oursTree;
    std::vector<Timing> peerTree;
    for (int round = 0; round < rounds; ++round) {
        treeView.collapse(node);
        tree.PruneCollapsedNodes();
        QApplication::processEvents();
        oursTree.push_back(measure(
            [&] {
                treeView.expand(node);
                QApplication::processEvents();
                treeView.repaint();
            },
            RUSAGE_SELF));
        peerTree.push_back(measure([&] { shell("cd '" + folders + "' && ls -d */ > /dev/null"); }, RUSAGE_CHILDREN));
    }
    if (model->rowCount(node) != 10000) {
        std::fprintf(stderr, "expanded %d nodes\n", model->rowCount(node));
        return 1;
    }
    std::printf("expand 10,000 subfolders: %s\n", versus(oursTree, "ls -d */", peerTree).c_str());
    shell("rm -rf '" + scratch + "'");
    return 0;
}
