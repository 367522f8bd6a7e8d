#include "engine/checks/baseline/BaselineFile.h"

#include "platform/Nfs4Acl.h"
#include "platform/PrintablePath.h"
#include "platform/RestoreFile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <zlib.h>

namespace gw {
namespace {

// No line of a baseline is longer (a path of PATH_MAX bytes, each escaped to
// four), nor has an ACL more entries than the kernel keeps: what is longer is
// refused before it is held.
constexpr std::size_t kLongestLine = 64 * 1024;
constexpr std::size_t kMostEntries = 8192;
// Nor the entries of other ACL models more text than an attribute's 64 KiB
// value can stand for (each ACE of 16 bytes and more, a line of 200 and less).
constexpr std::size_t kMostOtherBytes = 1024 * 1024;

// A line or path quoted in a message: printable, and cut short.
std::string shown(std::string_view text)
{
    constexpr std::size_t kShown = 200;
    std::string out = printable(text.substr(0, kShown));
    if (text.size() > kShown)
        out += "...";
    return out;
}

// True for an absolute path in its plain form: no empty, "." or ".."
// component, no slash at its end (but "/" itself), no NUL.
bool normalPath(std::string_view path)
{
    if (path.empty() || path[0] != '/' || path.find('\0') != std::string_view::npos)
        return false;
    if (path == "/")
        return true;
    std::size_t at = 1;
    while (at <= path.size()) {
        std::size_t end = path.find('/', at);
        if (end == std::string_view::npos)
            end = path.size();
        const std::string_view part = path.substr(at, end - at);
        if (part.empty() || part == "." || part == "..")
            return false;
        at = end + 1;
    }
    return true;
}

constexpr std::size_t kPiece = 256 * 1024;

const char kHeadFolder[] = "# grantwise baseline of ";
const char kHeadTaken[] = "# taken ";
const char kHeadCounts[] = "# folders: ";

bool startsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

// A whole decimal number that fits in 32 bits (ids) or in a long (counts).
bool wholeNumber(std::string_view text, unsigned long long limit, unsigned long long& out)
{
    if (text.empty() || text.size() > 19)
        return false;
    out = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        out = out * 10 + static_cast<unsigned>(c - '0');
    }
    return out <= limit;
}

// The gzip form of `text`, as one member of its own.
QByteArray gzipMember(const QByteArray& text)
{
    z_stream z {};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return {};
    QByteArray out(static_cast<qsizetype>(deflateBound(&z, static_cast<uLong>(text.size())) + 64), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.constData()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(static_cast<qsizetype>(z.total_out));
    deflateEnd(&z);
    return rc == Z_STREAM_END ? out : QByteArray();
}

// The entries of the other ACL models, which setfacl can neither read nor
// set, as comment lines it passes over: "nfs4 A::OWNER@:rwx" becomes
// "# nfs4: A::OWNER@:rwx", "ntacl sha256:..." becomes "# ntacl: sha256:...".
std::string otherModelLines(const std::vector<std::string>& entries)
{
    std::string lines;
    for (const std::string& entry : entries) {
        const std::size_t space = entry.find(' ');
        lines += "# " + entry.substr(0, space) + ":" + entry.substr(space) + "\n";
    }
    return lines;
}

// Where a record's comment lines end: its first entry.
std::size_t endOfComments(const std::string& record)
{
    std::size_t at = 0;
    while (at < record.size() && record[at] == '#')
        at = record.find('\n', at) + 1;
    return at;
}

// The other ACL models a baseline records, by the name of their comment line.
constexpr std::string_view kOtherModels[] = {"nfs4", "ntacl"};

// The model whose comment line `line` is ("# nfs4: ..."), or nothing.
std::string_view otherModelOf(std::string_view line)
{
    for (const std::string_view model : kOtherModels) {
        if (line.size() > model.size() + 4 && line.substr(0, 2) == "# " && line.substr(2, model.size()) == model
            && line.substr(2 + model.size(), 2) == ": ")
            return model;
    }
    return {};
}

// True when `entry` is as a baseline writes an entry of another ACL model:
// in printable form (well-formed UTF-8, such as a who "jürgen@example.com",
// and no control or hidden character), where every backslash already starts
// an escape.
bool asWritten(std::string_view entry)
{
    std::string escaped;
    escaped.reserve(entry.size());
    for (const char c : entry) {
        if (c == '\\')
            escaped += "\\134";
        else
            escaped += c;
    }
    return printable(entry) == escaped;
}

// What zlib says went wrong, without the name it gives the file ("<fd:4>: "):
// the baseline is named by the message around it.
std::string zlibReason(const char* why)
{
    std::string_view text(why ? why : "");
    if (text.substr(0, 4) == "<fd:") {
        if (const std::size_t end = text.find(">: "); end != std::string_view::npos)
            text.remove_prefix(end + 3);
    }
    return std::string(text);
}

} // namespace

bool isCompressedName(const QByteArray& path)
{
    return path.endsWith(".gz");
}

bool unescapeRestorePath(std::string_view text, std::string& raw)
{
    raw.clear();
    raw.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            raw.push_back(text[i]);
            continue;
        }
        if (i + 3 >= text.size())
            return false;
        unsigned value = 0;
        for (std::size_t k = 1; k <= 3; ++k) {
            const char c = text[i + k];
            if (c < '0' || c > '7')
                return false;
            value = value * 8 + static_cast<unsigned>(c - '0');
        }
        if (value > 0xFF)
            return false;
        raw.push_back(static_cast<char>(value));
        i += 3;
    }
    return true;
}

