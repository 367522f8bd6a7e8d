// A kind of check judges one item alone exactly as it judges it in the walk:
// every item of a tree of folders and files with inheritance broken in many
// ways is judged alone, and the items found not green, with their changes,
// are the walk's.

#include "TempTree.h"
#include "engine/checks/ItemComparison.h"
#include "engine/checks/folder/FolderCheck.h"
#include "engine/checks/inheritance/InheritanceCheck.h"
#include "engine/run/BatchCheck.h"
#include "platform/AclListing.h"
#include "platform/ReportsFolder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <map>
#include <sys/stat.h>
#include <unistd.h>

using namespace gw;

namespace {

struct Item {
    ItemKind kind;
    std::string path; // relative
};

Permissions permissionsOf(const std::string& path, ItemKind kind)
{
    Permissions p;
    if (kind == ItemKind::Folder) {
        const int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        EXPECT_GE(fd, 0) << path;
        EXPECT_EQ(readPermissions(fd, p), 0) << path;
        ::close(fd);
        return p;
    }
    const std::size_t slash = path.rfind('/');
    const int fd = ::open(path.substr(0, slash).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    EXPECT_EQ(readPermissionsAt(fd, path.substr(slash + 1).c_str(), p, false), 0) << path;
    ::close(fd);
    return p;
}

// "path: change, change" for each item not green.
std::string shown(const QList<ItemDifference>& items)
{
    std::map<std::string, std::string> sorted;
    for (const ItemDifference& d : items) {
        std::string line;
        for (const EntryChange& c : d.changes)
            line += " [" + std::to_string(c.kind) + " " + c.from.toStdString() + " " + c.to.toStdString() + "]";
        sorted[d.path.toStdString()] = line;
    }
    std::string text;
    for (const auto& [path, line] : sorted)
        text += path + ":" + line + "\n";
    return text;
}

} // namespace

TEST(JudgeAlone, EachItemAloneIsJudgedAsTheWalkJudgesIt)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root: items are given to other users and groups";
    gwtest::TempTree t, work;
    const std::vector<Item> items = {
        {ItemKind::Folder, "a"},   {ItemKind::Folder, "a/b"}, {ItemKind::File, "a/f"},
        {ItemKind::File, "a/b/g"}, {ItemKind::Folder, "c"},   {ItemKind::File, "c/h"},
        {ItemKind::Folder, "c/d"}, {ItemKind::Folder, "e"},   {ItemKind::File, "e/private"}};
    for (const Item& i : items) {
        if (i.kind == ItemKind::Folder)
            t.mkdir(i.path);
        else
            gwtest::run({"touch", t.path(i.path)});
    }
    // Made before, moved in, narrowed, named, given away: what its folder gives differs in each.
    gwtest::run({"setfacl", "-d", "-m", "g:4711:rwx", t.path("a")});
    gwtest::run({"setfacl", "-m", "u:4713:rwx", t.path("c")});
    gwtest::run({"chmod", "0700", t.path("c/d")});
    gwtest::run({"chmod", "0600", t.path("e/private")});
    gwtest::run({"chown", "4713:4712", t.path("a/b/g")});
    gwtest::run({"chmod", "g+s", t.path("e")});

    ReportsFolder reports;
    ASSERT_EQ(reports.open(QByteArray::fromStdString(work.path("r"))), ReportsFolder::Outcome::Opened);
    BatchOptions options;
    options.folder = QByteArray::fromStdString(t.root());
    options.reports = &reports;
    options.inheritance = true;
    options.files = true;
    options.keepItems = true;
    const BatchResult walked = runBatchCheck(options);
    ASSERT_TRUE(walked.items.complete());

    auto comparison = std::make_unique<ItemComparison>(reports, true, std::nullopt, false, true, nullptr);
    const InheritanceCheck inheritance(std::move(comparison), FileScope {}, false, true);
    QList<ItemDifference> alone;
    const Permissions top = permissionsOf(t.root(), ItemKind::Folder);
    for (const Item& i : items) {
        const std::string path = t.path(i.path);
        const Permissions p = permissionsOf(path, i.kind);
        const Permissions folder = permissionsOf(path.substr(0, path.rfind('/')), ItemKind::Folder);
        const Judgement j = inheritance.judge({i.kind, QByteArray::fromStdString(path), &p, &folder, &top, nullptr});
        EXPECT_TRUE(j.judged) << i.path << ": " << j.note.toStdString();
        if (!j.green)
            alone.append(j.difference);
    }
    EXPECT_FALSE(alone.isEmpty());
    EXPECT_EQ(shown(alone), shown(walked.items.items));

    // The check against the checked folder: the folders it finds differing,
    // and the files that do not carry what the checked folder gives.
    BatchOptions plain = options;
    plain.inheritance = false;
    const BatchResult against = runBatchCheck(plain);
    auto files = std::make_unique<ItemComparison>(reports, true, std::nullopt, false, true, nullptr);
    const FolderCheck folderCheck(reports, QByteArray::fromStdString(t.root()), {}, std::move(files), true,
                                  TimeFormat::system());
    QList<ItemDifference> filesAlone;
    int foldersDiffering = 0;
    for (const Item& i : items) {
        const std::string path = t.path(i.path);
        const Permissions p = permissionsOf(path, i.kind);
        const Judgement j = folderCheck.judge({i.kind, QByteArray::fromStdString(path), &p, nullptr, &top, nullptr});
        EXPECT_TRUE(j.judged) << i.path;
        if (!j.green && i.kind == ItemKind::File)
            filesAlone.append(j.difference);
        foldersDiffering += !j.green && i.kind == ItemKind::Folder;
    }
    EXPECT_EQ(foldersDiffering, against.analysis.inputs.mismatchCount);
    EXPECT_EQ(shown(filesAlone), shown(against.items.items));
}
