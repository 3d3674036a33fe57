#include "app/line_tap.h"

#include <algorithm>

namespace aurex {

namespace {

void Keep(std::vector<std::uint8_t>& kept, std::span<const std::uint8_t> bytes)
{
    const std::size_t room = LineTap::kKeptBytes - std::min(kept.size(), LineTap::kKeptBytes);
    kept.insert(kept.end(), bytes.begin(),
                bytes.begin() + static_cast<std::ptrdiff_t>(std::min(room, bytes.size())));
}

} // namespace

LineTap::LineTap(std::unique_ptr<LinkTransport> line) : line_(std::move(line)) {}

void LineTap::Clear()
{
    sent_.clear();
    heard_.clear();
}

bool LineTap::SentBytesHeardBack() const
{
    return !sent_.empty() &&
           std::search(heard_.begin(), heard_.end(), sent_.begin(), sent_.end()) != heard_.end();
}

bool LineTap::TakeByte(std::uint8_t& byte)
{
    if (!line_->TakeByte(byte)) {
        return false;
    }
    Keep(heard_, {&byte, 1});
    return true;
}

int LineTap::Send(std::span<const std::uint8_t> bytes, const bool& active)
{
    const int sent = line_->Send(bytes, active);
    if (sent > 0) {
        Keep(sent_, bytes.first(std::min(bytes.size(), static_cast<std::size_t>(sent))));
    }
    return sent;
}

} // namespace aurex