// ----- writing -----

struct BaselineWriter::Deflate {
    z_stream z {};
    bool ready = false;
};

BaselineWriter::BaselineWriter(ReportsFolder& spoolFolder, bool compressed)
    : body_(spoolFolder)
    , compressed_(compressed)
    , deflate_(std::make_unique<Deflate>())
{
    if (compressed_) {
        deflate_->ready = deflateInit2(&deflate_->z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY)
            == Z_OK;
        if (!deflate_->ready)
            error_ = ENOMEM;
    }
    out_.reserve(kPiece);
}

BaselineWriter::~BaselineWriter()
{
    if (deflate_->ready)
        deflateEnd(&deflate_->z);
}

void BaselineWriter::put(std::string_view bytes, bool finish)
{
    if (!compressed_) {
        body_.append(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
        return;
    }
    if (!deflate_->ready)
        return;
    z_stream& z = deflate_->z;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    char buffer[64 * 1024];
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(buffer);
        z.avail_out = sizeof buffer;
        const int rc = deflate(&z, finish ? Z_FINISH : Z_NO_FLUSH);
        body_.append(QByteArrayView(buffer, static_cast<qsizetype>(sizeof buffer - z.avail_out)));
        if (rc == Z_STREAM_END)
            break;
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            error_ = EIO;
            break;
        }
        if (!finish && z.avail_in == 0 && z.avail_out != 0)
            break;
    }
}

void BaselineWriter::add(std::string_view rawPath, ItemKind kind, const Permissions& p)
{
    ++(kind == ItemKind::File ? files_ : folders_);
    std::string record = restoreRecord(rawPath, restoreForm(p));
    record.insert(record.find('\n') + 1, kind == ItemKind::File ? "# kind: file\n" : "# kind: folder\n");
    if (!p.otherModels.empty())
        record.insert(endOfComments(record), otherModelLines(p.otherModels));
    out_ += record;
    if (out_.size() >= kPiece) {
        put(out_);
        out_.clear();
    }
}

