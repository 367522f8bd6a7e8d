// The window's inventory of who can do what: the whole check as
// grantwise-check --who runs it, on a thread of its own (runItemCheck), with
// acl_who.txt in the working folder.

#include "engine/paced/CheckEngine.h"
#include "platform/WorkingFolder.h"

#include <QScopeGuard>

namespace gw {

QByteArray CheckEngine::whoPath() const
{
    return WorkingFolder::whoFile(state_.WinDir);
}

bool CheckEngine::whoHasAccess(const Principal& who)
{
    // Refused before the check: the page and the reports of the last check stay as they are.
    if (selectedPath_.isEmpty() || !ensureWorkingFolder())
        return false;
    showProgressPage();
    if (closed())
        return false;
    who_ = who;
    const auto done = qScopeGuard([this] { who_.reset(); }); // the next check asks about no one
    runItemCheck();
    return !closed() && lastWasWho();
}

} // namespace gw
