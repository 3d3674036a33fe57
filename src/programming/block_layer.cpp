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
                         ProgressDisplay& progress, ByteProgress* bytes)
    : link_(link), rules_(rules), showStatus_(showStatus), progressDisplay_(progress), bytes_(bytes)
{
    NewBlock();
}

void BlockWriter::NewBlock()
{
    InitMessage(block_, msg::kDataBlock);
    blockDataBytes_ = 0;
}

void BlockWriter::StartImage()
{
    pairChecksum_ = 0;
    secondOfPair_ = false;
    bytesDone_ = 0;
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
    if (status_ != ProgrammingStatus::Success || BlockFull()) {
        return;
    }
    Store(word);
    blockDataBytes_ += 2;
}

void BlockWriter::PadBlock()
{
    while (status_ == ProgrammingStatus::Success && !BlockFull()) {
        Store(rules_.filler);
    }
}

void BlockWriter::FinalFlush()
{
    PadBlock();
    FlushStep();
    // The block just sent opened a pair: a block of filler words completes it.
    if (status_ == ProgrammingStatus::Success && secondOfPair_) {
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
    LinkReply reply = link_.ReceiveReply(checksumCode, checksumLength, negativeCode, negativeLength);
    if (rules_.flash && link_.Capabilities().repeatsRefusedRequests) {
        // The line may lose the block: the radio asks for it again with 02 0A.
        while (reply.alternate && link_.IsActive()) {
            link_.Send(block_);
            reply = link_.ReceiveReply(checksumCode, checksumLength, negativeCode, negativeLength);
        }
    }
    status_ = ProgrammingStatusOf(reply.status);
    if (status_ != ProgrammingStatus::Success) {
        return false;
    }
    // A 02 0A carries no checksum: the radio has not confirmed the pair, so it counts as differing.
    const LinkPacket& answer = reply.packet;
    const auto radioSum = static_cast<std::uint16_t>(answer.data[2] << 8 | answer.data[3]);
    matches = !reply.alternate && answer.length >= checksumLength && radioSum == pairChecksum_;
    link_.Send(MessagePacket(matches ? msg::kChecksumMatches : msg::kChecksumDiffers));
    return true;
}

void BlockWriter::FlushStep()
{
    if (status_ != ProgrammingStatus::Success || !BlockFull()) {
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
        const LinkReply reply = link_.ReceiveReply(readyCode, readyLength, negativeCode, negativeLength);
        status_ = ProgrammingStatusOf(reply.status);
        if (status_ != ProgrammingStatus::Success) {
            return;
        }
        // A first block's 02 0A is taken as ready; the DSP loader's answers all are.
        if (!secondOfPair_ || !rules_.flash) {
            break;
        }
        if (reply.alternate) {
            showStatus_(VerifyFailureText(&reply.packet.data[2]));
            status_ = ProgrammingStatus::VerifyFailed;
            return;
        }
        if (matches) {
            break;
        }
        link_.Send(block_);
        if (++resends == kMaxBlockResends) {
            status_ = ProgrammingStatus::TimedOut;
            return;
        }
    }

    if (secondOfPair_) {
        pairChecksum_ = 0;
    }
    secondOfPair_ = !secondOfPair_;
    bytesDone_ += blockDataBytes_;
    NewBlock();
    progress_ += kBlockProgress;
    progressDisplay_.SetPosition(progress_);
    if (bytes_ != nullptr) {
        bytes_->Done(bytesDone_);
    }
}

void BlockWriter::WriteRecords(SRecordImageReader& reader, int recordProgress,
                               const std::function<void(const std::string&)>& unreadable)
{
    while (status_ == ProgrammingStatus::Success) {
        const SRecordImageReader::Result next = reader.Next();
        if (next == SRecordImageReader::Result::End) {
            return;
        }
        if (next == SRecordImageReader::Result::Error) {
            status_ = ProgrammingStatus::ImageError;
            unreadable(reader.ErrorMessage());
            return;
        }
        const SRecordData& record = reader.Record();
        progress_ += recordProgress < 0 ? record.progressWeight : recordProgress;
        for (const std::uint16_t word : record.Words()) {
            AppendWord(word);
            if (status_ != ProgrammingStatus::Success) {
                return;
            }
        }
    }
}

ProgrammingStatus BlockWriter::EndImage(const std::function<void()>& afterEnd)
{
    if (status_ == ProgrammingStatus::Success) {
        FinalFlush();
        link_.Send(MessagePacket(msg::kImageEnd));
        if (afterEnd) {
            afterEnd();
        }
    }
    return status_ == ProgrammingStatus::Success ? ProgrammingStatusOf(link_.CurrentStatus()) : status_;
}

} // namespace aurex
