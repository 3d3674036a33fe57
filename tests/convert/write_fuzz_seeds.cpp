// Writes the seed corpora of the codeplug conversion fuzz targets: small built images of every
// format as host-order words, cut after the image. Run by hand:
//   build/tests/convert/write_fuzz_seeds fuzz/convert/corpus/codeplug_convert_fuzz
//       fuzz/convert/corpus/codeplug_formats_fuzz
// (both folders on one line; the second is optional).
#include "codeplug-builder/codeplug_builder.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    using namespace aurex;
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR [FORMATS_CORPUS_DIR]\n", argv[0]);
        return 2;
    }
    std::string dir = argv[1];
    const auto write = [&](const std::string& name, const BuiltCodeplug& built) {
        std::ofstream out(dir + "/" + name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(built.image()),
                  static_cast<std::streamsize>(built.imageLength * sizeof(uint16_t)));
        return static_cast<bool>(out);
    };
    bool ok = true;
    for (const uint8_t format : {3, 4, 5}) {
        CodeplugOptions options;
        options.formatIndex = format;
        options.headerWord = CodeplugHeaderWord::Wide;
        options.systemKinds = format == 4 ? std::vector<unsigned>{1, 3, 4} : std::vector<unsigned>{0, 5};
        options.sequenceBlocks = 2;
        ok = write("format_" + std::to_string(format + 5) + "_wide", BuildCodeplug(options)) && ok;
    }
    CodeplugOptions narrow;
    narrow.formatIndex = 4;
    narrow.systemKinds = {4, 1};
    narrow.sequenceBlocks = 1;
    ok = write("format_9_narrow", BuildCodeplug(narrow)) && ok;
    CodeplugOptions random = RandomCodeplugOptions(11);
    random.systemKinds.resize(std::min<std::size_t>(random.systemKinds.size(), 3));
    random.sequenceBlocks = 2;
    random.headerWord = CodeplugHeaderWord::Wide;
    ok = write("random_11", BuildCodeplug(random)) && ok;
    // A whole buffer: lets the fuzzer vary every byte, and a step to 5.10 just misses the limit.
    CodeplugOptions full;
    full.headerWord = CodeplugHeaderWord::Wide;
    full.imageLength = kParmsBufferWords - 33;
    BuiltCodeplug nearLimit = BuildCodeplug(full);
    nearLimit.imageLength = kParmsBufferWords;
    ok = write("near_limit", nearLimit) && ok;
    if (argc == 3) {
        // Images as the radio holds them, for the entry points: every format in its own header
        // word layout, one with every system kind, some random, and one a step from the limit.
        dir = argv[2];
        for (const uint8_t format : {3, 4, 5}) {
            CodeplugOptions options;
            options.formatIndex = format;
            options.sequenceBlocks = 2;
            options.radioCode = format == 4 ? 4 : 8;
            ok = write("native_" + std::to_string(format + 5), BuildCodeplug(options)) && ok;
        }
        for (const uint64_t seed : {3, 5, 8}) {
            CodeplugOptions options = RandomCodeplugOptions(seed);
            options.headerWord = CodeplugHeaderWord::Native;
            options.systemKinds.resize(std::min<std::size_t>(options.systemKinds.size(), 4));
            options.sequenceBlocks = std::min(options.sequenceBlocks, 2u);
            ok = write("random_" + std::to_string(seed), BuildCodeplug(options)) && ok;
        }
        CodeplugOptions large;
        large.formatIndex = 3;
        large.imageLength = kParmsBufferWords - 150;
        ok = write("near_limit_8", BuildCodeplug(large)) && ok;
    }
    return ok ? 0 : 1;
}