std::vector<ReportsFolder::Part> BaselineWriter::parts(BaselineHead head)
{
    put(out_, true);
    out_.clear();
    head_ = QByteArray(kHeadFolder) + QByteArray::fromStdString(restorePath(head.rawFolder)) + "\n" + kHeadTaken
        + QByteArray::fromStdString(head.taken) + " on " + QByteArray::fromStdString(printable(head.host)) + "\n"
        + kHeadCounts + QByteArray::number(folders_)
        + ", files: " + (head.files < 0 ? QByteArray("not recorded") : QByteArray::number(files_)) + "\n\n";
    if (compressed_) {
        head_ = gzipMember(head_); // a member of its own: zcat and zlib read members one after another
        if (head_.isEmpty())
            error_ = ENOMEM;
    }
    ReportsFolder::Part body = body_.part();
    if (error_ && !body.error)
        body.error = error_;
    return {ReportsFolder::Part(head_), body};
}

// ----- reading -----

struct BaselineReader::Source {
    gzFile file = nullptr;
    std::string buffer;
    std::size_t at = 0;
    bool ended = false;
    ~Source()
    {
        if (file)
            gzclose(file);
    }
};

BaselineReader::BaselineReader(const QByteArray& path, Language language)
    : source_(std::make_unique<Source>())
    , language_(language)
{
    const auto say = [language](const char* english, const char* russian) {
        return std::string(inLanguage(language, english, russian));
    };
    const std::string shown = printable(std::string_view(path.constData(), static_cast<std::size_t>(path.size())));
    const std::string cannotRead = say("cannot read the baseline ", "не удалось прочитать базовый снимок ") + shown
        + ": ";
    const int fd = ::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        const int error = errno;
        throw BaselineError(0,
                            cannotRead
                                + (error == ELOOP ? say("it is a symbolic link", "это символьная ссылка")
                                                  : systemErrorText(error, language)));
    }
    struct stat st { };
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        throw BaselineError(
            0,
            cannotRead
                + (S_ISDIR(st.st_mode) ? systemErrorText(EISDIR, language) : notRegularText(st.st_mode, language)));
    }
    // Another user who may write in it could make it say anything: refused
    // as a reports folder of theirs would be.
    if ((st.st_uid != ::geteuid() && st.st_uid != 0) || (st.st_mode & (S_IWGRP | S_IWOTH))) {
        ::close(fd);
        throw BaselineError(0,
                            say("the baseline ", "базовый снимок ") + shown
                                + say(" may be written by another user than you; make it yours"
                                      " alone (chmod go-w) or take a new one",
                                      " может изменить не только вы; сделайте его только своим"
                                      " (chmod go-w) или сохраните новый"));
    }
    const qsizetype slash = path.lastIndexOf('/');
    const QByteArray dir = slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
    ReportsFolder probe;
    if (const ReportsFolder::Outcome outcome = probe.check(dir); outcome != ReportsFolder::Outcome::Opened) {
        ::close(fd);
        // Read, not written, but trusted only where a report would be written.
        throw BaselineError(0,
                            probe.refusal(outcome, say("the baseline", "базовому снимку"), language,
                                          inLanguage(language, "cannot trust ", "нельзя доверять ")));
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    source_->file = gzdopen(fd, "rb"); // reads plain text as it is
    if (!source_->file) {
        ::close(fd);
        throw BaselineError(0, cannotRead + systemErrorText(ENOMEM, language));
    }
    gzbuffer(source_->file, kPiece);

    std::string line;
    const std::string notBaseline = say("not a grantwise baseline: ", "это не базовый снимок grantwise: ");
    const char* const thirdLine = inLanguage(language, "its third line is not \"# folders: N, files: M\"",
                                             "его третья строка не \"# folders: N, files: M\"");
    const char* const secondLine = inLanguage(language, "its second line is not \"# taken DATE on HOST\"",
                                              "его вторая строка не \"# taken DATE on HOST\"");
    const auto headLine = [&](const char* prefix, const std::string& what) {
        if (!readLine(line) || !startsWith(line, prefix))
            failAt(line_ == 0 ? 1 : line_, notBaseline + what);
        return std::string_view(line).substr(std::strlen(prefix));
    };
    {
        const std::string_view folder = headLine(kHeadFolder,
                                                 say("it does not begin with \"# grantwise baseline of\"",
                                                     "он не начинается с \"# grantwise baseline of\""));
        if (!unescapeRestorePath(folder, head_.rawFolder) || head_.rawFolder.empty() || head_.rawFolder[0] != '/')
            failAt(line_,
                   say("the folder is not an absolute path as getfacl writes one",
                       "папка не записана полным путём, как его пишет getfacl"));
    }
    {
        const std::string_view taken = headLine(kHeadTaken, secondLine);
        const std::size_t on = taken.find(" on ");
        if (on == std::string_view::npos || on == 0)
            failAt(line_, secondLine);
        head_.taken = std::string(taken.substr(0, on));
        head_.host = std::string(taken.substr(on + 4));
    }
    {
        const std::string_view counts = headLine(kHeadCounts, thirdLine);
        const std::size_t comma = counts.find(", files: ");
        unsigned long long n = 0, m = 0;
        if (comma == std::string_view::npos || !wholeNumber(counts.substr(0, comma), LONG_MAX, n))
            failAt(line_, thirdLine);
        head_.folders = static_cast<long>(n);
        const std::string_view files = counts.substr(comma + 9);
        if (files == "not recorded")
            head_.files = -1;
        else if (wholeNumber(files, LONG_MAX, m))
            head_.files = static_cast<long>(m);
        else
            failAt(line_, thirdLine);
    }
}

