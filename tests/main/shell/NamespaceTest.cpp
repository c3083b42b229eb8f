#include <QLocale>
#include <algorithm>

#include <unistd.h>

#include "FileTypes.h"
#include "NameCollator.h"
#include "ShellFixture.h"

using namespace zqvshell;

namespace {

ItemIdList listOf(std::initializer_list<const char*> items)
{
    ItemIdList list;
    for (const char* item : items) {
        list = ItemIdList::combine(list, ItemIdList::single(item));
    }
    return list;
}

std::vector<QString> names(const std::vector<ShellItem>& items)
{
    std::vector<QString> result;
    for (const ShellItem& item : items) {
        result.push_back(item.displayName);
    }
    return result;
}

const ShellItem* find(const std::vector<ShellItem>& items, const QString& name)
{
    const auto found =
        std::find_if(items.begin(), items.end(), [&](const ShellItem& i) { return i.displayName == name; });
    return found == items.end() ? nullptr : &*found;
}

} // namespace

struct PrimitiveCase
{
    const char* label;
    ItemIdList list;
    int count;
    ItemIdList last;
    ItemIdList secondItem;
    std::optional<ItemIdList> parentDropEmpty;
    ItemIdList parentKeepEmpty;
};

class ItemIdListPrimitives : public ::testing::TestWithParam<PrimitiveCase>
{
};

