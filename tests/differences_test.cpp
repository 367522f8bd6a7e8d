// What differs, entry by entry, and where the differences start.

#include "engine/checks/JsonLines.h"
#include "engine/rules/Differences.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

using namespace gw;

namespace {

const QByteArray kReference = " user root (owner):rwx\r\nuser 1001:r-x\r\ngroup root (owner):r-x\r\ngroup devs:rwx\r\n"
                              "mask:rwx\r\nother:r-x\r\ncreator owner:(default)rwx\r\ncreator group:(default)r-x\r\n"
                              "other:(default)---\r\n\r\n";

QList<EntryChange> changesOf(const QByteArray& block)
{
    return entryChanges(listingEntries(kReference), listingEntries(block));
}

FolderDifference folder(const QByteArray& path, QList<EntryChange> changes)
{
    FolderDifference f;
    f.path = path;
    f.changes = std::move(changes);
    return f;
}

} // namespace

TEST(Differences, EachKindOfChangeInTheListingsOrder)
{
    using C = EntryChange;
    EXPECT_EQ(blockPath("/srv/a user b user alice (owner):rwx\r\nother:---\r\n\r\n"), "/srv/a user b");
    EXPECT_EQ(listingEntries(kReference).size(), 9);
    EXPECT_TRUE(changesOf("/s/a user root (owner):rwx\r\nuser 1001:r-x\r\ngroup root (owner):r-x\r\ngroup devs:rwx\r\n"
                          "mask:rwx\r\nother:r-x\r\ncreator owner:(default)rwx\r\ncreator group:(default)r-x\r\n"
                          "other:(default)---\r\n\r\n")
                    .isEmpty());
    // A named user added, a named group removed, the mask changed, another owner.
    EXPECT_EQ(changesOf("/s/b user alice (owner):rwx\r\nuser 1001:r-x\r\nuser bob:r-x\r\ngroup root (owner):r-x\r\n"
                        "mask:r-x\r\nother:r-x\r\ncreator owner:(default)rwx\r\ncreator group:(default)r-x\r\n"
                        "other:(default)---\r\n\r\n"),
              (QList<C> {{C::Changed, "user root (owner):rwx", "user alice (owner):rwx"},
                         {C::Added, {}, "user bob:r-x"},
                         {C::Removed, "group devs:rwx", {}},
                         {C::Changed, "mask:rwx", "mask:r-x"}}));
    // Only in the default ACL, and only the special bits: a named default user
    // is not the named user of the access ACL.
    EXPECT_EQ(
        changesOf("/s/c user root (owner):rwx\r\nuser 1001:r-x\r\ngroup root (owner):r-x\r\ngroup devs:rwx\r\n"
                  "mask:rwx\r\nother:r-x\r\ncreator owner:(default)rwx\r\nuser 1001:(default)r-x\r\n"
                  "creator group:(default)r-x\r\nmask:(default)r-x\r\nother:(default)---\r\nspecial:setgid\r\n\r\n"),
        (QList<C> {{C::Added, {}, "user 1001:(default)r-x"},
                   {C::Added, {}, "mask:(default)r-x"},
                   {C::Added, {}, "special:setgid"}}));
}

