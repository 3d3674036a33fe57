// The radio identity query of the preservation step against a scripted radio: the restart notice
// that may come first, and what a missing or wrong answer leaves.
#include "transfer/preserve_codeplug.h"

#include <gtest/gtest.h>

#include "link/radio_link.h"
#include "transfer_peer.h"
#include "window_rig.h"

namespace aurex {
namespace {

using test::Bytes;
using test::ExpectMessage;
using test::PeerIo;
using test::ScriptedPeer;
using test::SendMessage;
using test::WithCode;

const Bytes kIdentityQuery{0x04, 0x04};
const Bytes kSerial{0x00, 0x00, 0x1A, 0x2B, 0x3C, 0x4D, 0x5E, 0xEF};

struct Case {
    const char* what;
    std::vector<Bytes> replies;  // what the radio sends after the query
    bool answered;
};

TEST(QueryRadioIdentityTest, SkipsOneRestartNoticeAndKeepsTheTextWithoutAnAnswer) {
    test::PtyPair pty;
    test::WindowRig rig(pty.DevicePath(), 0.05);
    ASSERT_TRUE(rig.opened);
    ASSERT_TRUE(CreateLinkTimeout(rig.form->RadioLink, 4000));
    const Case cases[] = {
        {"at once", {WithCode(0x04, 0x05, kSerial)}, true},
        {"after a notice", {{0x07, 0x25}, WithCode(0x04, 0x05, kSerial)}, true},
        {"after two notices", {{0x07, 0x25}, {0x07, 0x25}, WithCode(0x04, 0x05, kSerial)}, false},
        {"short reply", {WithCode(0x04, 0x05, Bytes(kSerial.begin(), kSerial.begin() + 6))}, false},
        {"other reply", {WithCode(0x04, 0x20)}, false},
        {"silence", {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetLinkActive(rig.form->RadioLink, true);
        ScriptedPeer peer(pty, [&c](PeerIo& io) {
            ExpectMessage(io, kIdentityQuery);
            for (const Bytes& reply : c.replies) {
                SendMessage(io, reply);
            }
        });
        std::string identity = "unchanged";
        EXPECT_EQ(QueryRadioIdentity(*rig.form, identity), c.answered);
        EXPECT_EQ(identity, c.answered ? "00001A2B3C4D5EEF" : "unchanged");
        peer.Join();
        EXPECT_TRUE(peer.Failures().empty());
        // Whatever the query left unread must not reach the next case.
        SetLinkActive(rig.form->RadioLink, true);
        ReceiveTransferReply(rig.form->RadioLink);
    }
    ReleaseLinkTimeout(rig.form->RadioLink);
}

}  // namespace
}  // namespace aurex
