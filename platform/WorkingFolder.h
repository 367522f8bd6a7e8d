#pragma once
// The private working folder of one run of the program.
//
// Made once per run with mkdtemp under the system's temporary folder
// (TMPDIR, else /tmp), mode 0700, so no other user can plant a link among
// its files and two windows open at once never share their working files.

#include <QByteArray>

namespace gw {

class WorkingFolder {
public:
    // Makes a new private folder. Returns its raw path, or an empty text with
    // errno set when none could be made.
    static QByteArray create();
    // Where create() makes it: TMPDIR, else /tmp.
    static QByteArray base();

    // The working files of a check, inside `folder`: the dump that becomes
    // the full report, the reference listing, the mismatch report and the
    // differences report.
    static constexpr char kFullReportName[] = "acl.txt";
    static constexpr char kReferenceName[] = "acl_1.txt";
    static constexpr char kMismatchName[] = "acl_def.txt";
    // acl.txt: in the window first the dump the listings are appended to,
    // which the analysis then replaces with the full detail report.
    static QByteArray fullReportFile(const QByteArray& folder) { return folder + '/' + kFullReportName; }
    static QByteArray referenceFile(const QByteArray& folder) { return folder + '/' + kReferenceName; }
    static QByteArray mismatchFile(const QByteArray& folder) { return folder + '/' + kMismatchName; }
    static constexpr char kDifferencesName[] = "acl_diff.txt";
    static QByteArray differencesFile(const QByteArray& folder) { return folder + '/' + kDifferencesName; }
    static constexpr char kInheritanceName[] = "acl_inherit.txt";
    static QByteArray inheritanceFile(const QByteArray& folder) { return folder + '/' + kInheritanceName; }
    // What one user can do where (grantwise-check --who).
    static constexpr char kWhoName[] = "acl_who.txt";
    static QByteArray whoFile(const QByteArray& folder) { return folder + '/' + kWhoName; }
    static constexpr char kDriftName[] = "acl_drift.txt";
    static QByteArray driftFile(const QByteArray& folder) { return folder + '/' + kDriftName; }

    // Every report and working file a check can write in its folder, of
    // every kind of check: no other file this program writes may take one
    // of these names there.
    static constexpr const char* kReportNames[] = {kFullReportName,  kReferenceName, kMismatchName, kDifferencesName,
                                                   kInheritanceName, kWhoName,       kDriftName};
    static bool isReportName(const QByteArray& name)
    {
        for (const char* report : kReportNames) {
            if (name == report)
                return true;
        }
        return false;
    }

    // Deletes the working files, ignoring failures, then removes the
    // folder itself if it is empty.
    static void remove(const QByteArray& folder);
};

} // namespace gw