TEST_P(ItemIdListPrimitives, CountLastItemAndParent)
{
    const PrimitiveCase& c = GetParam();
    EXPECT_EQ(c.list.count(), c.count);
    EXPECT_EQ(c.list.isEmpty(), c.count == 0);
    EXPECT_EQ(c.list.lastItem(), c.last);
    EXPECT_EQ(c.list.itemAt(-1), c.last);
    EXPECT_EQ(c.list.itemAt(c.count + 1), c.last) << "past the end takes the last item";
    EXPECT_EQ(c.list.itemAt(2), c.secondItem);
    EXPECT_EQ(c.list.parent(false), c.parentDropEmpty);
    EXPECT_EQ(c.list.parent(true), std::optional<ItemIdList>(c.parentKeepEmpty));
    // Parent and last item give the list back.
    if (c.count > 0) {
        EXPECT_EQ(ItemIdList::combine(*c.list.parent(true), c.list.lastItem()), c.list);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Lists,
    ItemIdListPrimitives,
    ::testing::Values(
        PrimitiveCase{"desktop", {}, 0, {}, {}, std::nullopt, {}},
        PrimitiveCase{"one", listOf({"H"}), 1, listOf({"H"}), listOf({"H"}), ItemIdList(), {}},
        PrimitiveCase{
            "three", listOf({"H", "a", "b"}), 3, listOf({"b"}), listOf({"a"}), listOf({"H", "a"}), listOf({"H", "a"})}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(ItemIdList, CombineKeepsBothSidesAndItemsStayOpaque)
{
    const ItemIdList a = listOf({"H", "x"});
    const ItemIdList b = listOf({"y"});
    EXPECT_EQ(ItemIdList::combine(a, b), listOf({"H", "x", "y"}));
    EXPECT_EQ(ItemIdList::combine(ItemIdList(), b), b);
    EXPECT_EQ(ItemIdList::combine(a, ItemIdList()), a);
    // Bytes that are not text, and a NUL, survive a round trip.
    const QByteArray odd("\xff\x00z", 3);
    EXPECT_EQ(ItemIdList::combine(a, ItemIdList::single(odd)).itemBytes(2), odd);
    EXPECT_EQ(listOf({"ab", "c"}).byteSize(), 2 + (2 + 2) + (2 + 1));
}

TEST(DisplayNames, ReadableForAnyBytes)
{
    const struct
    {
        QByteArray bytes;
        QString shown;
        bool exact;
    } cases[] = {
        {"plain.txt", QStringLiteral("plain.txt"), true},
        {"caf\xc3\xa9 \xe2\x82\xac.txt", QStringLiteral("café €.txt"), true},
        {"\xef\xbf\xbd real replacement", QStringLiteral("\uFFFD real replacement"), true},
        {"caf\xe9.txt", QStringLiteral("caf\\xE9.txt"), false},
        {"\xc3\x28", QStringLiteral("\\xC3("), false},
        {"\xed\xa0\x80", QStringLiteral("\\xED\\xA0\\x80"), false}, // an encoded surrogate
    };
    for (const auto& c : cases) {
        EXPECT_EQ(displayNameFromBytes(c.bytes), c.shown) << c.bytes.toHex().constData();
        EXPECT_EQ(isExactText(c.bytes), c.exact) << c.bytes.toHex().constData();
    }
}

TEST(UserVolumes, KeepsUserMountsAndDropsPseudoFileSystems)
{
    const QByteArray table = "sysfs /sys sysfs rw 0 0\n"
                             "proc /proc proc rw 0 0\n"
                             "/dev/sda1 / ext4 rw 0 0\n"
                             "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
                             "/dev/sdc1 /run/media/ann/Photos exfat rw 0 0\n"
                             "server:/x /mnt/nas nfs4 rw 0 0\n"
                             "tmpfs /run/user/1000 tmpfs rw 0 0\n"
                             "sshfs#me@h: /home/ann/remote fuse.sshfs rw 0 0\n"
                             "/dev/sdb1 /media/ann/USB\\040STICK vfat rw 0 0\n"
                             "/dev/sdd1 /srv/data ext4 rw 0 0\n";
    const std::vector<QByteArray> expected{
        "/media/ann/USB STICK", "/run/media/ann/Photos", "/mnt/nas", "/home/ann/remote"};
    EXPECT_EQ(userVolumes(table, "/home/ann"), expected);
}

TEST_F(ShellFixture, DesktopRootListsDesktopItemsThenHomeFileSystemAndVolumes)
{
    testsupport::writeFile(desktop() + "/note.txt", "n");
    ::mkdir((desktop() + "/Projects").c_str(), 0755);
    ::mkdir(inHome("stick").c_str(), 0755);
    writeMounts("/dev/sdb1 " + inHome("stick") + " vfat rw 0 0\nproc /proc proc rw 0 0\n");

    const FolderPtr desktopFolder = GetFolderFromPIDL(sources(), ItemIdList());
    EXPECT_FALSE(desktopFolder->isFileSystem());
    std::vector<ShellItem> items = desktopFolder->enumerate(EnumFlag::Folders | EnumFlag::NonFolders);
    std::sort(items.begin(), items.end(), [&](const ShellItem& a, const ShellItem& b) {
        return desktopFolder->compare(0, a, b) < 0;
    });
    const std::vector<QString> expected{QStringLiteral("Projects"),
                                        QStringLiteral("note.txt"),
                                        QStringLiteral("Home"),
                                        QStringLiteral("File System"),
                                        QStringLiteral("stick")};
    EXPECT_EQ(names(items), expected);

    // Each entry binds to the folder it stands for.
    EXPECT_EQ(GetPathFromPIDL(sources(), ItemIdList::single(find(items, QStringLiteral("Home"))->id)).toStdString(),
              home());
    EXPECT_EQ(GetPathFromPIDL(sources(), ItemIdList::single(find(items, QStringLiteral("File System"))->id)),
              QByteArray("/"));
    EXPECT_EQ(GetPathFromPIDL(sources(), ItemIdList::single(find(items, QStringLiteral("note.txt"))->id)).toStdString(),
              desktop() + "/note.txt");
    EXPECT_EQ(GetDisplayName(*desktopFolder, ItemIdList()), QStringLiteral("Desktop"));
    EXPECT_EQ(GetDisplayName(*desktopFolder, ItemIdList::single("H")), QStringLiteral("Home"));
    // Folders only: the desktop's file goes.
    EXPECT_EQ(find(desktopFolder->enumerate(EnumFlag::Folders), QStringLiteral("note.txt")), nullptr);
}

TEST_F(ShellFixture, EachCallerHasTheDesktopItIsGiven)
{
    testsupport::writeFile(desktop() + "/note.txt", "n");
    testsupport::TempDir other;
    ::mkdir(other.file("Desktop").c_str(), 0755);
    testsupport::writeFile(other.file("Desktop/elsewhere.txt"), "e");
    testsupport::writeFile(other.file("mounts"), "");
    const DesktopSources elsewhere{QByteArray::fromStdString(other.file("Desktop")),
                                   QByteArray::fromStdString(other.path()),
                                   QByteArray::fromStdString(other.file("mounts"))};
    const auto names = [](const DesktopSources& given) {
        QStringList shown;
        for (const ShellItem& item : GetFolderFromPIDL(given, ItemIdList())->enumerate(EnumFlag::NonFolders))
            shown.append(item.displayName);
        return shown;
    };
    // Both at once: nothing is kept between the calls.
    EXPECT_EQ(names(sources()), QStringList{QStringLiteral("note.txt")});
    EXPECT_EQ(names(elsewhere), QStringList{QStringLiteral("elsewhere.txt")});
    EXPECT_EQ(GetPathFromPIDL(elsewhere, ItemIdList::single("H")).toStdString(), other.path());
    EXPECT_EQ(GetPathFromPIDL(sources(), ItemIdList::single("H")).toStdString(), home());
}

TEST_F(ShellFixture, BindingRefusesListsThatCouldEscapeTheirFolder)
{
    // A list is opaque to everyone but its folder, yet a forged one must not
    // climb out through ".." or a slash: it binds to the desktop instead.
    for (const char* bad : {"..", ".", "a/b", ""}) {
        const FolderPtr folder = GetFolderFromPIDL(sources(), ItemIdList::combine(homeList(), ItemIdList::single(bad)));
        EXPECT_TRUE(folder->pidl().isEmpty()) << bad;
    }
    EXPECT_TRUE(GetFolderFromPIDL(sources(), ItemIdList::single("?unknown"))->pidl().isEmpty());
}

TEST_F(ShellFixture, FolderItemsCarrySizesTypesLinksAndHiddenNames)
{
    mkdirs("f");
    mkdirs("f/sub");
    testsupport::writeFile(inHome("f/a.txt"), std::string(1025, 'x'));
    testsupport::writeFile(inHome("f/.hidden"), "h");
    ASSERT_EQ(::symlink("a.txt", inHome("f/link").c_str()), 0);
    ASSERT_EQ(::symlink("loop", inHome("f/loop").c_str()), 0);
    ASSERT_EQ(::symlink(".", inHome("f/self").c_str()), 0);

    const FolderPtr folder = GetFolderFromPIDL(sources(), homeList({"f"}));
    ASSERT_TRUE(folder->isFileSystem());
    const std::vector<ShellItem> all =
        folder->enumerate(EnumFlag::Folders | EnumFlag::NonFolders | EnumFlag::IncludeHidden);
    EXPECT_EQ(all.size(), 6U);
    const ShellItem* file = find(all, QStringLiteral("a.txt"));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->size, 1025);
    EXPECT_FALSE(file->folder);
    EXPECT_EQ(file->type->mimeName, QStringLiteral("text/plain"));
    EXPECT_TRUE(find(all, QStringLiteral("link"))->link);
    EXPECT_EQ(find(all, QStringLiteral("link"))->size, 1025) << "a link shows what it points to";
    const ShellItem* loop = find(all, QStringLiteral("loop"));
    ASSERT_NE(loop, nullptr) << "a looping link is listed, not followed";
    EXPECT_FALSE(loop->folder);
    EXPECT_TRUE(find(all, QStringLiteral("self"))->folder) << "a link to a folder is a folder";
    EXPECT_EQ(find(all, QStringLiteral("sub"))->size, -1);

    const std::vector<ShellItem> visible = folder->enumerate(EnumFlag::Folders | EnumFlag::NonFolders);
    EXPECT_EQ(find(visible, QStringLiteral(".hidden")), nullptr);
    EXPECT_EQ(visible.size(), 5U);
}

TEST_F(ShellFixture, HasSubfoldersComesFromTheLinkCount)
{
    mkdirs("leaf");
    mkdirs("branch");
    mkdirs("branch/x");
    const FolderPtr homeFolder = GetFolderFromPIDL(sources(), homeList());
    const std::vector<ShellItem> items = homeFolder->enumerate(EnumFlag::Folders);
    EXPECT_FALSE(find(items, QStringLiteral("leaf"))->hasSubfolders);
    EXPECT_TRUE(find(items, QStringLiteral("branch"))->hasSubfolders);
}

TEST_F(ShellFixture, AFolderThatCannotBeReadIsEmpty)
{
    EXPECT_TRUE(GetFolderFromPIDL(sources(), homeList({"missing"}))
                    ->enumerate(EnumFlag::Folders | EnumFlag::NonFolders)
                    .empty());
    testsupport::writeFile(inHome("plain"), "x");
    EXPECT_TRUE(
        GetFolderFromPIDL(sources(), homeList({"plain"}))->enumerate(EnumFlag::Folders | EnumFlag::NonFolders).empty());
    if (::geteuid() == 0) {
        GTEST_SKIP() << "permissions do not stop root";
    }
    mkdirs("locked");
    testsupport::writeFile(inHome("locked/inside"), "x");
    ::chmod(inHome("locked").c_str(), 0);
    EXPECT_TRUE(GetFolderFromPIDL(sources(), homeList({"locked"}))
                    ->enumerate(EnumFlag::Folders | EnumFlag::NonFolders)
                    .empty());
    ::chmod(inHome("locked").c_str(), 0755);
}

TEST_F(ShellFixture, NamesThatAreNotUtf8KeepTheirBytes)
{
    mkdirs("n");
    const std::string latin1 = "caf\xe9.txt";
    testsupport::writeFile(inHome("n/" + latin1), "x");
    testsupport::writeFile(inHome("n/café.txt"), "y");
    const FolderPtr folder = GetFolderFromPIDL(sources(), homeList({"n"}));
    const std::vector<ShellItem> items = folder->enumerate(EnumFlag::NonFolders);
    ASSERT_EQ(items.size(), 2U);
    const ShellItem* odd = find(items, QStringLiteral("caf\\xE9.txt"));
    ASSERT_NE(odd, nullptr);
    EXPECT_EQ(folder->path(odd->id).toStdString(), inHome("n/" + latin1));
    EXPECT_FALSE(exactPathText(folder->path(odd->id)).has_value());
    const ShellItem* proper = find(items, QStringLiteral("café.txt"));
    ASSERT_NE(proper, nullptr);
    EXPECT_EQ(exactPathText(folder->path(proper->id)), QString::fromStdString(inHome("n/café.txt")));
    EXPECT_EQ(describeItem(sources(), ItemIdList::combine(homeList({"n"}), ItemIdList::single(odd->id)))->displayName,
              odd->displayName);
}

ShellItem named(const char* name, bool folder = false, qint64 size = 0)
{
    ShellItem item;
    item.id = name;
    item.displayName = QString::fromUtf8(name);
    item.folder = folder;
    item.size = folder ? -1 : size;
    item.nameKey = nameCollator().sortKey(item.displayName);
    return item;
}

TEST(CompareItems, NaturalCaseInsensitiveAndTotal)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    std::vector<ShellItem> items{named("file10"),
                                 named("File2"),
                                 named("file2"),
                                 named("b"),
                                 named("a1"),
                                 named("A01"),
                                 named("zeta", true),
                                 named("Alpha", true)};
    std::sort(items.begin(), items.end(), [](const ShellItem& a, const ShellItem& b) {
        return compareItems(0, a, b, true) < 0;
    });
    // Folders first; digits by value; names equal but for case or leading
    // zeros still ordered, by their exact bytes.
    const std::vector<QString> expected{QStringLiteral("Alpha"),
                                        QStringLiteral("zeta"),
                                        QStringLiteral("A01"),
                                        QStringLiteral("a1"),
                                        QStringLiteral("b"),
                                        QStringLiteral("File2"),
                                        QStringLiteral("file2"),
                                        QStringLiteral("file10")};
    EXPECT_EQ(names(items), expected);
    for (const ShellItem& a : items) {
        for (const ShellItem& b : items) {
            for (const int column : {0, 1, 2, 3}) {
                const int ab = compareItems(column, a, b, true);
                EXPECT_EQ(ab == 0, a.id == b.id) << "column " << column;
                EXPECT_EQ(ab, -compareItems(column, b, a, true));
            }
        }
    }
    QLocale::setDefault(QLocale::system());
}

TEST(CompareItems, SizeColumnThenName)
{
    const ShellItem big = named("a", false, 5000);
    const ShellItem small = named("b", false, 10);
    const ShellItem sameSize = named("c", false, 10);
    EXPECT_GT(compareItems(1, big, small, true), 0);
    EXPECT_LT(compareItems(1, small, sameSize, true), 0);
    EXPECT_LT(compareItems(0, big, small, true), 0);
}