BaselineReader::~BaselineReader() = default;

std::string BaselineReader::say(const char* english, const char* russian) const
{
    return inLanguage(language_, english, russian);
}

std::string BaselineReader::damaged(const std::string& why) const
{
    return say("cut short or damaged after line ", "обрезан или повреждён после строки ") + std::to_string(line_) + ": "
        + why;
}

void BaselineReader::failAt(long line, const std::string& what) const
{
    throw BaselineError(line, what);
}

void BaselineReader::fail(const std::string& what) const
{
    throw BaselineError(line_, what);
}

bool BaselineReader::readLine(std::string& line)
{
    Source& s = *source_;
    line.clear();
    for (;;) {
        const std::size_t end = s.buffer.find('\n', s.at);
        if (end != std::string::npos) {
            line.append(s.buffer, s.at, end - s.at);
            s.at = end + 1;
            ++line_;
            if (line.size() > kLongestLine)
                failAt(line_,
                       say("a line longer than ", "строка длиннее ") + std::to_string(kLongestLine)
                           + say(" bytes", " байт"));
            return true;
        }
        line.append(s.buffer, s.at, std::string::npos);
        if (line.size() > kLongestLine) // no line of a baseline is that long: never held whole
            failAt(line_ + 1,
                   say("a line longer than ", "строка длиннее ") + std::to_string(kLongestLine)
                       + say(" bytes", " байт"));
        s.buffer.clear();
        s.at = 0;
        if (s.ended) {
            if (line.empty())
                return false;
            ++line_;
            failAt(line_,
                   say("cut short: the last line has no line end", "обрезан: у последней строки нет конца строки"));
        }
        s.buffer.resize(kPiece);
        const int n = gzread(s.file, s.buffer.data(), static_cast<unsigned>(kPiece));
        if (n < 0) {
            int code = 0;
            const char* why = gzerror(s.file, &code);
            failAt(line_ + 1, damaged(code == Z_ERRNO ? systemErrorText(errno, language_) : zlibReason(why)));
        }
        s.buffer.resize(static_cast<std::size_t>(n));
        if (n == 0) {
            // The end, or a compressed stream cut off in the middle.
            int code = 0;
            const char* why = gzerror(s.file, &code);
            if (code != Z_OK)
                failAt(line_ + 1, damaged(zlibReason(why)));
            s.ended = true;
        }
    }
}

