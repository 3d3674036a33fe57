#include "app/window_rules.h"

namespace aurex {

std::uint8_t RadioTypeCodeFor(std::uint8_t radioModel, std::int8_t series, std::uint8_t kindFlag)
{
    if (radioModel == 0) {
        if (series == 4) {
            return 6;
        }
        return series == 6 ? 0 : 4;
    }
    if (kindFlag == 0) {
        return 1;
    }
    if (series == 4) {
        return 7;
    }
    return series == 6 ? 8 : 5;
}

std::uint8_t RadioTypeCodeOfRadio(std::uint8_t radioModel, std::uint8_t major, std::uint8_t minor)
{
    if (radioModel == 0) {
        if (major == 4 || major == 7) {
            return 6;
        }
        return major == 6 ? 0 : 4;
    }
    if (major == 4) {
        return 7;
    }
    if (major == 6) {
        return 8;
    }
    if (major >= 2 || (major == 1 && minor >= 9)) {
        return 5;
    }
    return 1; // major 1 with minor 8 or below, or major 0
}

std::string ProgramBaseName(std::string_view programPath)
{
    const auto slash = programPath.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? programPath : programPath.substr(slash + 1);
    const auto dot = name.find('.');
    if (dot != std::string_view::npos) {
        name = name.substr(0, dot);
    }
    return std::string(name);
}

std::string ReleaseTextFor(std::string_view nameCaption)
{
    // Trim blanks first, as the label caption may carry them.
    std::size_t begin = 0;
    std::size_t end = nameCaption.size();
    while (begin < end && static_cast<unsigned char>(nameCaption[begin]) <= ' ') {
        ++begin;
    }
    while (end > begin && static_cast<unsigned char>(nameCaption[end - 1]) <= ' ') {
        --end;
    }
    std::string text(nameCaption.substr(begin, end - begin));

    // "Release_3_0_9": the underscore with "Release" ending three places before it separates
    // major and minor and becomes a full stop; every other underscore becomes a space.
    constexpr std::string_view kRelease = "Release";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '_') {
            continue;
        }
        const bool afterRelease =
            i >= kRelease.size() + 2 &&
            std::string_view(text).substr(i - kRelease.size() - 2, kRelease.size()) == kRelease;
        text[i] = afterRelease ? '.' : ' ';
    }
    const auto at = text.find("Release ");
    if (at == std::string::npos) {
        return "N/A";
    }
    return text.substr(at + 8);
}

PortItemLook PortItemLookFor(int availability, bool listEnabled, bool selected)
{
    if (availability == kPortAvailable && listEnabled) {
        return selected ? PortItemLook{ItemText::Highlighted, ItemBackground::Highlight}
                        : PortItemLook{ItemText::Normal, ItemBackground::Normal};
    }
    return PortItemLook{ItemText::Grey, selected ? ItemBackground::White : ItemBackground::Normal};
}

int PortSelectionAfterChange(const std::array<int, kPortCount>& availability, int index)
{
    if (index >= 0 && index < kPortCount && availability[static_cast<std::size_t>(index)] == kPortAvailable) {
        return index;
    }
    for (int p = 0; p < kPortCount; ++p) {
        if (availability[static_cast<std::size_t>(p)] == kPortAvailable) {
            return p;
        }
    }
    return index;
}

std::string PortUnavailableReason(PortOpenResult found)
{
    switch (found) {
    case PortOpenResult::Opened:
        return "";
    case PortOpenResult::NotPresent:
        return "no device";
    case PortOpenResult::InUse:
        return "in use by another program";
    case PortOpenResult::PermissionDenied:
        return "permission denied";
    case PortOpenResult::Failed:
        break;
    }
    return "cannot be opened";
}

} // namespace aurex
