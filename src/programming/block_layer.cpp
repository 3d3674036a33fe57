#include "programming/block_layer.h"

#include "link/message_table.h"
#include "programming/programming_status.h"
#include "text/hex.h"

namespace aurex {

std::string VerifyFailureText(const std::uint8_t address[4])
{
    return "Flash Verify failed at address: 0x" + EncodeHex(std::span<const std::uint8_t>(address, 4));
}

BlockWriter::BlockWriter(ProgrammingLink& link, const BlockRules& rules, const StatusCallback& showStatus,
                         ProgressDisplay& progress)
    : link_(link), rules_(rules), showStatus_(showStatus), progressDisplay_(progress)
{
    NewBlock();
}

void BlockWriter::NewBlock()
{
    InitMessage(block_, msg::kDataBlock);
}

void BlockWriter::StartImage()
{
    pairChecksum_ = 0;
    secondOfPair_ = false;
    NewBlock();
}

void BlockWriter::Store(std::uint16_t word)
{
    block_.data[static_cast<std::size_t>(block_.length)] = static_cast<std::uint8_t>(word & 0xFF);
    block_.data[static_cast<std::size_t>(block_.length) + 1] = static_cast<std::uint8_t>(word >> 8);
    block_.length += 2;
    pairChecksum_ = static_cast<std::uint16_t>(pairChecksum_ + word);
}

void BlockWriter::AppendWord(std::uint16_t word)
{
    FlushStep();
    // A full block that could not be sent takes nothing more: the block holds 130 bytes.
    if (status_ != kProgrammingSuccess || BlockFull()) {
        return;
    }
    Store(word);
}

void BlockWriter::PadBlock()
{
    while (status_ == kProgrammingSuccess && !BlockFull()) {
        Store(rules_.filler);
    }
}

void BlockWriter::FinalFlush()
{
    PadBlock();
    FlushStep();
    // The block just sent opened a pair: a block of filler words completes it.
    if (status_ == kProgrammingSuccess && secondOfPair_) {
        PadBlock();
        FlushStep();
    }
}

bool BlockWriter::ExchangePairChecksum(bool& matches)
{
    const LinkPacket checksumCode = MessagePacket(msg::kPairChecksum);
    const LinkPacket negativeCode = MessagePacket(msg::kNegative);
    const int checksumLength = MessageLength(msg::kPairChecksum);
    const int negativeLength = MessageLength(msg::kNegative);
    bool negative = false;
    LinkPacket reply = link_.ReceiveReply(checksumCode, checksumLength, negativeCode, negativeLength, negative);
    if (rules_.flash && link_.UsesPortComponent()) {
        // The half-duplex line may lose the block: the radio asks for it again with 02 0A.
        while (negative && link_.IsActive()) {
            link_.Send(block_);
            reply = link_.ReceiveReply(checksumCode, checksumLength, negativeCode, negativeLength, negative);
        }
    }
    status_ = link_.Status();
    if (status_ != kProgrammingSuccess) {
        return false;
    }
    // A 02 0A carries no checksum: the radio has not confirmed the pair, so it counts as differing.
    const auto radioSum = static_cast<std::uint16_t>(reply.data[2] << 8 | reply.data[3]);
    matches = !negative && reply.length >= checksumLength && radioSum == pairChecksum_;
    link_.Send(MessagePacket(matches ? msg::kChecksumMatches : msg::kChecksumDiffers));
    return true;
}

void BlockWriter::FlushStep()
{
    if (status_ != kProgrammingSuccess || !BlockFull()) {
        return;
    }
    link_.Send(block_);

    bool matches = true;
    if (secondOfPair_ && !ExchangePairChecksum(matches)) {
        return;
    }

    const LinkPacket readyCode = MessagePacket(msg::kReady);
    const LinkPacket negativeCode = MessagePacket(msg::kNegative);
    const int readyLength = MessageLength(msg::kReady);
    // After a block the flash loader's 02 0A carries the address where verifying failed.
    const int negativeLength = MessageLength(msg::kNegative) + (rules_.flash ? 4 : 0);
    int resends = 0;
    for (;;) {
        bool negative = false;
        const LinkPacket reply = link_.ReceiveReply(readyCode, readyLength, negativeCode, negativeLength, negative);
        status_ = link_.Status();
        if (status_ != kProgrammingSuccess) {
            return;
        }
        // A first block's 02 0A is taken as ready; the DSP loader's answers all are.
        if (!secondOfPair_ || !rules_.flash) {
            break;
        }
        if (negative) {
            showStatus_(VerifyFailureText(&reply.data[2]));
            status_ = kProgrammingVerifyFailed;
            return;
        }
        if (matches) {
            break;
        }
        link_.Send(block_);
        if (++resends == kMaxBlockResends) {
            status_ = kProgrammingTimedOut;
            return;
        }
    }

    if (secondOfPair_) {
        pairChecksum_ = 0;
    }
    secondOfPair_ = !secondOfPair_;
    NewBlock();
    progress_ += kBlockProgress;
    progressDisplay_.SetPosition(progress_);
}

void BlockWriter::WriteRecords(SRecordImageReader& reader, int recordProgress,
                               const std::function<void(const std::string&)>& unreadable)
{
    while (status_ == kProgrammingSuccess) {
        const SRecordImageReader::Result next = reader.Next();
        if (next == SRecordImageReader::Result::End) {
            return;
        }
        if (next == SRecordImageReader::Result::Error) {
            status_ = kProgrammingImageError;
            unreadable(reader.ErrorMessage());
            return;
        }
        const SRecordData& record = reader.Record();
        progress_ += recordProgress < 0 ? record.progressWeight : recordProgress;
        for (const std::uint16_t word : record.Words()) {
            AppendWord(word);
            if (status_ != kProgrammingSuccess) {
                return;
            }
        }
    }
}

int BlockWriter::EndImage(const std::function<void()>& afterEnd)
{
    if (status_ == kProgrammingSuccess) {
        FinalFlush();
        link_.Send(MessagePacket(msg::kImageEnd));
        if (afterEnd) {
            afterEnd();
        }
    }
    return status_ == kProgrammingSuccess ? link_.Status() : status_;
}

} // namespace aurex
