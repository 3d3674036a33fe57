#include "convert/format_convert_base.h"
#include "convert/format_tables.h"

#include "codeplug-builder/codeplug_builder.h"
#include "convert/guarded_image.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace aurex {
namespace {

// Records every content operation and exposes the framework's protected parts.
class ProbeConverter : public VNXParmsFormatConvertBase
{
  public:
    struct Call
    {
        std::string operation;
        uint16_t version;      // image word 3 when the operation ran
        uint16_t headerLength; // of the block the operation is given
        uint16_t descriptorCount;
    };

    explicit ProbeConverter(uint8_t target) { targetIndex = target; }

    // Sets the converter up as a step would, without running one.
    void Attach(uint16_t* stepImage, bool stepBackward)
    {
        image = stepImage;
        backward = stepBackward;
        stepping = true;
        refreshing = false;
    }

    using VNXParmsFormatConvertBase::DefaultRecordSize;
    using VNXParmsFormatConvertBase::EmptySystemTable;
    using VNXParmsFormatConvertBase::InsertWords;
    using VNXParmsFormatConvertBase::RemoveWords;
    using VNXParmsFormatConvertBase::ResizeRadioTable;
    using VNXParmsFormatConvertBase::ResizeSequenceRecords;
    using VNXParmsFormatConvertBase::ResizeSystemRecords;

    std::vector<Call> calls;

  protected:
    void ConvertRadioBlock() override { Record("ConvertRadioBlock", ParmsRadioBlock{}); }
    void RadioBlockResized() override { Record("RadioBlockResized", ParmsRadioBlock{}); }
    void ConvertKindBlockK0() override { Record("ConvertKindBlockK0", ParmsKindBlock{0}); }
    void ConvertKindBlockK1() override { Record("ConvertKindBlockK1", SharedKindBlock()); }
    void ConvertKindBlockK4() override { Record("ConvertKindBlockK4", ParmsKindBlock{4}); }
    void ConvertKindBlockK5() override { Record("ConvertKindBlockK5", ParmsKindBlock{5}); }
    void KindBlockResizedK0() override { Record("KindBlockResizedK0", ParmsKindBlock{0}); }
    void KindBlockResizedK1() override { Record("KindBlockResizedK1", SharedKindBlock()); }
    void KindBlockResizedK4() override { Record("KindBlockResizedK4", ParmsKindBlock{4}); }
    void KindBlockResizedK5() override { Record("KindBlockResizedK5", ParmsKindBlock{5}); }
    void ConvertSystemBlockK0(unsigned n) override { RecordSystem("ConvertSystemBlockK0", n); }
    void ConvertSystemBlockK1(unsigned n) override { RecordSystem("ConvertSystemBlockK1", n); }
    void ConvertSystemBlockK3(unsigned n) override { RecordSystem("ConvertSystemBlockK3", n); }
    void ConvertSystemBlockK4(unsigned n) override { RecordSystem("ConvertSystemBlockK4", n); }
    void ConvertSystemBlockK5(unsigned n) override { RecordSystem("ConvertSystemBlockK5", n); }
    void SystemBlockResizedK0(unsigned n) override { RecordSystem("SystemBlockResizedK0", n); }
    void SystemBlockResizedK1(unsigned n) override { RecordSystem("SystemBlockResizedK1", n); }
    void SystemBlockResizedK3(unsigned n) override { RecordSystem("SystemBlockResizedK3", n); }
    void SystemBlockResizedK4(unsigned n) override { RecordSystem("SystemBlockResizedK4", n); }
    void SystemBlockResizedK5(unsigned n) override { RecordSystem("SystemBlockResizedK5", n); }
    void ConvertSequenceTable0(unsigned n) override { RecordSequence("ConvertSequenceTable0", n); }
    void ConvertSequenceTable1(unsigned n) override { RecordSequence("ConvertSequenceTable1", n); }
    void ConvertSequenceTable2(unsigned n) override { RecordSequence("ConvertSequenceTable2", n); }
    void ConvertSequenceTable3(unsigned n) override { RecordSequence("ConvertSequenceTable3", n); }
    void ConvertSequenceTable4(unsigned n) override { RecordSequence("ConvertSequenceTable4", n); }
    void SequenceBlockResized(unsigned n) override { RecordSequence("SequenceBlockResized", n); }

