#pragma once

#include "platform/FolderTree.h"

#include <string>
#include <string_view>
#include <vector>

namespace gw {

// The folders in which an automount point (an autofs mount) stands, from
// this process's mount table. Opening an automount point mounts what it
// stands for, so a subfolder of one of these is looked at before it is
// opened; any other subfolder is opened at once, and a mount point found
// that way is known by its device after the opening.
class AutomountHolders {
public:
    // Reads /proc/self/mountinfo now. Without it, or when the folder holding
    // an automount point cannot be looked at, every folder may hold one.
    AutomountHolders();
    // From a mount table's text, as /proc/self/mountinfo gives it.
    explicit AutomountHolders(std::string_view mountinfo);

    bool mayHold(FolderIdentity folder) const;

private:
    void read(std::string_view mountinfo);

    bool known_ = false;
    std::vector<FolderIdentity> holders_;
};

} // namespace gw
