#pragma once
// Closing a descriptor can take long: closing the last one of a large file
// that no longer has a name frees its pages and its blocks. Such descriptors
// are closed here, on a thread of their own, while the run goes on; the
// process waits for them before it ends.

namespace gw {

// Closes `fd` soon, on the closing thread (at once on this one when that
// thread cannot be started).
void closeInBackground(int fd);

} // namespace gw