  private:
    ParmsBlockLocator SharedKindBlock() const
    {
        return ParmsKindBlock{ParmsFindKindBlock(image, 1) != 0 ? 1u : 3u};
    }
    void Record(const std::string& operation, ParmsBlockLocator block)
    {
        const ParmsHeader header = ParmsBlockHeader(image, block);
        calls.push_back({operation, image[kParmsVersionWord], header.headerLength, header.descriptorCount});
    }
    void RecordSystem(const std::string& operation, unsigned n)
    {
        Record(operation + "(" + std::to_string(n) + ")", ParmsSystemBlock{n});
    }
    void RecordSequence(const std::string& operation, unsigned n)
    {
        Record(operation + "(" + std::to_string(n) + ")", ParmsSequenceBlock{n});
    }
};

CodeplugOptions WideOptions(uint8_t formatIndex)
{
    CodeplugOptions options;
    options.formatIndex = formatIndex;
    options.headerWord = CodeplugHeaderWord::Wide;
    return options;
}

std::vector<uint16_t> ImageOf(const BuiltCodeplug& built)
{
    return {built.image(), built.image() + built.imageLength};
}

ParmsBlockCategory CategoryOf(const uint16_t* image, const BuiltBlock& block)
{
    switch (block.type) {
    case ParmsBlockType::Radio:
        return ParmsBlockCategory::Radio;
    case ParmsBlockType::Sequence:
        return ParmsBlockCategory::Sequence;
    case ParmsBlockType::Kind:
        return *ParmsKindCategory(block.id);
    case ParmsBlockType::System:
        break;
    }
    return *ParmsSystemCategory(image[block.start + kParmsBlockIdentityWord] >> 12);
}

ParmsBlockLocator LocatorOf(const BuiltBlock& block)
{
    switch (block.type) {
    case ParmsBlockType::Radio:
        return ParmsRadioBlock{};
    case ParmsBlockType::Kind:
        return ParmsKindBlock{block.id};
    case ParmsBlockType::System:
        return ParmsSystemBlock{block.id};
    case ParmsBlockType::Sequence:
        break;
    }
    return ParmsSequenceBlock{block.id};
}

std::vector<std::string> Operations(const ProbeConverter& converter)
{
    std::vector<std::string> names;
    for (const auto& call : converter.calls) {
        names.push_back(call.operation);
    }
    return names;
}

// The operations a whole step over the default image (systems of kinds 0, 1, 3, 4, 5 and three
// sequence blocks) calls, with or without the Resized ones.
std::vector<std::string> ExpectedOperations(bool withResized)
{
    std::vector<std::string> expected;
    const auto add = [&](const std::string& resized, const std::string& convert) {
        if (withResized) {
            expected.push_back(resized);
        }
        expected.push_back(convert);
    };
    add("RadioBlockResized", "ConvertRadioBlock");
    for (const char* kind : {"K0", "K1", "K4", "K5"}) {
        add(std::string("KindBlockResized") + kind, std::string("ConvertKindBlock") + kind);
    }
    const std::vector<std::string> systemKinds{"K0", "K1", "K3", "K4", "K5"};
    for (unsigned n = 1; n <= systemKinds.size(); ++n) {
        const std::string arg = "(" + std::to_string(n) + ")";
        add("SystemBlockResized" + systemKinds[n - 1] + arg, "ConvertSystemBlock" + systemKinds[n - 1] + arg);
    }
    for (unsigned n = 1; n <= 3; ++n) {
        const std::string arg = "(" + std::to_string(n) + ")";
        if (withResized) {
            expected.push_back("SequenceBlockResized" + arg);
        }
        for (unsigned t = 0; t < 5; ++t) {
            expected.push_back("ConvertSequenceTable" + std::to_string(t) + arg);
        }
    }
    return expected;
}

TEST(FormatIndex, VersionsMapToIndicesAndBack)
{
    std::vector<uint16_t> image(kParmsBufferWords);
    const std::vector<std::pair<uint16_t, uint8_t>> cases{{0x0505, 0},   {0x0508, 3},   {0x0509, 4},
                                                          {0x050A, 5},   {0x050B, 255}, {0x0504, 255},
                                                          {0x0608, 255}, {0x0000, 255}};
    for (const auto& [word, index] : cases) {
        image[kParmsVersionWord] = word;
        EXPECT_EQ(ParmsFormatIndex(image.data()), index) << std::hex << word;
        EXPECT_EQ(ParmsIndexOfVersion(static_cast<uint8_t>(word >> 8), static_cast<uint8_t>(word)), index);
    }
    for (uint8_t index = 0; index < 6; ++index) {
        const ParmsVersion version = ParmsVersionOfIndex(index);
        EXPECT_EQ(ParmsIndexOfVersion(version.major, version.minor), index);
    }
    EXPECT_EQ(ParmsVersionOfIndex(6).major, 0);
    EXPECT_EQ(ParmsVersionOfIndex(255).minor, 0);
    EXPECT_TRUE(ParmsStepHasLayouts(4));
    EXPECT_TRUE(ParmsStepHasLayouts(5));
    for (const uint8_t index : {0, 1, 2, 3, 6, 255}) {
        EXPECT_FALSE(ParmsStepHasLayouts(index)) << int{index};
    }
}

TEST(FormatTables, LayoutRowsAgreeWithTheShapesOfBuiltBlocksInEveryFormat)
{
    for (unsigned c = 0; c < kParmsBlockCategoryCount; ++c) {
        const auto category = static_cast<ParmsBlockCategory>(c);
        SCOPED_TRACE("category " + std::to_string(c));
        for (uint8_t index = 0; index < 3; ++index) {
            const VNXParmsBlockLayout& row = ParmsBlockLayout(category, index);
            EXPECT_EQ(row.dataOffset | row.headerWordsAdded | row.descriptorCount | row.descriptorsAdded, 0);
        }
        EXPECT_EQ(ParmsBlockLayout(category, 255).dataOffset, 0);
        for (uint8_t index = 3; index <= 5; ++index) {
            const VNXParmsBlockLayout& row = ParmsBlockLayout(category, index);
            const ParmsHeader shape = CodeplugHeaderShape(category, index);
            EXPECT_EQ(row.dataOffset, shape.headerLength + shape.descriptorCount);
            EXPECT_EQ(row.descriptorCount, shape.descriptorCount);
            if (index > 3) {
                const ParmsHeader older = CodeplugHeaderShape(category, static_cast<uint8_t>(index - 1));
                EXPECT_EQ(row.headerWordsAdded, shape.headerLength - older.headerLength);
                EXPECT_EQ(row.descriptorsAdded, shape.descriptorCount - older.descriptorCount);
            }
        }
    }
}

TEST(FormatTables, RecordSizesAgreeWithBuiltTables)
{
    const std::vector<std::pair<unsigned, unsigned>> mainTables{{0, 3}, {1, 7}, {3, 7}, {4, 9}, {5, 2}};
    for (uint8_t index = 3; index <= 5; ++index) {
        const CodeplugOptions options = WideOptions(index);
        for (const auto& [kind, table] : mainTables) {
            EXPECT_EQ(ParmsSystemMainTable(kind), table);
            const auto size = ParmsSystemRecordSize(kind, index);
            ASSERT_TRUE(size.has_value());
            EXPECT_EQ(size->recordSize,
                      CodeplugTableShape(options, *ParmsSystemCategory(kind), 0, table).size);
        }
        for (unsigned table = 0; table < kParmsSequenceSizedTables; ++table) {
            EXPECT_EQ(ParmsSequenceRecordSize(table, index)->recordSize,
                      CodeplugTableShape(options, ParmsBlockCategory::Sequence, 0, table).size);
        }
    }
    EXPECT_EQ(ParmsSystemRecordSize(1, 5)->wordsAdded, 22);
    EXPECT_EQ(ParmsSequenceRecordSize(0, 5)->wordsAdded, 1);
    EXPECT_FALSE(ParmsSystemMainTable(2).has_value());
    EXPECT_FALSE(ParmsSequenceRecordSize(5, 4).has_value());
}

TEST(ConvertStep, ContentOperationsRunInSlotOrderAroundTheLayoutAndVersionChange)
{
    const BuiltCodeplug older = BuildCodeplug(WideOptions(4));
    GuardedImage upgraded(older);
    ProbeConverter up(5);
    ASSERT_TRUE(up.RunStep(upgraded.image(), false));
    EXPECT_EQ(Operations(up), ExpectedOperations(true));
    for (const auto& call : up.calls) {
        SCOPED_TRACE(call.operation);
        // Only the radio block's own operations still see the older version.
        const bool radio = call.operation.find("Radio") != std::string::npos;
        EXPECT_EQ(call.version, radio ? 0x0509 : 0x050A);
    }
    // Every operation already sees its block in the newer layout.
    EXPECT_EQ(up.calls[0].headerLength, 69);
    EXPECT_EQ(up.calls[1].headerLength, 69);
    const auto& resizedK3 = up.calls[14];
    EXPECT_EQ(resizedK3.operation, "SystemBlockResizedK3(3)");
    EXPECT_EQ(resizedK3.descriptorCount, 21);

    ProbeConverter down(5);
    ASSERT_TRUE(down.RunStep(upgraded.image(), true));
    EXPECT_EQ(Operations(down), ExpectedOperations(false));
    EXPECT_EQ(down.calls[0].version, 0x050A);
    EXPECT_EQ(down.calls[0].headerLength, 69); // content runs before the layout shrinks
    EXPECT_EQ(down.calls[1].version, 0x0509);
    EXPECT_EQ(down.calls[7].operation, "ConvertSystemBlockK3(3)");
    EXPECT_EQ(down.calls[7].descriptorCount, 21);

    const BuiltCodeplug newer = BuildCodeplug(WideOptions(5));
    GuardedImage refreshed(newer);
    ProbeConverter refresh(5);
    ASSERT_TRUE(refresh.RunRefresh(refreshed.image()));
    EXPECT_EQ(Operations(refresh), ExpectedOperations(false));
    EXPECT_EQ(refresh.LengthChange(), 0);
    EXPECT_EQ(refreshed.Image(), ImageOf(newer));
}

TEST(ConvertStep, SystemsGoByNumberAndKindsOneAndThreeShareAKindBlock)
{
    CodeplugOptions options = WideOptions(4);
    options.systemKinds = {4, 3, 0, 3};
    options.shuffleBlocks = true;
    options.seed = 7;
    const BuiltCodeplug built = BuildCodeplug(options);
    GuardedImage guarded(built);
    ProbeConverter converter(5);
    ASSERT_TRUE(converter.RunRefresh(guarded.image()));
    const std::vector<std::string> operations = Operations(converter);
    const std::vector<std::string> expectedStart{"ConvertRadioBlock",       "ConvertKindBlockK0",
                                                 "ConvertKindBlockK1",      "ConvertKindBlockK4",
                                                 "ConvertSystemBlockK4(1)", "ConvertSystemBlockK3(2)",
                                                 "ConvertSystemBlockK0(3)", "ConvertSystemBlockK3(4)"};
    EXPECT_EQ(std::vector<std::string>(operations.begin(), operations.begin() + 8), expectedStart);
    EXPECT_EQ(converter.calls[2].descriptorCount, 15); // the kind block of kind 3 was found
}

TEST(ConvertStep, LayoutStepsChangeOnlyHeadersAndDescriptorsAndUndoExactly)
{
    const BuiltCodeplug older = BuildCodeplug(WideOptions(4));
    GuardedImage guarded(older);
    ProbeConverter up(5);
    ASSERT_TRUE(up.RunStep(guarded.image(), false));
    // Radio block +20 header words, kind 1 system +2 descriptors, kinds 3 and 4 +6 each.
    EXPECT_EQ(up.LengthChange(), 34);
    const uint16_t* image = guarded.image();
    EXPECT_EQ(ParmsImageLength(image), older.imageLength + 34);
    EXPECT_EQ(ParmsFormatIndex(image), 5);
    EXPECT_TRUE(ParmsIsValid(image));
    for (uint32_t w = 49; w < 69; ++w) {
        EXPECT_EQ(image[w], 0) << "radio word " << w;
    }
    for (const BuiltBlock& block : older.blocks) {
        SCOPED_TRACE("block " + std::to_string(block.ordinal));
        const uint32_t start = *ParmsLocateBlock(image, LocatorOf(block));
        const ParmsHeader header = ParmsBlockHeader(image, ParmsBlockAt{start});
        const ParmsHeader expected = CodeplugHeaderShape(CategoryOf(older.image(), block), 5);
        EXPECT_EQ(header.headerLength, expected.headerLength);
        ASSERT_EQ(header.descriptorCount, expected.descriptorCount);
        for (unsigned t = 0; t < header.descriptorCount; ++t) {
            const ParmsTableLocation table = ParmsRecordTable(image, ParmsBlockAt{start}, t);
            if (t >= block.tables.size()) {
                EXPECT_EQ(image[start + header.headerLength + t], 0) << "new descriptor " << t;
                continue;
            }
            EXPECT_EQ(table.count, block.tables[t].count);
            EXPECT_EQ(table.size, block.tables[t].size);
            const uint32_t oldStart = ParmsRecordTable(older.image(), ParmsBlockAt{block.start}, t).start;
            EXPECT_TRUE(std::equal(image + table.start, image + table.start + block.tables[t].Words(),
                                   older.image() + oldStart))
                << "records of table " << t;
        }
    }

    ProbeConverter down(5);
    ASSERT_TRUE(down.RunStep(guarded.image(), true));
    EXPECT_EQ(down.LengthChange(), -34);
    EXPECT_EQ(guarded.Image(), ImageOf(older));
    EXPECT_TRUE(guarded.GuardsIntact());

    // Between 5.8 and 5.9 nothing but the version changes, and the narrow header words of
    // those formats pass through untouched.
    CodeplugOptions nativeOptions;
    nativeOptions.formatIndex = 3;
    const BuiltCodeplug native = BuildCodeplug(nativeOptions);
    GuardedImage narrow(native);
    ProbeConverter to59(4);
    ASSERT_TRUE(to59.RunStep(narrow.image(), false));
    EXPECT_EQ(to59.LengthChange(), 0);
    EXPECT_EQ(narrow[kParmsVersionWord], 0x0509);
    narrow[kParmsVersionWord] = 0x0508;
    EXPECT_EQ(narrow.Image(), ImageOf(native));
}

TEST(ConvertStep, EveryBlockCategoryResizesUpAndBackExactly)
{
    const BuiltCodeplug built = BuildCodeplug(WideOptions(4));
    unsigned categoriesSeen = 0;
    for (const BuiltBlock& block : built.blocks) {
        const ParmsBlockCategory category = CategoryOf(built.image(), block);
        SCOPED_TRACE("category " + std::to_string(static_cast<int>(category)));
        const VNXParmsBlockLayout& layout = ParmsBlockLayout(category, 5);
        GuardedImage guarded(built);
        ProbeConverter converter(5);
        converter.Attach(guarded.image(), false);
        converter.ResizeBlockLayout(block.start, layout);
        ASSERT_EQ(converter.Fault(), ParmsStepFault::None);
        const uint32_t added = static_cast<uint32_t>(layout.headerWordsAdded + layout.descriptorsAdded);
        EXPECT_EQ(ParmsBlockLength(guarded.image(), ParmsBlockAt{block.start}), block.length + added);
        EXPECT_EQ(ParmsImageLength(guarded.image()), built.imageLength + added);
        const ParmsHeader header = ParmsBlockHeader(guarded.image(), ParmsBlockAt{block.start});
        EXPECT_EQ(header.headerLength + header.descriptorCount, layout.dataOffset);
        EXPECT_TRUE(ParmsIsValid(guarded.image()));

        converter.Attach(guarded.image(), true);
        converter.ResizeBlockLayout(block.start, layout);
        ASSERT_EQ(converter.Fault(), ParmsStepFault::None);
        EXPECT_EQ(guarded.Image(), ImageOf(built));
        EXPECT_TRUE(guarded.GuardsIntact());
        categoriesSeen |= 1u << static_cast<unsigned>(category);
    }
    EXPECT_EQ(categoriesSeen, (1u << kParmsBlockCategoryCount) - 1);
}

TEST(ConvertStep, RandomImagesSurviveALayoutStepThereAndBack)
{
    for (uint64_t seed = 1; seed <= 30; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        CodeplugOptions options = RandomCodeplugOptions(seed);
        options.headerWord = CodeplugHeaderWord::Wide;
        const BuiltCodeplug built = BuildCodeplug(options);
        GuardedImage guarded(built);
        const uint8_t format = options.formatIndex;
        // Upgrade first from 5.8 and 5.9, downgrade first from 5.10.
        const uint8_t target = format == 3 ? 4 : 5;
        const bool downFirst = format == 5;
        ProbeConverter first(target);
        ASSERT_TRUE(first.RunStep(guarded.image(), downFirst));
        EXPECT_TRUE(ParmsIsValid(guarded.image()));
        const std::vector<uint16_t> between = guarded.Image();
        ProbeConverter second(target);
        ASSERT_TRUE(second.RunStep(guarded.image(), !downFirst));
        EXPECT_EQ(first.LengthChange(), -second.LengthChange());
        if (!downFirst) {
            EXPECT_EQ(guarded.Image(), ImageOf(built));
        } else {
            // The header words 5.10 added come back as zero, so compare one more round.
            ProbeConverter third(target);
            ASSERT_TRUE(third.RunStep(guarded.image(), true));
            EXPECT_EQ(guarded.Image(), between);
        }
        EXPECT_TRUE(guarded.GuardsIntact());
    }
}

TEST(ConvertStep, StepsWithoutConverterOrOnTheWrongShapeAreRefusedUntouched)
{
    const BuiltCodeplug older = BuildCodeplug(WideOptions(4));
    const BuiltCodeplug newer = BuildCodeplug(WideOptions(5));
    {
        GuardedImage guarded(older);
        VNXParmsFormatConvertBase base;
        EXPECT_EQ(base.TargetIndex(), kParmsUnknownFormat);
        EXPECT_FALSE(base.RunStep(guarded.image(), false));
        EXPECT_EQ(base.Fault(), ParmsStepFault::NoConverter);
        ProbeConverter toOldest(3);
        EXPECT_FALSE(toOldest.RunStep(guarded.image(), true));
        EXPECT_EQ(toOldest.Fault(), ParmsStepFault::NoConverter);
        EXPECT_FALSE(ProbeConverter(5).RunStep(nullptr, false));
        EXPECT_EQ(guarded.Image(), ImageOf(older));
    }
    {
        GuardedImage guarded(newer); // already 5.10
        ProbeConverter converter(5);
        EXPECT_FALSE(converter.RunStep(guarded.image(), false));
        EXPECT_EQ(converter.Fault(), ParmsStepFault::UnexpectedShape);
        EXPECT_TRUE(converter.calls.empty());
        EXPECT_EQ(guarded.Image(), ImageOf(newer));
    }
    {
        GuardedImage guarded(older); // still 5.9
        ProbeConverter converter(5);
        EXPECT_FALSE(converter.RunStep(guarded.image(), true));
        EXPECT_EQ(converter.Fault(), ParmsStepFault::UnexpectedShape);
    }
    {
        // Header words left narrow on the way to 5.10 read as 30 descriptors: the first block
        // whose descriptor list must grow stops the step.
        CodeplugOptions narrowOptions;
        narrowOptions.formatIndex = 4;
        GuardedImage guarded(BuildCodeplug(narrowOptions));
        ProbeConverter converter(5);
        EXPECT_FALSE(converter.RunStep(guarded.image(), false));
        EXPECT_EQ(converter.Fault(), ParmsStepFault::UnexpectedShape);
        EXPECT_EQ(Operations(converter).back(), "ConvertSystemBlockK0(1)");
        EXPECT_TRUE(guarded.GuardsIntact());
    }
}

TEST(ConvertStep, ALayoutDowngradeRefusesToDropADescriptorThatStillHasRecords)
{
    GuardedImage guarded(BuildCodeplug(WideOptions(5)));
    const std::vector<uint16_t> records(6, 0x6161);
    ASSERT_EQ(ParmsReplaceRecordTable(guarded.image(), 3, 20, records.data(), 2, 3), ParmsEditResult::Done);
    ProbeConverter down(5); // content operations that empty nothing
    EXPECT_FALSE(down.RunStep(guarded.image(), true));
    EXPECT_EQ(down.Fault(), ParmsStepFault::UnexpectedShape);
    EXPECT_EQ(Operations(down).back(), "ConvertSystemBlockK3(3)");
    EXPECT_EQ(ParmsBlockHeader(guarded.image(), ParmsSystemBlock{3}).descriptorCount, 21);
    EXPECT_TRUE(ParmsIsValid(guarded.image()));
}

TEST(ConvertStep, AStepNeedingMoreThanTheBufferIsReportedAndLosesNoWord)
{
    for (const uint32_t room : {34u, 33u}) {
        SCOPED_TRACE("room " + std::to_string(room));
        CodeplugOptions options = WideOptions(4);
        options.imageLength = kParmsBufferWords - room;
        const BuiltCodeplug built = BuildCodeplug(options);
        GuardedImage guarded(built);
        ProbeConverter converter(5);
        const bool done = converter.RunStep(guarded.image(), false);
        const uint16_t* image = guarded.image();
        EXPECT_TRUE(guarded.GuardsIntact());
        EXPECT_LE(ParmsImageLength(image), kParmsBufferWords);
        EXPECT_TRUE(ParmsIsValid(image));
        // The trailer still ends the image: nothing was pushed off the end of the buffer.
        const uint32_t trailer = ParmsImageLength(image) - kParmsTrailerWords;
        for (uint32_t w = 0; w < kParmsTrailerWords; ++w) {
            ASSERT_EQ(image[trailer + w], CodeplugTrailerWord(0, w)) << w;
        }
        if (room == 34) {
            EXPECT_TRUE(done);
            EXPECT_EQ(ParmsImageLength(image), kParmsBufferWords);
        } else {
            EXPECT_FALSE(done);
            EXPECT_EQ(converter.Fault(), ParmsStepFault::ImageTooLarge);
            EXPECT_EQ(converter.LengthChange(), 28); // refused at the kind 4 system, before it changed
            EXPECT_EQ(Operations(converter).back(), "ConvertSystemBlockK3(3)");
        }
    }
}

TEST(SharedOperations, RadioTableGrowsByZeroRecordsAndShrinksBack)
{
    const BuiltCodeplug built = BuildCodeplug(WideOptions(4));
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const ParmsTableLocation before = ParmsRecordTable(image, ParmsRadioBlock{}, 1);
    const uint16_t table2First = image[ParmsRecordTable(image, ParmsRadioBlock{}, 2).start];

    ProbeConverter converter(5);
    converter.Attach(image, false);
    converter.ResizeRadioTable(1, 16, 64);
    ASSERT_EQ(converter.Fault(), ParmsStepFault::None);
    EXPECT_EQ(ParmsDescriptor(image, ParmsRadioBlock{}, 1).count, 64);
    EXPECT_TRUE(std::equal(image + before.start, image + before.start + 32, built.image() + before.start));
    EXPECT_TRUE(std::all_of(image + before.start + 32, image + before.start + 128,
                            [](uint16_t w) { return w == 0; }));
    EXPECT_EQ(image[ParmsRecordTable(image, ParmsRadioBlock{}, 2).start], table2First);
    EXPECT_EQ(ParmsImageLength(image), built.imageLength + 96);
    EXPECT_TRUE(ParmsIsValid(image));

    converter.Attach(image, true);
    converter.ResizeRadioTable(1, 16, 64);
    ASSERT_EQ(converter.Fault(), ParmsStepFault::None);
    EXPECT_EQ(guarded.Image(), ImageOf(built));

    // A table that does not hold the count the change starts from is not guessed at.
    converter.Attach(image, true);
    converter.ResizeRadioTable(1, 16, 64);
    EXPECT_EQ(converter.Fault(), ParmsStepFault::UnexpectedShape);
    EXPECT_EQ(guarded.Image(), ImageOf(built));
}

TEST(SharedOperations, RecordsWidenWithZeroWordsAndNarrowBack)
{
    const BuiltCodeplug built = BuildCodeplug(WideOptions(4));
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    const BuiltBlock& system3 = built.Block(ParmsBlockType::System, 3); // kind 3
    const ParmsTableLocation table7 = ParmsRecordTable(image, ParmsBlockAt{system3.start}, 7);

    ProbeConverter converter(5);
    converter.Attach(image, false);
    converter.ResizeSystemRecords(3, 7, 36, 58);
    converter.ResizeSystemRecords(3, 5, 6, 7);
    converter.ResizeSequenceRecords(2, 0, 17, 18);
    converter.ResizeSequenceRecords(2, 1, 15, 15);
    ASSERT_EQ(converter.Fault(), ParmsStepFault::None);
    EXPECT_EQ(ParmsImageLength(image), built.imageLength + 44 + 3 + 2);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{3}, 7).size, 58);
    const uint32_t widened = ParmsRecordTable(image, ParmsSystemBlock{3}, 7).start;
    for (unsigned r = 0; r < 2; ++r) {
        EXPECT_TRUE(std::equal(image + widened + r * 58, image + widened + r * 58 + 36,
                               built.image() + table7.start + r * 36));
        EXPECT_TRUE(std::all_of(image + widened + r * 58 + 36, image + widened + (r + 1) * 58,
                                [](uint16_t w) { return w == 0; }));
    }
    EXPECT_EQ(ParmsDescriptor(image, ParmsSequenceBlock{2}, 0).size, 18);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSequenceBlock{2}, 1).size, 15);
    EXPECT_TRUE(ParmsIsValid(image));

    converter.Attach(image, true);
    converter.ResizeSequenceRecords(2, 0, 17, 18);
    converter.ResizeSystemRecords(3, 5, 6, 7);
    converter.ResizeSystemRecords(3, 7, 36, 58);
    ASSERT_EQ(converter.Fault(), ParmsStepFault::None);
    EXPECT_EQ(guarded.Image(), ImageOf(built));

    // An empty table only changes its record size; records of another size are refused.
    converter.Attach(image, false);
    converter.ResizeSystemRecords(2, 10, 2, 3);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{2}, 10).size, 3);
    EXPECT_EQ(ParmsImageLength(image), built.imageLength);
    converter.ResizeSystemRecords(3, 7, 40, 58);
    EXPECT_EQ(converter.Fault(), ParmsStepFault::UnexpectedShape);
}

