#include "engine/paced/FullSpeedEstimate.h"

#include "platform/AclListing.h"
#include "platform/Permissions.h"

#include <algorithm>
#include <cmath>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

namespace gw {

FullSpeedRate FullSpeedEstimate::measure(const FolderTree& tree)
{
    using clock = std::chrono::steady_clock;
    FullSpeedRate rate;
    const int count = tree.count();
    if (count == 0)
        return rate;
    const int step = std::max(1, count / kSample);
    const auto start = clock::now();
    for (int i = 0; i < count && clock::now() - start < kBudget; i += step) {
        // Through its path, never a link: the sample only needs the cost.
        const int fd = ::open(tree.path(i).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat st { };
        Permissions p;
        if (::fstat(fd, &st) == 0)
            (void)readPermissions(fd, p, nullptr, nullptr, &st);
        ::close(fd);
        ++rate.sampled;
    }
    if (rate.sampled > 0)
        rate.perItemSeconds = std::chrono::duration<double>(clock::now() - start).count() / rate.sampled;
    return rate;
}

long long FullSpeedEstimate::seconds(const FullSpeedRate& rate, const FolderTree& tree, bool files)
{
    const double items = static_cast<double>(tree.count()) + (files ? static_cast<double>(tree.otherEntries()) : 0);
    // The walk reads on every processor at once.
    const double processors = std::max(1U, std::thread::hardware_concurrency());
    return std::max(1LL, static_cast<long long>(std::ceil(items * rate.perItemSeconds / processors)));
}

} // namespace gw