TEST(Differences, Nfs4AcesAreKeyedByTheirPositionAndTheWindowsAclIsOneEntry)
{
    using C = EntryChange;
    const QByteArray head = " user root (owner):rwx\r\ngroup root (owner):r-x\r\nother:r-x\r\n";
    const QByteArray reference = head
        + "nfs4 A::OWNER@:rwx\r\nnfs4 A:g:staff@x:rx\r\nnfs4 A::EVERYONE@:r\r\nntacl sha256:0000000000000000\r\n\r\n";
    const auto changes = [&](const QByteArray& aces) {
        return entryChanges(listingEntries(reference), listingEntries("/s/f" + head + aces + "\r\n"));
    };
    // The same ACEs in another order differ at each position that changed.
    EXPECT_EQ(changes("nfs4 A::OWNER@:rwx\r\nnfs4 A::EVERYONE@:r\r\nnfs4 A:g:staff@x:rx\r\n"
                      "ntacl sha256:0000000000000000\r\n"),
              (QList<C> {{C::Changed, "nfs4 A:g:staff@x:rx", "nfs4 A::EVERYONE@:r"},
                         {C::Changed, "nfs4 A::EVERYONE@:r", "nfs4 A:g:staff@x:rx"}}));
    // One more ACE at the end, another Windows ACL; one ACE fewer, none.
    EXPECT_EQ(changes("nfs4 A::OWNER@:rwx\r\nnfs4 A:g:staff@x:rx\r\nnfs4 A::EVERYONE@:r\r\nnfs4 D::EVERYONE@:w\r\n"
                      "ntacl sha256:1111111111111111\r\n"),
              (QList<C> {{C::Added, {}, "nfs4 D::EVERYONE@:w"},
                         {C::Changed, "ntacl sha256:0000000000000000", "ntacl sha256:1111111111111111"}}));
    EXPECT_EQ(changes("nfs4 A::OWNER@:rwx\r\nnfs4 A:g:staff@x:rx\r\n"),
              (QList<C> {{C::Removed, "nfs4 A::EVERYONE@:r", {}}, {C::Removed, "ntacl sha256:0000000000000000", {}}}));
    // An NFSv4 ACL without ACEs is no ACE changed: it is added, every ACE removed.
    EXPECT_EQ(changes("nfs4 (no ACEs)\r\nntacl sha256:0000000000000000\r\n"),
              (QList<C> {{C::Added, {}, "nfs4 (no ACEs)"},
                         {C::Removed, "nfs4 A::OWNER@:rwx", {}},
                         {C::Removed, "nfs4 A:g:staff@x:rx", {}},
                         {C::Removed, "nfs4 A::EVERYONE@:r", {}}}));

    // A folder not read is followed by why, in the differences report only.
    EXPECT_EQ(differencesReport("/s", {}, {"/s/a", "/s/b"}, {"/s/c"}, {}, {}, {"it carries a richacl", ""}),
              "Differences from the checked folder /s\n"
              "0 folders differ from the checked folder; the differences start in 0 places.\n"
              "\nFolders whose permissions were not read:\n/s/a\n    it carries a richacl\n/s/b\n"
              "\nFolders whose subfolders could not be listed:\n/s/c\n");
    EXPECT_TRUE(jsonFolderLine("/s/a", "/s/a", "not_read", nullptr, "it carries a richacl")
                    .endsWith(",\"changes\":[],\"reason\":\"it carries a richacl\"}\n"));
}

TEST(Differences, FoldedIntoWhereTheyStartWithExceptionsKept)
{
    using C = EntryChange;
    const QList<C> extra {{C::Added, {}, "user bob:r-x"}};
    const QList<C> other {{C::Changed, "mask:rwx", "mask:r-x"}};
    // Three levels below the place where they start; one exception in the
    // middle starts a place of its own, and the folder below it (like its
    // grandparent, unlike its parent) starts one too.
    QList<FolderDifference> folders {
        folder("/srv/p/a", extra),       folder("/srv/p/a/b", extra), folder("/srv/p/a/b/c", extra),
        folder("/srv/p/a/b/c/d", extra), folder("/srv/p/a/x", other), folder("/srv/p/a/x/y", extra),
        folder("/srv/p/z", extra),
    };
    foldDifferences(folders, "/srv/p");
    EXPECT_EQ(folders[0].sameBelow, 3);
    EXPECT_TRUE(folders[4].startsHere && folders[5].startsHere && folders[6].startsHere);
    EXPECT_FALSE(folders[1].startsHere || folders[2].startsHere || folders[3].startsHere);
    EXPECT_EQ(differencesReport("/srv/p", folders, {"/srv/p/n"}, {}),
              "Differences from the checked folder /srv/p\n"
              "7 folders differ from the checked folder; the differences start in 4 places.\n"
              "\n/srv/p/a (and 3 subfolders below it)\n    + user bob:r-x\n"
              "\n/srv/p/a/x\n    ~ mask:rwx -> mask:r-x\n"
              "\n/srv/p/a/x/y\n    + user bob:r-x\n"
              "\n/srv/p/z\n    + user bob:r-x\n"
              "\nFolders whose permissions were not read:\n/srv/p/n\n");

    // Under the root of the file system, and the checked folder itself.
    QList<FolderDifference> top {folder("/", extra), folder("/a", extra), folder("/a/b", extra)};
    foldDifferences(top, "/");
    EXPECT_EQ(top[0].sameBelow, 2);
}