TEST(SharedOperations, EmptyingAndDefaultingTables)
{
    const BuiltCodeplug built = BuildCodeplug(WideOptions(4));
    GuardedImage guarded(built);
    uint16_t* image = guarded.image();
    ProbeConverter converter(4);

    converter.Attach(image, false);
    converter.EmptySystemTable(2, 9); // nothing on an upgrade
    EXPECT_EQ(guarded.Image(), ImageOf(built));
    converter.Attach(image, true);
    converter.EmptySystemTable(2, 9);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{2}, 9).count, 0);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{2}, 9).size, 2);
    EXPECT_EQ(ParmsImageLength(image), built.imageLength - 4);
    EXPECT_TRUE(ParmsIsValid(image));

    converter.DefaultRecordSize(2, 10, 3); // size 0: gets one
    converter.DefaultRecordSize(2, 9, 7);  // has one: kept
    ASSERT_EQ(converter.Fault(), ParmsStepFault::None);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{2}, 10).size, 3);
    EXPECT_EQ(ParmsDescriptor(image, ParmsSystemBlock{2}, 9).size, 2);

    // Records that have a count but no words cannot be given a size after the fact.
    ParmsSetDescriptor(image, ParmsSystemBlock{4}, 14, 4, 0);
    const std::vector<uint16_t> before = guarded.Image();
    converter.DefaultRecordSize(4, 14, 9);
    EXPECT_EQ(converter.Fault(), ParmsStepFault::UnexpectedShape);
    // Once a step has failed nothing more changes.
    converter.EmptySystemTable(1, 3);
    converter.ResizeSequenceRecords(1, 0, 17, 18);
    EXPECT_FALSE(converter.InsertWords(0, 10, 1));
    EXPECT_EQ(guarded.Image(), before);
}

