#include "platform/WinbindIds.h"

#include "platform/ProcessStarter.h"

#include <mutex>
#include <optional>
#include <unordered_map>

namespace gw {
namespace {

constexpr int kTimeoutMs = 3000;

// A SID as wbinfo takes it: "S-1-" and digits, "-" and "x" only.
bool plainSid(const std::string& sid)
{
    return sid.size() > 4 && sid.size() < 200 && sid.compare(0, 4, "S-1-") == 0
        && sid.find_first_not_of("S0123456789-x", 1) == std::string::npos;
}

// wbinfo's answer, its line without the line end; empty when it fails.
std::string ask(const char* option, const std::string& sid)
{
    std::string out;
    if (runForOutput("wbinfo", {option, sid}, kTimeoutMs, out) != 0)
        return {};
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out.find('\n') == std::string::npos ? out : std::string();
}

std::optional<std::uint32_t> number(const std::string& text)
{
    if (text.empty() || text.size() > 10 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const unsigned long long n = std::stoull(text);
    return n < 0xFFFFFFFFull ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(n)) : std::nullopt;
}

class Winbind : public SidLookup {
public:
    SidOwner ownerOf(const std::string& sid) override
    {
        std::lock_guard lock(mutex_);
        if (const auto it = owners_.find(sid); it != owners_.end())
            return it->second;
        SidOwner owner;
        if (answers() && plainSid(sid)) {
            if (const auto uid = number(ask("--sid-to-uid", sid)))
                owner = {SidOwner::Kind::User, *uid};
            else if (const auto gid = number(ask("--sid-to-gid", sid)))
                owner = {SidOwner::Kind::Group, *gid};
        }
        return owners_.emplace(sid, owner).first->second;
    }

    std::string nameOf(const std::string& sid) override
    {
        std::lock_guard lock(mutex_);
        if (const auto it = names_.find(sid); it != names_.end())
            return it->second;
        std::string name;
        if (answers() && plainSid(sid)) {
            // "DOMAIN\name TYPE": the name without its type's number.
            name = ask("--sid-to-name", sid);
            if (const std::size_t blank = name.rfind(' '); blank != std::string::npos)
                name.resize(blank);
        }
        return names_.emplace(sid, name).first->second;
    }

private:
    bool answers()
    {
        if (!answers_) {
            std::string out;
            answers_ = runForOutput("wbinfo", {"--ping"}, kTimeoutMs, out) == 0;
        }
        return *answers_;
    }

    std::mutex mutex_;
    std::optional<bool> answers_;
    std::unordered_map<std::string, SidOwner> owners_;
    std::unordered_map<std::string, std::string> names_;
};

} // namespace

SidLookup& winbindLookup()
{
    static Winbind winbind;
    return winbind;
}

} // namespace gw
