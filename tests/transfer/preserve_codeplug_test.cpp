// The codeplug preservation step run by the main window against a scripted radio over a
// pseudo-terminal, the backup file it keeps, and the password prompt.
#include "transfer/preserve_codeplug.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QTimer>

#include <optional>

#include "convert/convert_entry.h"
#include "link/clock.h"
#include "link/qt_app.h"
#include "support/codeplug_builder.h"
#include "support/recording_host.h"
#include "transfer/codeplug_backup.h"
#include "transfer/download_keystream.h"
#include "transfer/password_encoding.h"
#include "transfer/password_prompt.h"
#include "data_home.h"
#include "transfer_peer.h"
#include "window_rig.h"

namespace aurex {
namespace {

using test::Bytes;
using test::NextMessage;
using test::PeerIo;
using test::ScriptedPeer;
using test::SendMessage;
using test::WithCode;
using test::ScopedDataHome;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

const DesBlock kSerial{0x00, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0x6F};
const char* const kSerialText = "00001A2B3C4D5E6F";

// A codeplug in the radio's byte order (words high byte first).
Bytes LineOrder(const uint16_t* image, std::size_t words) {
    Bytes b;
    for (std::size_t i = 0; i < words; ++i) {
        b.push_back(static_cast<std::uint8_t>(image[i] >> 8));
        b.push_back(static_cast<std::uint8_t>(image[i]));
    }
    return b;
}

// What the radio holds in its codeplug memory: the image, then erased memory to the block.
Bytes Padded(Bytes image) {
    image.resize((image.size() + 127) / 128 * 128, 0xFF);
    return image;
}

// A radio that answers what the preservation step asks, and records what it was sent.
struct RadioScript {
    Bytes codeplug;                                     // line order
    std::optional<std::array<std::uint8_t, 2>> format;  // answer to 04 1C; none: silent
    int identityFromQuery = 1;                          // answers 04 04 from this query on; 0 never
    bool identityNotice = false;                        // 07 25 before the first identity reply
    std::string password;                               // empty: transfers proceed at once
    bool silentAfterDownloadRequest = false;

    int identityQueries = 0;
    int formatQueries = 0;
    int uploadBlocks = 0;
    bool downloadRequested = false;
    bool downloadEnded = false;
    Bytes downloaded;  // unscrambled, line order
    std::vector<Bytes> verdicts;