// Reads up to a record's first line; false at the end of the file, whose
// counts are then checked against the head.
bool BaselineReader::recordStart()
{
    std::string& line = lineText_; // its room kept from record to record
    int blank = 0;
    do {
        if (!readLine(line)) {
            if (folders_ + files_ == head_.folders + head_.files && folders_ != head_.folders)
                failAt(line_,
                       say("its head announces ", "в начале объявлено папок: ") + std::to_string(head_.folders)
                           + say(" folders and ", ", файлов: ") + std::to_string(head_.files)
                           + say(" files, and its kind lines say ", ", а строки вида говорят: папок ")
                           + std::to_string(folders_) + say(" and ", " и файлов ") + std::to_string(files_)
                           + say(": a record's \"# kind:\" line does not match its item",
                                 ": строка \"# kind:\" какой-то записи не совпадает с её элементом"));
            if (folders_ != head_.folders || (head_.files >= 0 && files_ != head_.files))
                failAt(line_,
                       say("cut short: its head announces ", "обрезан: в начале объявлено папок: ")
                           + std::to_string(head_.folders) + say(" folders and ", ", файлов: ")
                           + (head_.files < 0 ? say("no", "нет") : std::to_string(head_.files))
                           + say(" files, and it holds ", ", а в нём папок: ") + std::to_string(folders_)
                           + say(" and ", " и файлов: ") + std::to_string(files_));
            return false;
        }
        // One empty line ends the head and each record: a run of them is no
        // baseline, and would only cost time to read.
        if (line.empty() && ++blank > 1)
            fail(say("more than one empty line between records", "больше одной пустой строки между записями"));
    } while (line.empty());
    return true;
}

std::uint32_t BaselineReader::numericId(std::string_view text) const
{
    unsigned long long n = 0;
    if (!wholeNumber(text, 0xFFFFFFFFull, n))
        fail(say("not a numeric id: ", "не числовой идентификатор: ") + printable(text));
    return static_cast<std::uint32_t>(n);
}

