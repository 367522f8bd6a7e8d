#pragma once
// How long the check would take read at full speed, in-process, on this
// machine: measured, not derived from the pacing.
//
// After the scan, the permissions of a sample of the scanned folders (at
// most kSample, spread over the whole tree, within about kBudget) are read
// as the walk reads them; the time a folder took, times the folders (and,
// with files, the files and other entries too), plus the scan's own time
// for the walk, is the estimate.

#include "platform/FolderTree.h"

#include <chrono>

namespace gw {

struct FullSpeedRate {
    double perItemSeconds = 0; // reading one item's permissions
    double walkSeconds = 0; // listing the tree, as the scan did
    int sampled = 0; // folders read for the measure
};

class FullSpeedEstimate {
public:
    static constexpr int kSample = 256;
    static constexpr std::chrono::milliseconds kBudget {60};

    // Measures the rate on `tree`, scanned in `scanSeconds`.
    static FullSpeedRate measure(const FolderTree& tree, double scanSeconds);
    // Whole seconds for the check of `tree` at that rate, at least 1.
    static long long seconds(const FullSpeedRate& rate, const FolderTree& tree, bool files);
};

} // namespace gw
