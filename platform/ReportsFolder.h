#pragma once
// The folder a run of the command-line check writes its reports into.
//
// It is opened once, without following a link in its last component, and
// must belong to the caller and be writable by nobody else; every report is
// then written through that descriptor, so a link planted later cannot send
// the reports elsewhere. The run holds an exclusive lock on it while the
// folder is open, so two runs never write into one folder at once. Reports
// are replaced as a set: the folder never holds reports of two runs side by
// side. Nothing here shows a message.

#include "platform/FolderTree.h"
#include "platform/SystemErrorText.h"

#include <QByteArray>
#include <QByteArrayView>

#include <string>
#include <vector>

namespace gw {

class ReportsFolder {
public:
    enum class Outcome {
        Opened,
        Failed, // a system call failed; error() says why
        SymbolicLink, // the folder's own name is a symbolic link
        NotOwned, // it belongs to another user
        GroupWritable,
        OthersWritable,
        InUse, // another run holds its lock
        UntrustedPath, // a folder or link on the way to it may be changed by another user
    };

    ReportsFolder() = default;
    // Closes the folder, which ends the lock. A private folder this run made
    // is removed when nothing was written in it.
    ~ReportsFolder();
    ReportsFolder(const ReportsFolder&) = delete;
    ReportsFolder& operator=(const ReportsFolder&) = delete;

    // Makes `path` and its missing parents (mode 0700) when it does not exist,
    // then opens, checks and locks it.
    [[nodiscard]] Outcome open(const QByteArray& path);
    // What open() would say of `path` now, without making, keeping or
    // locking anything beyond this call. A folder that does not exist yet is
    // judged by the folders on its way and by the one it would be made in,
    // which must be a folder the caller may write in.
    [[nodiscard]] Outcome check(const QByteArray& path);
    // Makes a new private folder under the temporary folder (see
    // WorkingFolder), then opens, checks and locks it. A signal that ends the
    // run removes it while it is empty (see InterruptCleanup).
    [[nodiscard]] Outcome makePrivate();

    int error() const { return error_; } // errno of the failure
    // Why the folder was not opened: "reports folder DIR is in use by another
    // check", "cannot write the reports in DIR: it is a symbolic link" ...
    // `what` names what was to be written there.
    // `verb` says what was to be done, "cannot write " unless given (in English).
    std::string refusal(Outcome outcome, const std::string& what = "the reports", Language language = Language::English,
                        const char* verb = nullptr) const;
    const QByteArray& path() const { return path_; }
    bool isOpen() const { return fd_ >= 0; }
    FolderIdentity identity() const { return identity_; }
    // The folder as the check leaves it out, with the folder that holds it.
    ExcludedFolder excluded() const { return ExcludedFolder {identity_, parent_}; }

    // A piece of a report: bytes, or the first `size` bytes of the file open
    // as `source` (copied by the kernel, never held in memory whole). A
    // piece that could not be made carries its errno as `error`: the
    // replacement then fails with it.
    struct Part {
        Part(QByteArrayView text)
            : bytes(text)
        {
        }
        Part(const QByteArray& text)
            : bytes(text)
        {
        }
        // `disposable`: the descriptor is the report's to close once it is
        // copied (its text is needed no more).
        static Part copyOf(int source, qint64 size, int error = 0, bool disposable = false)
        {
            Part p {QByteArrayView()};
            p.source = source;
            p.size = size;
            p.error = error;
            p.disposable = disposable;
            return p;
        }
        QByteArrayView bytes;
        int source = -1;
        qint64 size = 0;
        int error = 0;
        bool disposable = false;
        // Closes a disposable part's descriptor (on the closing thread, see
        // closeInBackground); nothing for any other part.
        void dispose() const;
    };

    struct Report {
        QByteArray name; // a plain file name, e.g. "acl.txt"
        std::vector<Part> parts;
    };

    // A file without a name in this folder, for text to be copied into a
    // report later (see Part::copyOf). It is gone once the descriptor is
    // closed, or when a signal ends the run. Returns the descriptor (read
    // and write), or -1 with errno set.
    int unnamedFile();

    // Writes every report to a temporary file (synced to disk), then removes
    // the earlier reports of these names and renames the new ones in, mode
    // 0600. Only a regular file is ever replaced: a report's name taken by
    // anything else (a device, a FIFO, a socket, a symbolic link) fails with
    // EEXIST and occupant() says what it is; a folder, with EISDIR. When
    // anything fails, neither the new nor the earlier reports are left (what
    // is not a regular file stays), `failedName` is the report concerned,
    // and the errno value is returned; otherwise 0. The descriptors of
    // disposable parts are closed, whatever happens, each as soon as it is
    // copied: the earlier reports' and those parts' room is freed while the
    // run goes on (see closeInBackground).
    //
    // A temporary file is named after its report, a dot and six letters or
    // digits ("acl.txt.Xq3vB9"), and has mode 0200 while it is written.
    // Those that a run killed on the way left behind are removed first: the
    // lock says no other run is writing them. A file is taken for one only
    // when it is a regular file of the caller's with that name, mode 0200
    // and no other link, so a file of the user's is never removed.
    [[nodiscard]] int replace(const std::vector<Report>& reports, QByteArray& failedName);
    // Writes one file that holds what the user accepted or will apply (a
    // baseline, a fix file) as replace() writes a report, but keeps the
    // earlier file whenever anything fails: it is replaced, in one rename,
    // only by a new file written whole and synced to disk. Returns 0 or an
    // errno value; what is not a regular file is never replaced, as there.
    [[nodiscard]] int replaceKeeping(const Report& report);
    // Disposes of the parts of reports[from..]: for reports that will never
    // be handed to replace(), or that it did not reach.
    static void dispose(const std::vector<Report>& reports, std::size_t from = 0);
    // Removes the report `name` of an earlier run, when it is a regular file:
    // a folder holds the reports of one run only.
    void remove(const char* name);
    // The type bits (S_IFIFO ...) of what kept replace() from writing a
    // report, when it returned EEXIST for a file that is not a regular one;
    // 0 otherwise.
    unsigned occupant() const { return occupant_; }
    // The reason replace() returned `error`, in words: the errno text, or
    // what is in the report's place ("it is a FIFO, not a regular file").
    std::string failureText(int error, Language language = Language::English) const;

private:
    Outcome openMade(const QByteArray& path);
    // 0 when `name` is free or a regular file; EISDIR for a folder; EEXIST
    // (and occupant_ set) for anything else; another errno value when it
    // cannot be looked at.
    int occupiedBy(const QByteArray& name);

    QByteArray path_;
    int fd_ = -1;
    int error_ = 0;
    bool made_ = false; // a private folder made by this run
    QByteArray untrusted_; // the folder or link on the way that another user may change
    Outcome checkWay(const QByteArray& path);
    // What open() and check() first look at: the way to `path` and its last
    // name. Opened when it is a folder (`exists`) or is not there yet; `bare`
    // is the path without trailing slashes.
    Outcome lookAt(const QByteArray& path, QByteArray& bare, bool& exists);
    FolderIdentity identity_ {};
    unsigned occupant_ = 0;
    FolderIdentity parent_ {};
};

// Why a file of the type in `mode` (as lstat gives it) is not replaced by a
// report or a fix file: "it is a FIFO, not a regular file" and the like.
std::string notRegularText(unsigned mode, Language language = Language::English);

} // namespace gw
