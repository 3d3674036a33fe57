#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "link/byte_progress.h"
#include "link/link_packet.h"
#include "programming/programming_link.h"
#include "programming/programming_status.h"
#include "programming/srecord_reader.h"

namespace aurex {

// How the flash and the DSP downloads differ in their block handshakes.
struct BlockRules
{
    std::uint16_t filler; // pads the last blocks of an image
    // Flash: a 02 0A to the checksum wait is answered by sending the block again (on a line that
    // repeats refused requests), a checksum mismatch by up to four resends, and a 02 0A with an
    // address to the second block of a pair is a verify failure. DSP: every answer is taken as it
    // comes.
    bool flash;
};

inline constexpr BlockRules kFlashBlockRules{0xFFFF, true};
inline constexpr BlockRules kDspBlockRules{0x2020, false};

// The data message: 02 09 and 128 data bytes (64 words, low byte first).
inline constexpr std::size_t kDataBlockSize = 130;
inline constexpr std::size_t kDataBlockStart = 2;
inline constexpr int kWordsPerBlock = 64;
inline constexpr int kBlockProgress = 64;  // progress counted per block sent
inline constexpr int kMaxBlockResends = 4; // after a pair checksum mismatch

// "Flash Verify failed at address: 0x00FE1A20" for the address bytes in the order received.
std::string VerifyFailureText(const std::uint8_t address[4]);

// Packs words into data blocks and runs the handshake of every block and of every pair of
// blocks (one 16-bit checksum exchange per 256 data bytes). One writer lives for one download;
// it holds one block, never the image.
class BlockWriter
{
  public:
    // `bytes`, when given, hears the image's data bytes (filler not counted) as each block is taken.
    BlockWriter(ProgrammingLink& link, const BlockRules& rules, const StatusCallback& showStatus,
                ProgressDisplay& progress, ByteProgress* bytes = nullptr);

    // A new image: pair checksum 0, the next block is the first of its pair, the block empty, no
    // data bytes counted.
    void StartImage();
    // Sends the block first when it is full; adds nothing once the status has left Success.
    void AppendWord(std::uint16_t word);
    // Pads with the filler word and sends, ending on a completed pair.
    void FinalFlush();

    // Streams the words of every record into blocks until the image ends or something fails.
    // A record that cannot be read is never guessed at: the status becomes
    // ProgrammingStatus::ImageError and `unreadable` gets the reader's message. Each record adds
    // `recordProgress`, or its own weight when that is negative.
    void WriteRecords(SRecordImageReader& reader, int recordProgress,
                      const std::function<void(const std::string&)>& unreadable);
    // After WriteRecords: sends the last pair and 02 04 (end of image), then runs `afterEnd`;
    // the download's status, the first failure of the writer or the link.
    ProgrammingStatus EndImage(const std::function<void()>& afterEnd = {});

    ProgrammingStatus Status() const { return status_; }
    void SetStatus(ProgrammingStatus status) { status_ = status; }

    int Progress() const { return progress_; }
    void ResetProgress() { progress_ = 0; }
    void AddProgress(int amount) { progress_ += amount; }

    std::uint16_t PairChecksum() const { return pairChecksum_; }
    bool NextIsSecondOfPair() const { return secondOfPair_; }
    std::size_t Fill() const { return static_cast<std::size_t>(block_.length); }

  private:
    bool BlockFull() const { return block_.length >= static_cast<std::int32_t>(kDataBlockSize); }
    void Store(std::uint16_t word);
    void PadBlock();
    void FlushStep();
    // The radio's verdict on the pair; false when the wait failed (status set).
    bool ExchangePairChecksum(bool& matches);
    void NewBlock();

    ProgrammingLink& link_;
    BlockRules rules_;
    const StatusCallback& showStatus_;
    ProgressDisplay& progressDisplay_;
    ByteProgress* bytes_;
    std::int64_t bytesDone_ = 0;
    std::int64_t blockDataBytes_ = 0; // of the block being filled: words appended, not filler
    ProgrammingStatus status_ = ProgrammingStatus::Success;
    int progress_ = 0;
    bool secondOfPair_ = false;
    std::uint16_t pairChecksum_ = 0;
    LinkPacket block_{}; // the data message itself; its length is the fill index
};

} // namespace aurex
