// aurex-image-set: writes a sample image set (blob files named as the program file holds them)
// and, when asked, the source that binds the set into an updater executable.

#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "image_set_generator.h"

namespace {

using aurex::imageset::BoundBlob;

void Usage()
{
    std::fputs("usage: aurex-image-set --preset NAME --out DIR [--seed N] [--radio-model N] [--kind-flag N]\n"
               "                       [--series N] [--upgrade-type N] [--tessaro TEXT] [--brevio TEXT]\n"
               "                       [--binding FILE --set-id ID]\n"
               "presets:",
               stderr);
    for (std::string_view name : aurex::imageset::PresetNames())
        std::fprintf(stderr, " %.*s", static_cast<int>(name.size()), name.data());
    std::fputs("\n", stderr);
}

template <typename T> bool ParseNumber(std::string_view text, T& out)
{
    T value{};
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size())
        return false;
    out = value;
    return true;
}

bool WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path.string().c_str(), "wb");
    if (!f)
        return false;
    const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && written;
}

int Fail(const std::string& message)
{
    std::fprintf(stderr, "aurex-image-set: %s\n", message.c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::string preset, out, binding, set_id;
    std::vector<std::pair<std::string, std::string>> overrides;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i + 1 >= argc) {
            Usage();
            return 2;
        }
        const std::string value = argv[++i];
        if (arg == "--preset")
            preset = value;
        else if (arg == "--out")
            out = value;
        else if (arg == "--binding")
            binding = value;
        else if (arg == "--set-id")
            set_id = value;
        else
            overrides.emplace_back(std::string(arg), value);
    }
    if (preset.empty() || out.empty() || binding.empty() != set_id.empty()) {
        Usage();
        return 2;
    }
    auto recipe = aurex::imageset::Preset(preset);
    if (!recipe) {
        Usage();
        return 2;
    }
    for (const auto& [option, value] : overrides) {
        auto& r = recipe->record;
        bool ok = false;
        if (option == "--seed")
            ok = ParseNumber(value, recipe->seed);
        else if (option == "--radio-model")
            ok = ParseNumber(value, r.radio_model);
        else if (option == "--kind-flag")
            ok = ParseNumber(value, r.kind_flag);
        else if (option == "--series")
            ok = ParseNumber(value, r.series);
        else if (option == "--upgrade-type")
            ok = ParseNumber(value, r.upgrade_type);
        else if (option == "--tessaro")
            ok = aurex::imageset::SetVersionText(r.tessaro_version, value);
        else if (option == "--brevio")
            ok = aurex::imageset::SetVersionText(r.brevio_version, value);
        else {
            Usage();
            return 2;
        }
        if (!ok)
            return Fail("bad value for " + option + ": " + value);
    }

    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::absolute(out, ec);
    std::filesystem::create_directories(dir, ec);
    if (ec)
        return Fail("cannot create " + dir.string() + ": " + ec.message());

    std::vector<BoundBlob> bound;
    bool failed = false;
    aurex::imageset::GenerateImageSet(*recipe, [&](const std::string& name, const std::string& bytes) {
        const std::filesystem::path path = dir / name;
        if (!failed && !WriteFile(path, bytes)) {
            Fail("cannot write " + path.string());
            failed = true;
        }
        bound.push_back({name, path.generic_string(), bytes.size()});
    });
    if (failed)
        return 1;

    if (!binding.empty()) {
        const auto source = aurex::imageset::BindingSource(set_id, bound);
        if (!source)
            return Fail("cannot bind set " + set_id + " (set id or paths not usable)");
        if (!WriteFile(binding, *source))
            return Fail("cannot write " + binding);
    }
    return 0;
}
