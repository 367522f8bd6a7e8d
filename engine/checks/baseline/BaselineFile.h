#pragma once
// A baseline: the permissions of every checked folder (and file) as they
// were accepted, in the form `getfacl -R -p -n` writes and `setfacl
// --restore` reads, so that applying it puts every recorded item back.
//
//     # grantwise baseline of /srv/share
//     # taken 2026-12-07T02:30:00Z on fileserver
//     # folders: 2, files: 1
//
//     # file: /srv/share
//     # kind: folder
//     # owner: 0
//     # group: 100
//     # flags: -s-
//     # nfs4: A:fd:OWNER@:rwaDxtTnNcCy      (where the item carries an NFSv4 ACL)
//     # ntacl: sha256:0123456789abcdef       (or Samba's Windows ACL)
//     user::rwx
//     ...
//     <empty line>
//
// Records come in the order the check walks the tree: a folder, its files
// (by their bytes), then its subfolders (in the tree's collation order), each
// with all below it. Each record says whether it is a folder or a file (a
// comment that setfacl passes over): the order of a file among its siblings
// is not a folder's, and a drift check merges the records with the walk by
// that order. A name ending in ".gz" is gzip-compressed, streamed both ways:
// a baseline is never held in memory whole.

#include "engine/reports/ReportSpool.h"
#include "engine/rules/InheritanceRules.h"
#include "platform/Permissions.h"
#include "platform/ReportsFolder.h"

#include <QByteArray>

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace gw {

// What makes a file no baseline, or not a whole one, and on which line.
class BaselineError : public std::runtime_error {
public:
    BaselineError(long line, const std::string& what)
        : std::runtime_error(what)
        , line_(line)
    {
    }
    long line() const { return line_; } // 0: not about one line
private:
    long line_;
};

bool isCompressedName(const QByteArray& path); // ends in ".gz"

// The record of one item, as written and as read back.
struct BaselineRecord {
    std::string rawPath; // absolute
    ItemKind kind = ItemKind::Folder;
    // With the entries of NFSv4 and Windows ACLs, which the file holds as
    // comment lines ("# nfs4: A::OWNER@:rwx"): setfacl passes over them.
    Permissions permissions;
    long line = 0; // of its "# file:" line
};

// What the comment lines at the top say.
struct BaselineHead {
    std::string rawFolder; // the checked folder
    std::string taken; // 2026-12-07T02:30:00Z
    std::string host;
    long folders = 0;
    long files = -1; // -1: files were not recorded
};

// Writes the records, as they come, to a file without a name in the reports
// folder (compressed as they come when asked to), and gives the whole file
// with its comment lines at the end, when their counts are known.
class BaselineWriter {
public:
    BaselineWriter(ReportsFolder& spoolFolder, bool compressed);
    ~BaselineWriter();
    BaselineWriter(const BaselineWriter&) = delete;
    BaselineWriter& operator=(const BaselineWriter&) = delete;

    void add(std::string_view rawPath, ItemKind kind, const Permissions& p);
    // The whole file: the comment lines of `head` (its counts are the
    // records added), then the records. Valid while the writer lives.
    std::vector<ReportsFolder::Part> parts(BaselineHead head);
    long folders() const { return folders_; }
    long files() const { return files_; }

private:
    void put(std::string_view bytes, bool finish = false);
    Spool body_;
    bool compressed_;
    struct Deflate;
    std::unique_ptr<Deflate> deflate_;
    int error_ = 0;
    long folders_ = 0, files_ = 0;
    QByteArray head_;
    std::string out_;
};

// Reads a baseline, strictly: anything that is not in the form above, or a
// file that ends within a record or with fewer records than its head
// announces, throws BaselineError naming the line.
class BaselineReader {
public:
    // Opens `path` (never through a link) and reads its head. A file others
    // may write in, or one in a folder others may write in, is refused as a
    // reports folder is; so is anything but a regular file. Throws
    // BaselineError (line 0 when the file cannot be read at all). What
    // keeps it from being read at all, or makes it no baseline of Grantwise
    // from its first lines, is said in `language`.
    explicit BaselineReader(const QByteArray& path, Language language = Language::English);
    ~BaselineReader();
    BaselineReader(const BaselineReader&) = delete;
    BaselineReader& operator=(const BaselineReader&) = delete;

    const BaselineHead& head() const { return head_; }
    Language language() const { return language_; }
    // The next record; false at the end of the file (whose counts are then
    // checked against the head).
    bool next(BaselineRecord& out);

private:
    bool readLine(std::string& line); // false at the end
    bool recordStart();
    std::uint32_t readComments(BaselineRecord& out);
    void readEntries(BaselineRecord& out);
    std::uint32_t numericId(std::string_view text) const;
    [[noreturn]] void fail(const std::string& what) const;
    [[noreturn]] void failAt(long line, const std::string& what) const;
    std::string say(const char* english, const char* russian) const; // in the reader's language
    std::string damaged(const std::string& why) const;

    struct Source;
    std::unique_ptr<Source> source_;
    BaselineHead head_;
    long line_ = 0;
    long folders_ = 0, files_ = 0;
    std::string lineText_; // the line being read
    Language language_;
};

// The path in a "# file:" line back to its raw bytes; false when an escape
// is not a backslash and three octal digits.
bool unescapeRestorePath(std::string_view text, std::string& raw);

} // namespace gw