// The record's comment lines; returns its special bits. `lineText_` is its
// first entry then.
std::uint32_t BaselineReader::readComments(BaselineRecord& out)
{
    std::string& line = lineText_;
    bool haveKind = false, haveOwner = false, haveGroup = false, haveFlags = false;
    std::size_t otherBytes = 0;
    std::uint32_t special = 0;
    Permissions& p = out.permissions;
    const auto id = [&](std::string_view text) { return numericId(text); };
    // The comment lines of the record, then its entries up to the empty line.
    for (;;) {
        if (!readLine(line))
            fail(say("cut short: the file ends within the record of line ",
                     "обрезан: файл кончается внутри записи строки ")
                 + std::to_string(out.line));
        if (line.empty() || line[0] != '#') {
            break;
        }
        const std::string_view l(line);
        bool twice = false;
        if (startsWith(l, "# kind: ")) {
            twice = std::exchange(haveKind, true);
            if (l.substr(8) == "folder")
                out.kind = ItemKind::Folder;
            else if (l.substr(8) == "file")
                out.kind = ItemKind::File;
            else
                fail(say("the kind is neither folder nor file", "вид не folder и не file"));
        } else if (startsWith(l, "# owner: ")) {
            twice = std::exchange(haveOwner, true);
            p.owner = id(l.substr(9));
        } else if (startsWith(l, "# group: ")) {
            twice = std::exchange(haveGroup, true);
            p.group = id(l.substr(9));
        } else if (startsWith(l, "# flags: ")) {
            twice = std::exchange(haveFlags, true);
            const std::string_view f = l.substr(9);
            if (f.size() != 3 || (f[0] != 's' && f[0] != '-') || (f[1] != 's' && f[1] != '-')
                || (f[2] != 't' && f[2] != '-'))
                fail(say("the flags are not three of s, s and t or -", "флаги не три знака из s, s и t или -"));
            special = (f[0] == 's' ? S_ISUID : 0u) | (f[1] == 's' ? S_ISGID : 0u) | (f[2] == 't' ? S_ISVTX : 0u);
        } else if (const std::string_view model = otherModelOf(l); !model.empty()) {
            // In the order they were written: the order of NFSv4 ACEs matters.
            const std::string_view entry = l.substr(model.size() + 4);
            if (entry.empty() || !asWritten(entry))
                fail(say("an entry of another ACL model that is empty or not printable: ",
                         "пустая или непечатаемая запись другой модели ACL: ")
                     + shown(line));
            otherBytes += entry.size();
            if (p.otherModels.size() >= kMostEntries || otherBytes > kMostOtherBytes)
                fail(say("more than ", "больше ") + std::to_string(kMostEntries)
                     + say(" entries of other ACL models, or more than 1 MiB of them, in one record",
                           " записей других моделей ACL или больше 1 МиБ их в одной записи"));
            p.otherModels.push_back(std::string(model) + " " + std::string(entry));
        } else {
            fail(say("an unknown comment line within a record", "неизвестная строка комментария в записи"));
        }
        if (twice)
            fail(say("a comment line given twice in one record", "строка комментария дважды в одной записи"));
    }
    // An NFSv4 ACL without ACEs has no other entry of its model.
    if (p.otherModels.size() > 1
        && std::find(p.otherModels.begin(), p.otherModels.end(), kNoNfs4Aces) != p.otherModels.end())
        failAt(out.line,
               say("the record says its NFSv4 ACL has no ACEs, and gives ACEs",
                   "в записи сказано, что у NFSv4 ACL нет ACE, и даны ACE"));
    if (!haveKind || !haveOwner || !haveGroup)
        failAt(out.line,
               say("the record lacks its \"# kind:\", \"# owner:\" or \"# group:\" line",
                   "в записи нет строки \"# kind:\", \"# owner:\" или \"# group:\""));

    return special;
}

