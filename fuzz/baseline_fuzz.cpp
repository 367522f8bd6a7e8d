// Fuzzes reading a baseline, plain and gzip-compressed: any bytes as the
// file, read record by record to its end or to the first refusal. A refusal
// is a BaselineError; anything else (a crash, a hang, memory that grows with
// what the records do not hold) is a finding.

#include "engine/checks/baseline/BaselineFile.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace {

// A folder of our own, as the reader asks of a baseline's folder.
const std::string& folder()
{
    static const std::string path = [] {
        char name[] = "/tmp/baseline-fuzz-XXXXXX";
        if (!::mkdtemp(name))
            std::abort();
        return std::string(name);
    }();
    return path;
}

void readAll(const std::string& path)
{
    try {
        gw::BaselineReader reader(QByteArray::fromStdString(path));
        gw::BaselineRecord record;
        while (reader.next(record)) {
        }
    } catch (const gw::BaselineError&) {
    }
}

void writeFile(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0 || ::write(fd, data, size) != static_cast<ssize_t>(size) || ::close(fd) != 0)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // The same bytes as a plain file and as the name of a compressed one:
    // zlib reads plain text as it is, and a gzip stream as what it holds.
    const std::string plain = folder() + "/base.acl", packed = folder() + "/base.acl.gz";
    writeFile(plain, data, size);
    readAll(plain);
    writeFile(packed, data, size);
    readAll(packed);
    return 0;
}
