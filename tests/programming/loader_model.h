#pragma once

// The radio's loaders as the download protocol describes them, behind a ScriptedLink: ready for
// an image, ready after a first block, the pair's checksum after a second block, ready after the
// verdict; 02 00 starts the DSP pages, each ended by 02 08 and accepted with 02 03. It keeps
// the data of every image and page, so tests compare them with their sources byte for byte.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "scripted_link.h"
#include "support/srecord_data.h"

namespace aurex::test {

struct LoaderModel
{
    struct Image
    {
        std::string kind; // "image" after 02 01, "page" after 02 00 or 02 08
        Bytes data;
        bool ended = false;
    };

    explicit LoaderModel(ScriptedLink& link) : link_(link)
    {
        link.respond = [this](const Bytes& sent) { Receive(sent); };
    }

    // Knobs.
    int notReady = 0; // 02 01 answered with 02 0A this many times first
    // The checksum reported for pair n (0-based) of all pairs received.
    std::function<std::uint16_t(int pair, std::uint16_t sum)> reportSum = [](int, std::uint16_t sum) {
        return sum;
    };
    // Reply to the n-th block (0-based, resends included) in place of ready; empty: ready.
    std::function<Bytes(int block)> readyFor = [](int) { return Bytes{}; };
    // False for the DSP loader: a block after 02 06 is new data, not a resend.
    bool expectResends = true;
    // What the radio says after 02 08 (empty: nothing).
    Bytes pageReply{0x02, 0x03};

    // Record.
    std::vector<Image> images;
    int blocks = 0;                  // every 02 09 received
    int resends = 0;                 // blocks received after a 02 06
    int verdicts[2] = {0, 0};        // 02 05, 02 06
    std::vector<std::uint16_t> sums; // the true sum of each pair

  private:
    void Ready(int block)
    {
        const Bytes special = readyFor(block);
        link_.Reply(special.empty() ? Bytes{0x02, 0x07} : special);
    }

    void Receive(const Bytes& m)
    {
        if (m.size() < 2 || m[0] != 0x02) {
            return;
        }
        if (images.empty() && m[1] != 0x00 && m[1] != 0x01) {
            images.push_back({"unannounced", {}, false}); // data before any start message
        }
        switch (m[1]) {
        case 0x01:
            if (notReady > 0) {
                --notReady;
                link_.Reply({0x02, 0x0A});
                return;
            }
            images.push_back({"image", {}, false});
            second_ = false;
            resendExpected_ = false;
            sum_ = 0;
            link_.Reply({0x02, 0x07});
            return;
        case 0x00:
            images.push_back({"page", {}, false});
            second_ = false;
            resendExpected_ = false;
            sum_ = 0;
            link_.Reply({0x02, 0x07});
            return;
        case 0x08:
            images.back().ended = true;
            images.push_back({"page", {}, false});
            if (!pageReply.empty()) {
                link_.Reply(pageReply);
            }
            return;
        case 0x04:
            images.back().ended = true;
            return;
        case 0x05:
        case 0x06:
            ++verdicts[m[1] - 0x05];
            resendExpected_ = expectResends && m[1] == 0x06;
            Ready(lastSecondBlock_);
            return;
        case 0x09: {
            const int block = blocks++;
            if (resendExpected_) {
                ++resends;
                Ready(block);
                return;
            }
            images.back().data.insert(images.back().data.end(), m.begin() + 2, m.end());
            for (std::size_t i = 2; i + 1 < m.size(); i += 2) {
                sum_ = static_cast<std::uint16_t>(sum_ + (m[i] | m[i + 1] << 8));
            }
            if (!second_) {
                second_ = true;
                Ready(block);
                return;
            }
            second_ = false;
            lastSecondBlock_ = block;
            sums.push_back(sum_);
            const std::uint16_t reported = reportSum(static_cast<int>(sums.size()) - 1, sum_);
            sum_ = 0;
            link_.Reply(
                {0x02, 0x02, static_cast<std::uint8_t>(reported >> 8), static_cast<std::uint8_t>(reported)});
            return;
        }
        default:
            return;
        }
    }

    ScriptedLink& link_;
    bool second_ = false;
    bool resendExpected_ = false;
    int lastSecondBlock_ = 0;
    std::uint16_t sum_ = 0;
};

} // namespace aurex::test