TEST(SharedOperations, GrowthIsCheckedAgainstTheBufferBeforeAnythingMoves)
{
    for (const uint32_t room : {95u, 43u}) {
        CodeplugOptions options = WideOptions(4);
        options.imageLength = kParmsBufferWords - room;
        const BuiltCodeplug built = BuildCodeplug(options);
        GuardedImage guarded(built);
        ProbeConverter converter(5);
        converter.Attach(guarded.image(), false);
        if (room == 95) {
            converter.ResizeRadioTable(1, 16, 64); // needs 96
        } else {
            converter.ResizeSystemRecords(3, 7, 36, 58); // needs 44
        }
        EXPECT_EQ(converter.Fault(), ParmsStepFault::ImageTooLarge);
        EXPECT_EQ(guarded.Buffer(), built.buffer);
        EXPECT_TRUE(guarded.GuardsIntact());
    }
    // One word short of the limit, the same changes fit exactly.
    CodeplugOptions options = WideOptions(4);
    options.imageLength = kParmsBufferWords - 44;
    GuardedImage guarded(BuildCodeplug(options));
    ProbeConverter converter(5);
    converter.Attach(guarded.image(), false);
    converter.ResizeSystemRecords(3, 7, 36, 58);
    EXPECT_EQ(converter.Fault(), ParmsStepFault::None);
    EXPECT_EQ(ParmsImageLength(guarded.image()), kParmsBufferWords);
    EXPECT_TRUE(ParmsIsValid(guarded.image()));

    // Words are opened and removed only inside the block they are said to belong to.
    ProbeConverter outside(5);
    outside.Attach(guarded.image(), false);
    EXPECT_FALSE(outside.RemoveWords(0, ParmsBlockLength(guarded.image(), ParmsRadioBlock{}) - 1, 2));
    EXPECT_EQ(outside.Fault(), ParmsStepFault::UnexpectedShape);
    ProbeConverter notABlock(5);
    notABlock.Attach(guarded.image(), false);
    EXPECT_FALSE(notABlock.InsertWords(5, 6, 1));
    EXPECT_EQ(notABlock.Fault(), ParmsStepFault::UnexpectedShape);
}

} // namespace
} // namespace aurex
