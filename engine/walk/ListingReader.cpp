#include "engine/walk/ListingReader.h"

#include "engine/rules/InheritanceReference.h"
#include "engine/walk/ListingPool.h"
#include "platform/DirectoryOpen.h"
#include "platform/PrintablePath.h"

#include <cstring>
#include <unistd.h>

namespace gw {

ListingReader::ListingReader(int jobs, Take take, FileCheck fileCheck)
    : take_(std::move(take))
    , fileCheck_(std::move(fileCheck))
    , jobs_(jobs > 0 ? jobs : defaultWalkJobs())
    // One for every walker thread, and for the walk's own.
    , rooms_(static_cast<std::size_t>(jobs_) + 1)
    , pool_(std::make_unique<ListingPool>(jobs_ + 1))
{
}

ListingReader::~ListingReader() = default;

int ListingReader::completed() const
{
    int sum = 0;
    for (const Room& room : rooms_)
        sum += room.completed.load(std::memory_order_relaxed);
    return sum;
}

WalkHooks ListingReader::hooks()
{
    WalkHooks hooks;
    hooks.jobs = jobs_;
    // Files matched by their paths need their folder's path relative to the top.
    hooks.relative = fileCheck_.files && !fileCheck_.scope.excludePatterns.empty();
    hooks.entries = fileCheck_.files; // the files as the walk's listing found them
    hooks.read = [this](const ReachedFolder& folder) { return read(folder); };
    hooks.take = [this](FolderTree::NodeId, std::unique_ptr<FolderReading> reading) {
        take_(static_cast<Listing&>(*reading));
        pool_->giveBack(std::unique_ptr<Listing>(static_cast<Listing*>(reading.release())));
    };
    return hooks;
}

std::unique_ptr<FolderReading> ListingReader::read(const ReachedFolder& folder)
{
    std::unique_ptr<Listing> l = pool_->take(folder.worker);
    l->id = folder.id;
    l->parent = folder.parent;
    appendPrintable(l->name, folder.name);
    l->relative.assign(folder.relative);
    Room& room = rooms_[static_cast<std::size_t>(folder.worker)];
    int error = readPermissions(folder.fd, l->permissions, &l->reason, &room.trust, folder.status);
    if (!error) {
        if (room.valid && room.permissions == l->permissions) {
            l->entries.assign(room.entries);
        } else {
            error = appendListing(l->entries, std::string_view(), l->permissions, room.names);
            room.valid = error == 0;
            if (room.valid) {
                room.permissions = l->permissions;
                room.entries = l->entries;
            }
        }
    }
    l->read = error == 0;
    if (fileCheck_.files) {
        // Opened for reading, with its device known: whether its attribute
        // lists name its files' ACLs is known for the device already.
        std::optional<bool> namesListAcls;
        if (folder.status)
            namesListAcls = room.trust.namesListAcls(folder.fd, folder.status->st_dev);
        readFiles(*l, folder.fd, l->relative, folder.entries, namesListAcls, folder.notEntered);
    }
    if (error && l->reason.empty()) {
        const char* text = ::strerrordesc_np(error); // English, as the reports are
        l->reason = text ? text : "error " + std::to_string(error);
    }
    room.completed.fetch_add(1, std::memory_order_relaxed);
    return l;
}

void ListingReader::readFiles(Listing& l, int fd, std::string_view relative, const FolderEntries* entries,
                              std::optional<bool> namesListAcls, bool notEntered) const
{
    if (!namesListAcls && isPathOnly(fd)) {
        // A folder that cannot be read: its subfolders are not listed
        // either, and the walk says so. One of the kernel's own file systems
        // or an automount point: nothing in it is checked.
        l.files.listed = notEntered;
        return;
    }
    const Permissions* folder = fileCheck_.inheritance ? (l.read ? &l.permissions : nullptr)
                                                       : (fileCheck_.top ? &*fileCheck_.top : nullptr);
    std::optional<FolderGift> gift;
    if (folder && !fileCheck_.keepAll)
        gift.emplace(*folder, ItemKind::File, fileCheck_.umask, fileCheck_.compareGroup);
    const auto keep = [&gift](const Permissions& p) { return !gift || !gift->carries(p); };
    const bool settled = gift && gift->settledByAccessAcl();
    l.files = entries
        ? readFolderFiles(fd, *entries, fileCheck_.scope, std::string(relative), keep, namesListAcls, settled)
        : readFolderFiles(fd, fileCheck_.scope, std::string(relative), keep, settled);
}

} // namespace gw