// The record's entries up to its empty line, whole ACLs only.
void BaselineReader::readEntries(BaselineRecord& out)
{
    std::string& line = lineText_;
    Permissions& p = out.permissions;
    const auto id = [&](std::string_view text) { return numericId(text); };
    // Entries: "[default:]tag:qualifier:rwx", long forms with numeric ids.
    std::set<std::pair<int, std::uint32_t>> seen; // (tag, default or not; id): each once
    for (;;) {
        std::string_view l(line);
        const bool isDefault = startsWith(l, "default:");
        if (isDefault)
            l.remove_prefix(8);
        const std::size_t c1 = l.find(':');
        const std::size_t c2 = c1 == std::string_view::npos ? c1 : l.find(':', c1 + 1);
        if (c2 == std::string_view::npos || l.size() != c2 + 4)
            fail(say("not an ACL entry: ", "не запись ACL: ") + shown(line));
        const std::string_view tag = l.substr(0, c1), qualifier = l.substr(c1 + 1, c2 - c1 - 1),
                               perm = l.substr(c2 + 1);
        AclEntry e {AclTag::Other, 0, 0};
        if (tag == "user")
            e.tag = qualifier.empty() ? AclTag::UserObj : AclTag::User;
        else if (tag == "group")
            e.tag = qualifier.empty() ? AclTag::GroupObj : AclTag::Group;
        else if (tag == "mask" && qualifier.empty())
            e.tag = AclTag::Mask;
        else if (tag == "other" && qualifier.empty())
            e.tag = AclTag::Other;
        else
            fail(say("not an ACL entry: ", "не запись ACL: ") + shown(line));
        if (e.tag == AclTag::User || e.tag == AclTag::Group)
            e.id = id(qualifier);
        if ((perm[0] != 'r' && perm[0] != '-') || (perm[1] != 'w' && perm[1] != '-')
            || (perm[2] != 'x' && perm[2] != '-'))
            fail(say("the rights are not three of r, w and x or -: ", "права не три знака из r, w и x или -: ")
                 + shown(line));
        e.perm = static_cast<std::uint8_t>((perm[0] == 'r' ? 4 : 0) | (perm[1] == 'w' ? 2 : 0)
                                           | (perm[2] == 'x' ? 1 : 0));
        Acl& acl = isDefault ? p.defaults : p.access;
        if (acl.size() >= kMostEntries) // the kernel keeps far fewer: never a real record
            fail(say("more than ", "больше ") + std::to_string(kMostEntries)
                 + say(" entries in one ACL", " записей в одном ACL"));
        if (!seen.insert({static_cast<int>(e.tag) + (isDefault ? 8 : 0), e.id}).second)
            fail(say("an ACL entry given twice: ", "запись ACL дважды: ") + shown(line));
        acl.push_back(e);
        if (!readLine(line))
            fail(say("cut short: the file ends within the record of line ",
                     "обрезан: файл кончается внутри записи строки ")
                 + std::to_string(out.line));
        if (line.empty())
            break;
    }
    // Whole ACLs only: the owner's, the owning group's and the others'
    // entries, and a mask where there are named entries.
    const auto whole = [](const Acl& acl) {
        bool user = false, group = false, other = false, mask = false, named = false;
        for (const AclEntry& e : acl) {
            user |= e.tag == AclTag::UserObj;
            group |= e.tag == AclTag::GroupObj;
            other |= e.tag == AclTag::Other;
            mask |= e.tag == AclTag::Mask;
            named |= e.tag == AclTag::User || e.tag == AclTag::Group;
        }
        return user && group && other && (mask || !named);
    };
    if (!whole(p.access) || (!p.defaults.empty() && !whole(p.defaults)))
        failAt(out.line,
               say("the record's ACL is not whole (owner, owning group, other, and a mask with named entries)",
                   "ACL записи неполон (владелец, группа-владелец, остальные и маска при именованных записях)"));
    if (out.kind == ItemKind::File && !p.defaults.empty())
        failAt(out.line, say("a file's record with a default ACL", "запись файла с ACL по умолчанию"));
    sortAcl(p.access);
    sortAcl(p.defaults);
}

bool BaselineReader::next(BaselineRecord& out)
{
    if (!recordStart())
        return false;
    const std::string& line = lineText_;
    if (!startsWith(line, "# file: "))
        fail(say("a record does not begin with \"# file: PATH\"", "запись не начинается с \"# file: PATH\""));
    out.line = line_;
    if (!unescapeRestorePath(std::string_view(line).substr(8), out.rawPath) || out.rawPath.empty()
        || out.rawPath[0] != '/')
        fail(say("the path is not an absolute path as getfacl writes one", "путь не полный, как его пишет getfacl"));
    if (!normalPath(out.rawPath))
        fail(say("the path is not in its plain form (\"//\", \".\" or \"..\" in it, a slash or a NUL at its end): ",
                 "путь не в простой форме (в нём \"//\", \".\" или \"..\", косая черта или NUL в конце): ")
             + shown(out.rawPath));
    Permissions& p = out.permissions;
    p.owner = p.group = p.mode = 0;
    p.access.clear(); // keeping their room for the next record
    p.defaults.clear();
    p.otherModels.clear();
    const std::uint32_t special = readComments(out);
    readEntries(out);
    p.mode = special | permissionBits(p.access);
    ++(out.kind == ItemKind::File ? files_ : folders_);
    // Each kind's count is checked at the end: a record of the wrong kind
    // is told by its place in the order first.
    if (folders_ + files_ > head_.folders + std::max(head_.files, 0L) || (head_.files < 0 && files_ > 0))
        failAt(out.line, say("more records than its head announces", "записей больше, чем объявлено в начале"));
    return true;
}

} // namespace gw
