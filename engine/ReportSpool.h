#pragma once
// Text for a report, written as it comes to a file without a name in the
// reports folder, in large pieces: only the piece being filled is in memory.

#include "platform/ReportsFolder.h"
#include "platform/WorkingFile.h"

#include <QByteArrayView>

#include <cerrno>
#include <string>
#include <unistd.h>

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
