#pragma once
// grantwise-check's command line: its options, read into one structure,
// and the checks they ask for, refused where they cannot run together.

#include "engine/run/BatchCheck.h"
#include "platform/PrintablePath.h"
#include "platform/PrintableText.h"

#include <QByteArray>
#include <QByteArrayView>

#include <string>

namespace gwcheck {

struct CommandLine {
    gw::BatchOptions options; // the folder, absolute; the checks and their scope
    QByteArray folder; // as given
    QByteArray reportsDir; // --reports; empty: a private folder
    QByteArray fixFile; // --fix-file, as given
    QByteArray baselineFile, saveBaselineFile; // --baseline, --save-baseline: absolute
    QByteArray htmlFile, csvFile; // --html, --csv, as given
    bool quiet = false;
    bool json = false;
    bool watch = false; // --watch: after the check, judge every change as it happens
};

extern const char kUsage[];

// Reads the options into `cl`. Returns -1 when the run goes on, or the exit
// status when it ends here: after --help or --version (0), or an error
// (2, said on standard error).
int parseCommandLine(int argc, char** argv, CommandLine& cl);

// Writes "grantwise-check: MESSAGE" (and the usage line) to standard error;
// returns 2.
int fail(const std::string& message, bool usage = false);
void printError(const std::string& text);
// Writes to standard output. Returns 0 or an errno value.
int writeOut(QByteArrayView bytes);
int outputFailed(int error); // says why standard output failed; returns 2

} // namespace gwcheck
