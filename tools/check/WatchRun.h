#pragma once
// grantwise-check --watch: after the check, the watch (TreeWatch) until
// SIGINT, SIGTERM or SIGHUP, its lines on standard output (JSON Lines with
// --json) or, when systemd started it, in the journal with fields of their own.

#include "CommandLine.h"
#include "engine/watch/TreeWatch.h"

#include <memory>

namespace gwcheck {

// The watch of the check `cl` asks for, listening already: started before
// the check, so that nothing changed during it is missed. Null, after
// saying why (exit status in `status`), when the tree cannot be watched.
std::unique_ptr<gw::TreeWatch> startWatch(const CommandLine& cl, int& status);
// Watches until a signal: 0 after a clean stop, 2 when the watch failed.
int keepWatching(gw::TreeWatch& watch, const CommandLine& cl);

} // namespace gwcheck
