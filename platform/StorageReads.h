#pragma once

#include <cstdint>
#include <optional>

namespace gw {

// What this process has had read from storage so far, in bytes (not what
// came from the page cache): "read_bytes" of /proc/self/io. None where the
// kernel does not count it.
std::optional<std::uint64_t> bytesReadFromStorage();

} // namespace gw
