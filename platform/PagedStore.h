#pragma once
// Storage that grows a page at a time and never moves what it holds: a tree
// of a million folders is never held twice while it grows, nor in twice the
// room it needs, as a vector or a string that doubles would hold it.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace gw {

// An array of T in pages of 2^16 elements.
template <typename T> class PagedArray {
public:
    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    T& operator[](std::size_t i) { return pages_[i >> kPageBits][i & kMask]; }
    const T& operator[](std::size_t i) const { return pages_[i >> kPageBits][i & kMask]; }
    // Makes it `n` long; new elements are `fill`.
    void resize(std::size_t n, const T& fill)
    {
        while (pages_.size() << kPageBits < n)
            pages_.push_back(std::make_unique<T[]>(std::size_t(1) << kPageBits));
        for (std::size_t i = size_; i < n; ++i)
            (*this)[i] = fill;
        size_ = n;
    }
    void push_back(const T& value) { resize(size_ + 1, value); }
    void clear()
    {
        pages_.clear();
        size_ = 0;
    }

private:
    static constexpr unsigned kPageBits = 16;
    static constexpr std::size_t kMask = (std::size_t(1) << kPageBits) - 1;
    std::vector<std::unique_ptr<T[]>> pages_;
    std::size_t size_ = 0;
};

// Names, each followed by a NUL, in pages of 1 MiB; a name never spans two.
class PagedNames {
public:
    // Keeps `name` (shorter than a page); returns where it is kept.
    std::uint64_t add(std::string_view name)
    {
        if (pages_.empty() || used_ + name.size() + 1 > kPage) {
            pages_.push_back(std::unique_ptr<char[]>(new char[kPage]));
            used_ = 0;
        }
        const std::uint64_t at = (std::uint64_t(pages_.size() - 1) << kPageBits) | used_;
        char* to = pages_.back().get() + used_;
        name.copy(to, name.size());
        to[name.size()] = '\0';
        used_ += name.size() + 1;
        return at;
    }
    const char* at(std::uint64_t where) const { return pages_[where >> kPageBits].get() + (where & (kPage - 1)); }
    void clear()
    {
        pages_.clear();
        used_ = 0;
    }

private:
    static constexpr unsigned kPageBits = 20;
    static constexpr std::size_t kPage = std::size_t(1) << kPageBits;
    std::vector<std::unique_ptr<char[]>> pages_;
    std::size_t used_ = 0; // in the last page
};

} // namespace gw
