// Writes the seed corpus of backup_check_fuzz. Run by hand:
//   build/tests/transfer/write_backup_check_seeds fuzz/transfer/corpus/backup_check_fuzz
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "backup_images.h"

int main(int argc, char** argv)
{
    using namespace aurex;
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    // The layout the fuzz target reads: backup length (high byte first), backup, record text.
    const auto write = [&](const std::string& name, const std::vector<std::uint8_t>& bytes,
                           const std::string& record) {
        std::ofstream out(dir + "/" + name, std::ios::binary);
        const char length[2] = {static_cast<char>(bytes.size() >> 8), static_cast<char>(bytes.size() & 0xFF)};
        out.write(length, 2);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        out << record;
        return static_cast<bool>(out);
    };
    CodeplugOptions small;
    small.formatIndex = 5;
    small.systemKinds = {0, 5};
    small.sequenceBlocks = 1;
    const BuiltCodeplug built = BuildCodeplug(small);
    std::vector<std::uint8_t> bytes(std::size_t{built.imageLength} * 2);
    LineBytesFromWords(built.buffer, bytes);
    const std::string record =
        WriteBackupRecord(test::RecordOf(bytes, "00000A1B2C3D4E5F", "2026-12-07T22:16:34Z"));

    std::vector<std::uint8_t> changed = bytes;
    changed[bytes.size() - 3] ^= 0x10;
    const std::vector<std::uint8_t> cut(bytes.begin(), bytes.end() - 16);
    bool ok = write("with_record", bytes, record);
    ok = write("without_record", bytes, "") && ok;
    ok = write("changed_after_record", changed, record) && ok;
    ok = write("cut_in_trailer", cut, "") && ok;
    ok = write("record_not_json", bytes, "{\"format_version\": 1,") && ok;
    return ok ? 0 : 1;
}