TEST(Differences, IgnoredNamesAreIgnoredWhenFolding)
{
    using C = EntryChange;
    // The owner's rights changed over a subtree whose folders have other owners.
    const auto ownerRights = [](const QByteArray& owner) {
        return QList<C> {{C::Changed, "user root (owner):rwx", "user " + owner + " (owner):r-x"}};
    };
    const auto groupRights = [](const QByteArray& group) {
        return QList<C> {{C::Changed, "group root (owner):r-x", "group " + group + " (owner):rwx"}};
    };
    const auto tree = [&](const auto& changes) {
        return QList<FolderDifference> {folder("/s/a", changes("alice")), folder("/s/a/b", changes("bob")),
                                        folder("/s/a/b/c", changes("carol"))};
    };
    QList<FolderDifference> folders = tree(ownerRights);
    foldDifferences(folders, "/s");
    EXPECT_TRUE(folders[1].startsHere && folders[2].startsHere); // the names are compared
    foldDifferences(folders, "/s", {true, false});
    EXPECT_EQ(folders[0].sameBelow, 2);
    EXPECT_FALSE(folders[1].startsHere || folders[2].startsHere);
    foldDifferences(folders, "/s", {false, true}); // the owning group's names only
    EXPECT_TRUE(folders[1].startsHere && folders[2].startsHere);
    folders = tree(groupRights);
    foldDifferences(folders, "/s", {false, true});
    EXPECT_EQ(folders[0].sameBelow, 2);
    // Other rights are another change, whatever is ignored.
    folders[2].changes[0].to = "group carol (owner):r--";
    foldDifferences(folders, "/s", {true, true});
    EXPECT_EQ(folders[0].sameBelow, 1);
    EXPECT_TRUE(folders[2].startsHere);
}

TEST(JsonLines, EveryLineParsesStrictlyWhateverTheName)
{
    using C = EntryChange;
    FolderDifference d = folder(
        "/srv/new\\012line\\377 \"q\"",
        {{C::Added, {}, "user b\\040o\"b:r-x"}, {C::Changed, "mask:rwx", "mask:r-x"}, {C::Removed, "group g:rwx", {}}});
    d.sameBelow = 4;
    const QByteArray raw("/srv/new\nline\xff \"q\"");
    const QByteArray line = jsonFolderLine(d.path, raw, "differs", &d);
    ASSERT_TRUE(line.endsWith("}\n"));
    QJsonParseError error {};
    const QJsonObject o = QJsonDocument::fromJson(line, &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
    EXPECT_EQ(o.keys().size(), 7);
    EXPECT_EQ(o["path"].toString(), QString::fromUtf8(d.path));
    EXPECT_EQ(QByteArray::fromBase64(o["path_base64"].toString().toLatin1()), raw);
    EXPECT_EQ(o["same_below"].toInt(), 4);
    EXPECT_EQ(o["changes"].toArray()[0].toObject()["entry"].toString(), "user b\\040o\"b:r-x");
    EXPECT_EQ(o["changes"].toArray()[1].toObject()["to"].toString(), "mask:r-x");
    EXPECT_EQ(jsonString("a\x01\x7f\xff"), "\"a\\u0001\\u007f\xEF\xBF\xBD\"");
    EXPECT_TRUE(
        line.startsWith("{\"type\":\"folder\",\"path\":\"/srv/new\\\\012line\\\\377 \\\"q\\\"\",\"path_base64\":"));

    JsonSummary s;
    s.folder = "/srv";
    s.notRead = 1;
    const QJsonObject summary = QJsonDocument::fromJson(jsonSummaryLine(s), &error).object();
    ASSERT_EQ(error.error, QJsonParseError::NoError);
    EXPECT_EQ(summary["verdict"].toString(), "incomplete");
    EXPECT_EQ(
        jsonFolderLine("/x", "/x", "not_read", nullptr),
        "{\"type\":\"folder\",\"path\":\"/x\",\"path_base64\":\"L3g=\",\"status\":\"not_read\",\"starts_here\":false,\"same_below\":0,\"changes\":[],\"reason\":\"\"}\n");
}
