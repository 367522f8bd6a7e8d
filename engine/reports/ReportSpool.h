#pragma once
// Text for a report, written as it comes to a file without a name in the
// reports folder, in large pieces: only the piece being filled is in memory.

#include "platform/ReportsFolder.h"
#include "platform/WorkingFile.h"

#include <QByteArrayView>

#include <cerrno>
#include <string>
#include <unistd.h>
#include <utility>

namespace gw {

class Spool {
public:
    explicit Spool(ReportsFolder& folder)
        : fd_(folder.unnamedFile())
        , error_(fd_ < 0 ? errno : 0)
    {
    }
    ~Spool()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Spool(const Spool&) = delete;
    Spool& operator=(const Spool&) = delete;

    void append(QByteArrayView text)
    {
        size_ += text.size();
        buffer_.append(text.data(), static_cast<std::size_t>(text.size()));
        if (buffer_.size() >= kPiece)
            flush();
    }
    // The whole text, to be copied after a report's head.
    ReportsFolder::Part part()
    {
        flush();
        return ReportsFolder::Part::copyOf(fd_, size_, error_);
    }
    // The same, for the one report that takes it: the report closes the
    // file once it is copied (ReportsFolder::replace), and the spool is done.
    ReportsFolder::Part lastPart()
    {
        flush();
        const int fd = std::exchange(fd_, -1);
        return ReportsFolder::Part::copyOf(fd, size_, fd < 0 && error_ == 0 ? EBADF : error_, true);
    }

private:
    static constexpr std::size_t kPiece = 1 << 20;
    void flush()
    {
        if (error_ == 0 && !buffer_.empty())
            error_ = writeAll(fd_, QByteArrayView(buffer_.data(), static_cast<qsizetype>(buffer_.size())));
        buffer_.clear();
    }
    int fd_;
    int error_;
    qint64 size_ = 0;
    std::string buffer_;
};

} // namespace gw
