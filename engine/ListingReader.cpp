#include "engine/ListingReader.h"

#include "engine/InheritanceReference.h"
#include "platform/DirectoryOpen.h"

#include <cstring>
#include <unistd.h>

namespace gw {
namespace {
// Listings go to the workers in batches, so that the threads rarely meet; a
// few batches wait at most, so descriptors and listings in flight stay few.
constexpr std::size_t kBatch = 64;
constexpr std::size_t kInFlight = 8;
} // namespace

ListingReader::ListingReader(int workers, Take take, FileCheck fileCheck)
    : take_(std::move(take))
    , fileCheck_(std::move(fileCheck))
    , current_(std::make_unique<Batch>())
{
    for (int i = 0; i < workers; ++i)
        workers_.emplace_back([this] { work(); });
}

ListingReader::~ListingReader()
{
    finish();
}

void ListingReader::add(FolderTree::NodeId id, FolderTree::NodeId parent, int fd, std::string name,
                        std::string relative)
{
    if (workers_.empty()) {
        Listing l;
        l.id = id;
        l.parent = parent;
        l.fd = fd;
        l.name = std::move(name);
        l.relative = std::move(relative);
        read(l, names_);
        take_(l);
        return;
    }
    Listing& l = current_->listings.emplace_back();
    l.id = id;
    l.parent = parent;
    l.fd = fd;
    l.name = std::move(name);
    l.relative = std::move(relative);
    if (current_->listings.size() >= kBatch)
        handOverBatch();
}

void ListingReader::handOverBatch()
{
    std::shared_ptr<Batch> batch(std::move(current_));
    current_ = std::make_unique<Batch>();
    std::unique_lock lock(mutex_);
    room_.wait(lock, [this] { return order_.size() < kInFlight; });
    added_ += batch->listings.size();
    order_.push_back(batch);
    queue_.push_back(std::move(batch));
    wake_.notify_one();
}

void ListingReader::finish(const std::function<void()>& waiting)
{
    if (workers_.empty())
        return;
    if (!current_->listings.empty())
        handOverBatch();
    std::unique_lock lock(mutex_);
    done_ = true;
    wake_.notify_all();
    while (!taken_.wait_for(lock, std::chrono::milliseconds(100), [this] { return takenCount_ == added_; })) {
        if (waiting) {
            lock.unlock();
            waiting();
            lock.lock();
        }
    }
    lock.unlock();
    for (std::thread& t : workers_)
        t.join();
    workers_.clear();
}

void ListingReader::read(Listing& l, PrincipalNames& names)
{
    if (l.fd >= 0) {
        int error = readPermissions(l.fd, l.permissions, &l.reason);
        if (!error)
            error = appendListing(l.entries, std::string_view(), l.permissions, names);
        l.read = error == 0;
        if (fileCheck_.files)
            readFiles(l);
        if (error && l.reason.empty()) {
            const char* text = ::strerrordesc_np(error); // English, as the reports are
            l.reason = text ? text : "error " + std::to_string(error);
        }
        ::close(l.fd);
        l.fd = -1;
    }
    completed_.fetch_add(1);
}

void ListingReader::readFiles(Listing& l) const
{
    if (isPathOnly(l.fd)) {
        l.files.listed = false; // its subfolders are not listed either: the walk says so
        return;
    }
    const Permissions* folder = fileCheck_.inheritance ? (l.read ? &l.permissions : nullptr)
                                                       : (fileCheck_.top ? &*fileCheck_.top : nullptr);
    std::optional<FolderGift> gift;
    if (folder && !fileCheck_.keepAll)
        gift.emplace(*folder, ItemKind::File, fileCheck_.umask, fileCheck_.compareGroup);
    l.files = readFolderFiles(l.fd, fileCheck_.scope, l.relative,
                              [&gift](const Permissions& p) { return !gift || !gift->carries(p); });
}

void ListingReader::work()
{
    PrincipalNames names;
    for (;;) {
        std::shared_ptr<Batch> batch;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return done_ || !queue_.empty(); });
            if (queue_.empty())
                return;
            batch = std::move(queue_.front());
            queue_.pop_front();
        }
        for (Listing& l : batch->listings)
            read(l, names);
        {
            std::lock_guard lock(mutex_);
            batch->done = true;
        }
        takeReady();
    }
}

// Takes the batches read at the front, in order. A worker that finds the
// front batch still being read leaves it to the worker reading it, which
// comes here when it is done.
void ListingReader::takeReady()
{
    std::lock_guard consumer(takeMutex_);
    for (;;) {
        std::shared_ptr<Batch> batch;
        {
            std::lock_guard lock(mutex_);
            if (order_.empty() || !order_.front()->done)
                return;
            batch = std::move(order_.front());
            order_.pop_front();
        }
        for (Listing& l : batch->listings)
            take_(l);
        std::lock_guard lock(mutex_);
        takenCount_ += batch->listings.size();
        room_.notify_one();
        if (takenCount_ == added_)
            taken_.notify_all();
    }
}

} // namespace gw