    void Run(PeerIo& io) {
        enum class State { Idle, PasswordUp, PasswordDown, Uploading, Downloading } state = State::Idle;
        DownloadKeystream keystream(kSerial);
        std::uint16_t sum = 0;
        int sinceReport = 0;
        bool noticeSent = false;
        auto uploadBlock = [&] {
            Bytes block(128, 0xFF);
            const std::size_t at = static_cast<std::size_t>(uploadBlocks) * 128;
            for (std::size_t i = 0; i < 128 && at + i < codeplug.size(); ++i) {
                block[i] = codeplug[at + i];
            }
            ++uploadBlocks;
            SendMessage(io, WithCode(0x03, 0x02, block));
        };
        auto proceed = [&](bool upload) {
            SendMessage(io, {0x03, 0x0D});
            if (upload) {
                state = State::Uploading;
                uploadBlock();
            } else {
                state = State::Downloading;
                SendMessage(io, {0x03, 0x08});
            }
        };
        while (!io.Stopping()) {
            const Bytes m = NextMessage(io, 60000);
            if (m.size() < 2) {
                continue;
            }
            const std::uint16_t code = static_cast<std::uint16_t>(m[0] << 8 | m[1]);
            switch (code) {
            case 0x0404:
                ++identityQueries;
                if (identityFromQuery > 0 && identityQueries >= identityFromQuery) {
                    if (identityNotice && !noticeSent) {
                        noticeSent = true;
                        SendMessage(io, {0x07, 0x25});
                    }
                    SendMessage(io, WithCode(0x04, 0x05, Bytes(kSerial.begin(), kSerial.end())));
                }
                break;
            case 0x041C:
                ++formatQueries;
                if (format) {
                    SendMessage(io, WithCode(0x04, 0x1D, {(*format)[0], (*format)[1]}));
                }
                break;
            case 0x0307:
            case 0x0300: {
                const bool upload = code == 0x0307;
                if (!upload) {
                    downloadRequested = true;
                    keystream = DownloadKeystream(kSerial);
                    if (silentAfterDownloadRequest) {
                        break;
                    }
                }
                if (upload) {
                    uploadBlocks = 0;
                }
                if (password.empty()) {
                    proceed(upload);
                } else {
                    state = upload ? State::PasswordUp : State::PasswordDown;
                    SendMessage(io, {0x03, 0x0B});
                }
                break;
            }
            case 0x030C: {
                const PasswordPayload want = EncodePassword(password);
                if (m.size() == 6 && std::equal(want.begin(), want.end(), m.begin() + 2)) {
                    proceed(state == State::PasswordUp);
                } else {
                    SendMessage(io, {0x03, 0x0B});
                }
                break;
            }
            case 0x0308:
                if (state == State::Uploading) {
                    uploadBlock();
                }
                break;
            case 0x0302: {
                std::array<std::uint8_t, 128> block{};
                if (m.size() != 130) {
                    io.Fail("data block of " + std::to_string(m.size()) + " bytes");
                    break;
                }
                std::copy(m.begin() + 2, m.end(), block.begin());
                UnscrambleBlock(keystream, block);
                downloaded.insert(downloaded.end(), block.begin(), block.end());
                sum = static_cast<std::uint16_t>(sum + test::BigEndianSum(Bytes(block.begin(), block.end()), 0, 128));
                if (++sinceReport == 2) {
                    SendMessage(io, WithCode(0x03, 0x03, {static_cast<std::uint8_t>(sum >> 8), static_cast<std::uint8_t>(sum)}));
                    sum = 0;
                    sinceReport = 0;
                } else {
                    SendMessage(io, {0x03, 0x08});
                }
                break;
            }
            case 0x0305:
            case 0x0306:
                verdicts.push_back(m);
                SendMessage(io, {0x03, 0x08});
                break;
            case 0x0304:
                if (state == State::Downloading) {
                    downloadEnded = true;
                }
                state = State::Idle;
                break;
            default:
                io.Fail("unexpected " + test::Hex(m));
                break;
            }
        }
    }
};

// The window over a pseudo-terminal that a scripted radio plays.
class PreserveRig {
public:
    PreserveRig() : window(pty.DevicePath(), 0.05), host(window.host), form(window.form), opened(window.opened) {}

    // Runs the step against the radio script and stops the radio afterwards.
    int Run(RadioScript& radio) {
        ScriptedPeer peer(pty, [&radio](PeerIo& io) { radio.Run(io); });
        // As a code download leaves it.
        SetLinkActive(form->RadioLink, true);
        const int result = PreserveCodeplug(*form);
        // The radio reads what is still on its way (the last 03 04) before it stops.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        for (int i = 0; i < 1000 && test::PendingForPeer(pty) > 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        peer.Stop();
        for (const std::string& f : peer.Failures()) {
            ADD_FAILURE() << "radio: " << f;
        }
        return result;
    }

    std::vector<std::string> ProgressIntervals() const { return window.ProgressIntervals(); }

