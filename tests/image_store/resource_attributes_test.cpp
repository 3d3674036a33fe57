#include "image_store/resource_attributes.h"

#include <gtest/gtest.h>

#include <numeric>

#include "store_fakes.h"

namespace aurex {
namespace {

using testing::MemoryBlobs;

std::string Bytes(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s.push_back(static_cast<char>(v));
    return s;
}

TEST(ResourceAttributes, CarriedRecordReadsAsTheMakerLaidItOut)
{
    MemoryBlobs blobs = MemoryBlobs::FromPreset("carried");
    const std::string& raw = blobs.Bytes("RESOURCEATTRIBUTES_");
    ASSERT_EQ(raw.size(), 64u);
    // Little-endian piece counts and versions at their offsets, then the four trailing bytes.
    EXPECT_EQ(raw.substr(0x00, 0x28), Bytes({1, 0, 0, 0, 12, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0,
                                             0, 0, 0, 0, 4,  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(raw.substr(0x28, 6), std::string("2.8.2\0", 6));
    EXPECT_EQ(raw.substr(0x32, 6), std::string("3.0.9\0", 6));
    EXPECT_NE(raw.substr(0x2E, 4), std::string(4, '\0')) << "unrelated bytes follow the NUL";
    EXPECT_EQ(raw.substr(0x3C), Bytes({1, 1, 4, 3}));

    ResourceAttributes record;
    ASSERT_TRUE(LoadResourceAttributes(blobs, record));
    EXPECT_EQ(record.loader_pieces, 1u);
    EXPECT_EQ(record.code_pieces, 12u);
    EXPECT_EQ(record.boot_loader_pieces, 1u);
    EXPECT_EQ(record.boot_code_pieces, 1u);
    EXPECT_EQ(record.second_boot_loader_pieces + record.second_boot_code_pieces, 0u);
    EXPECT_EQ(record.boot_major, 4u);
    EXPECT_EQ(record.second_boot_major, 0u);
    const AttributeLabelTexts labels = LabelTextsFor(record);
    EXPECT_EQ(labels.tessaro_version, "2.8.2");
    EXPECT_EQ(labels.brevio_version, "3.0.9");
    EXPECT_EQ(labels.radio_model, "8600");
    EXPECT_EQ(labels.series, "4");
    EXPECT_EQ(labels.upgrade_type, "Application_Boot");
}

TEST(ResourceAttributes, EveryFieldHasItsOwnBytes)
{
    // Distinct bytes everywhere: a field read from a wrong offset or in a wrong order shows.
    std::array<unsigned char, 64> raw{};
    std::iota(raw.begin(), raw.end(), static_cast<unsigned char>(0x80));
    const ResourceAttributes r = ResourceAttributes::Decode(raw);
    EXPECT_EQ(r.loader_pieces, 0x83828180u);
    EXPECT_EQ(r.code_pieces, 0x87868584u);
    EXPECT_EQ(r.boot_loader_pieces, 0x8B8A8988u);
    EXPECT_EQ(r.boot_code_pieces, 0x8F8E8D8Cu);
    EXPECT_EQ(r.second_boot_loader_pieces, 0x93929190u);
    EXPECT_EQ(r.second_boot_code_pieces, 0x97969594u);
    EXPECT_EQ(r.boot_major, 0x9B9A9998u);
    EXPECT_EQ(r.boot_minor, 0x9F9E9D9Cu);
    EXPECT_EQ(r.second_boot_major, 0xA3A2A1A0u);
    EXPECT_EQ(r.second_boot_minor, 0xA7A6A5A4u);
    EXPECT_EQ(static_cast<unsigned char>(r.tessaro_version[0]), 0xA8);
    EXPECT_EQ(static_cast<unsigned char>(r.tessaro_version[9]), 0xB1);
    EXPECT_EQ(static_cast<unsigned char>(r.brevio_version[0]), 0xB2);
    EXPECT_EQ(static_cast<unsigned char>(r.brevio_version[9]), 0xBB);
    EXPECT_EQ(r.radio_model, 0xBC);
    EXPECT_EQ(r.kind_flag, 0xBD);
    EXPECT_EQ(r.series, static_cast<std::int8_t>(0xBE));
    EXPECT_EQ(r.upgrade_type, 0xBF);
    EXPECT_EQ(r.Encode(), raw);
}

TEST(ResourceAttributes, LabelTexts)
{
    ResourceAttributes r;
    // Ten characters and no NUL: all ten are shown, nothing of the next field.
    const std::string ten = "10.20.30.4";
    std::copy(ten.begin(), ten.end(), r.tessaro_version.begin());
    r.brevio_version = {'1', '.', '0', '\0', 'x', 'y', 'z', '\0', '\0', '\0'};
    r.series = -3;
    r.radio_model = 0;
    r.upgrade_type = 2;
    const AttributeLabelTexts labels = LabelTextsFor(r);
    EXPECT_EQ(labels.tessaro_version, ten);
    EXPECT_EQ(labels.tessaro_version.size(), 10u);
    EXPECT_EQ(labels.brevio_version, "1.0");
    EXPECT_EQ(labels.series, "-3");
    EXPECT_EQ(labels.radio_model, "8400");
    EXPECT_EQ(labels.upgrade_type, "DSP");

    r.series = -128;
    EXPECT_EQ(LabelTextsFor(r).series, "-128");
    r.tessaro_version.fill('\0');
    EXPECT_EQ(LabelTextsFor(r).tessaro_version, "");
}

TEST(ResourceAttributes, MissingOrShortRecordIsSilentAndLeavesZeros)
{
    MemoryBlobs none;
    ResourceAttributes record;
    record.code_pieces = 99;
    EXPECT_FALSE(LoadResourceAttributes(none, record));
    EXPECT_EQ(record, ResourceAttributes{});

    MemoryBlobs carried = MemoryBlobs::FromPreset("carried");
    MemoryBlobs shortened;
    shortened.Set("ResourceAttributes_", carried.Bytes("RESOURCEATTRIBUTES_").substr(0, 0x1A));
    EXPECT_FALSE(LoadResourceAttributes(shortened, record));
    EXPECT_EQ(record.code_pieces, 12u);
    EXPECT_EQ(record.boot_major, 4u) << "the low half of the field is there";
    EXPECT_EQ(record.series, 0);
    EXPECT_EQ(record.upgrade_type, 0);

    // A longer blob is read for its first 64 bytes; the name is matched without regard to case.
    MemoryBlobs longer;
    longer.Set("resourceattributes_", carried.Bytes("RESOURCEATTRIBUTES_") + "trailing");
    EXPECT_TRUE(LoadResourceAttributes(longer, record));
    EXPECT_EQ(record.upgrade_type, 3);
}

TEST(ResourceAttributes, Names)
{
    EXPECT_EQ(RadioModelName(0), "8400");
    EXPECT_EQ(RadioModelName(1), "8600");
    EXPECT_EQ(RadioModelName(2), "Unknown");
    EXPECT_EQ(UpgradeTypeName(0), "Application");
    EXPECT_EQ(UpgradeTypeName(1), "Boot");
    EXPECT_EQ(UpgradeTypeName(2), "DSP");
    EXPECT_EQ(UpgradeTypeName(3), "Application_Boot");
    EXPECT_EQ(UpgradeTypeName(4), "Unknown");
}

} // namespace
} // namespace aurex