    test::PtyPair pty;
    test::WindowRig window;
    testing::RecordingHost& host;
    std::unique_ptr<TCodeUpdaterMainDispForm>& form;
    bool opened;
};

BuiltCodeplug Codeplug(std::uint8_t formatIndex, std::uint32_t imageLength = 0) {
    CodeplugOptions options;
    options.formatIndex = formatIndex;
    options.imageLength = imageLength;
    return BuildCodeplug(options);
}

Bytes LineOrder(const BuiltCodeplug& built) { return LineOrder(built.image(), built.imageLength); }

TEST(PreserveCodeplugTest, SilentRadioEndsWithNothingTransferred) {
    ScopedDataHome home;
    PreserveRig rig;
    ASSERT_TRUE(rig.opened);
    RadioScript radio;
    radio.identityFromQuery = 0;
    EXPECT_EQ(rig.Run(radio), kPreserveNoFormatReply);
    EXPECT_EQ(radio.identityQueries, 1);
    EXPECT_EQ(radio.formatQueries, 1);
    EXPECT_EQ(radio.uploadBlocks, 0);
    EXPECT_THAT(rig.host.statusTexts, ElementsAre("Resetting radio..."));
    EXPECT_THAT(rig.ProgressIntervals(), ElementsAre("200"));
    EXPECT_EQ(rig.form->m_ProgressBar.Position(), 100);
    EXPECT_FALSE(rig.form->ProgressBarTimer.Enabled());
    EXPECT_THAT(ScopedDataHome::Backups(), IsEmpty());
}

TEST(PreserveCodeplugTest, NothingIsWrittenForEqualUnsupportedOrInvalidCodeplugs) {
    ScopedDataHome home;
    PreserveRig rig;
    ASSERT_TRUE(rig.opened);
    const BuiltCodeplug v58 = Codeplug(3);
    const Bytes image58 = LineOrder(v58);

    // Same format in the radio and in its firmware: upload only. The radio asks for its
    // password, which the user types into the dialog.
    {
        RadioScript radio;
        radio.codeplug = image58;
        radio.format = std::array<std::uint8_t, 2>{5, 8};
        radio.password = "2468";
        rig.host.passwords.push_back({"2468"});
        // A Stop during the restart wait ends only that wait's link state, not the step.
        QTimer::singleShot(Clock::TimerMilliseconds(2000), [&rig] { SetLinkActive(rig.form->RadioLink, false); });
        EXPECT_EQ(rig.Run(radio), kPreserveSameFormat);
        EXPECT_EQ(radio.identityQueries, 1);
        EXPECT_EQ(radio.uploadBlocks, static_cast<int>(Padded(image58).size() / 128));
        EXPECT_FALSE(radio.downloadRequested);
        EXPECT_THAT(rig.host.dialogsShown, ElementsAre("Radio Code Update - Enter Password"));
        EXPECT_THAT(rig.host.statusTexts, ElementsAre("Resetting radio...", "Uploading codeplug..."));
        EXPECT_THAT(rig.ProgressIntervals(), ElementsAre("200", "150"));
    }
    // A 5.7 codeplug, or firmware that expects 5.7 or a format we do not know: result 1.
    {
        BuiltCodeplug v57 = Codeplug(3);
        v57.buffer[kParmsVersionWord] = 0x0507;
        const struct {
            Bytes image;
            std::array<std::uint8_t, 2> target;
        } cases[] = {{LineOrder(v57), {5, 10}}, {image58, {5, 7}}, {image58, {6, 1}}};
        for (const auto& c : cases) {
            RadioScript radio;
            radio.codeplug = c.image;
            radio.format = c.target;
            EXPECT_EQ(rig.Run(radio), kPreserveNotSupported);
            EXPECT_GT(radio.uploadBlocks, 0);
            EXPECT_FALSE(radio.downloadRequested);
        }
    }
    // An upload that is no valid codeplug, and one cancelled at the password: result 4.
    {
        Bytes broken = image58;
        broken[0] = 0x00;
        RadioScript radio;
        radio.codeplug = broken;
        radio.format = std::array<std::uint8_t, 2>{5, 10};
        EXPECT_EQ(rig.Run(radio), kPreserveUploadFailed);
        EXPECT_EQ(radio.uploadBlocks, 1);
        EXPECT_FALSE(radio.downloadRequested);

        RadioScript locked;
        locked.codeplug = image58;
        locked.format = std::array<std::uint8_t, 2>{5, 10};
        locked.password = "1111";
        rig.host.passwords.push_back({"1111", testing::DialogExit::CancelButton});
        EXPECT_EQ(rig.Run(locked), kPreserveUploadFailed);
        EXPECT_EQ(locked.uploadBlocks, 0);
        EXPECT_FALSE(locked.downloadRequested);
    }
    EXPECT_THAT(ScopedDataHome::Backups(), IsEmpty());
}

TEST(PreserveCodeplugTest, ConvertsAndWritesBackAfterKeepingABackup) {
    ScopedDataHome home;
    PreserveRig rig;
    ASSERT_TRUE(rig.opened);
    BuiltCodeplug built = Codeplug(3);
    const Bytes original = LineOrder(built);
    RadioScript radio;
    radio.codeplug = original;
    radio.format = std::array<std::uint8_t, 2>{5, 10};
    radio.identityNotice = true;  // the identity comes after a 07 25 notice

    EXPECT_EQ(rig.Run(radio), kPreserveConverted);

    // The uploaded image, with its whole trailer, converted as the converters convert it.
    std::int32_t change = 0;
    ASSERT_EQ(ParmsUpgrade(change, built.image(), 3, 5), ParmsStepFault::None);
    const Bytes converted = LineOrder(built.image(), ParmsImageLength(built.image()));
    const std::size_t uploaded = Padded(original).size();
    const std::size_t written = uploaded + 2 * static_cast<std::size_t>(change);
    EXPECT_EQ(radio.uploadBlocks, static_cast<int>(uploaded / 128));
    ASSERT_TRUE(radio.downloadEnded);
    EXPECT_EQ(radio.downloaded.size(), ((written + 255) / 256) * 256);
    ASSERT_GE(radio.downloaded.size(), converted.size());
    EXPECT_TRUE(std::equal(converted.begin(), converted.end(), radio.downloaded.begin()));
    EXPECT_TRUE(std::all_of(radio.downloaded.begin() + static_cast<std::ptrdiff_t>(written), radio.downloaded.end(),
                            [](std::uint8_t b) { return b == 0x20; }));
    EXPECT_THAT(radio.verdicts, ::testing::Each(Bytes{0x03, 0x05}));
    EXPECT_EQ(radio.identityQueries, 1);

    EXPECT_THAT(rig.host.statusTexts, ElementsAre("Resetting radio...", "Uploading codeplug...",
                                                  "Resetting radio and converting codeplug...",
                                                  "Downloading codeplug..."));
    EXPECT_THAT(rig.ProgressIntervals(),
                ElementsAre("200", "150", "200", std::to_string(static_cast<int>(written * 0.015))));

    // The backup: the radio's codeplug exactly as it came out, named by its serial number.
    const QStringList backups = ScopedDataHome::Backups();
    ASSERT_EQ(backups.size(), 1);
    EXPECT_TRUE(backups[0].startsWith(QStringLiteral("codeplug-%1-").arg(kSerialText))) << backups[0].toStdString();
    EXPECT_EQ(ScopedDataHome::Read(backups[0]), Padded(original));
}

TEST(PreserveCodeplugTest, NothingIsWrittenWithoutTheIdentityOrABackup) {
    ScopedDataHome home;
    PreserveRig rig;
    ASSERT_TRUE(rig.opened);
    const Bytes image58 = LineOrder(Codeplug(3));

    // The radio never tells its identity, even when asked once more: result 5, nothing written.
    {
        RadioScript radio;
        radio.codeplug = image58;
        radio.format = std::array<std::uint8_t, 2>{5, 10};
        radio.identityFromQuery = 0;
        EXPECT_EQ(rig.Run(radio), kPreserveDownloadFailed);
        EXPECT_EQ(radio.identityQueries, 2);
        EXPECT_FALSE(radio.downloadRequested);
        EXPECT_THAT(ScopedDataHome::Backups(), IsEmpty());
    }
    // It answers the second time: the codeplug goes back.
    {
        RadioScript radio;
        radio.codeplug = image58;
        radio.format = std::array<std::uint8_t, 2>{5, 10};
        radio.identityFromQuery = 2;
        EXPECT_EQ(rig.Run(radio), kPreserveConverted);
        EXPECT_EQ(radio.identityQueries, 2);
        EXPECT_TRUE(radio.downloadEnded);
    }
    // The backup folder cannot be made (its parent is a file): result 5, nothing written.
    {
        QFile blocker(home.Path() + QStringLiteral("/not-a-folder"));
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        ScopedDataHome unusable(blocker.fileName());
        RadioScript radio;
        radio.codeplug = image58;
        radio.format = std::array<std::uint8_t, 2>{5, 10};
        EXPECT_EQ(rig.Run(radio), kPreserveDownloadFailed);
        EXPECT_FALSE(radio.downloadRequested);
    }
}

TEST(PreserveCodeplugTest, FailedDownloadAndRefusedConversionAreNeverReportedWritten) {
    ScopedDataHome home;
    PreserveRig rig;
    ASSERT_TRUE(rig.opened);

    // The radio stops answering once asked to take the codeplug: result 5.
    {
        RadioScript radio;
        radio.codeplug = LineOrder(Codeplug(3));
        radio.format = std::array<std::uint8_t, 2>{5, 10};
        radio.silentAfterDownloadRequest = true;
        EXPECT_EQ(rig.Run(radio), kPreserveDownloadFailed);
        EXPECT_TRUE(radio.downloadRequested);
        EXPECT_TRUE(radio.downloaded.empty());
    }
    // A codeplug that fills the buffer cannot grow into 5.10: result 1, nothing written.
    {
        const BuiltCodeplug full = Codeplug(3, kParmsBufferWords);
        RadioScript radio;
        radio.codeplug = LineOrder(full);
        radio.format = std::array<std::uint8_t, 2>{5, 10};
        EXPECT_EQ(rig.Run(radio), kPreserveNotSupported);
        EXPECT_EQ(radio.uploadBlocks, 256);
        EXPECT_FALSE(radio.downloadRequested);
    }
}

}  // namespace
}  // namespace aurex
