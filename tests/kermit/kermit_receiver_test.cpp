#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "KermitTestReceiver.h"
#include "kermit/KermitReceiver.h"
#include "kermit/KermitSender.h"

namespace ksr::kermit {
namespace {

using test::MakePacket;
using test::SplitPackets;

// Our sender against our receiver; `line` may change the sender's bytes on their way (parity).
KermitReceiver Loop(const std::vector<SendFile>& files, KermitSender& sender,
                    char (*line)(char) = nullptr) {
    KermitReceiver receiver;
    receiver.start();
    sender.StartTransmit(files);
    for (int guard = 0; sender.InProgress() && guard < 200000; ++guard) {
        std::string out = sender.takeOutput();
        if (line)
            for (char& c : out) c = line(c);
        receiver.receive(out);
        sender.receive(receiver.takeOutput());
    }
    return receiver;
}

// The answers in the receiver's output, as type and sequence number: "Y0 N1 ...".
std::string Answers(KermitReceiver& r) {
    std::string s;
    for (const auto& p : SplitPackets(r.takeOutput())) {
        if (!s.empty()) s += ' ';
        s += p.type + std::to_string(p.seq);
    }
    return s;
}

TEST(KermitReceiverTransfer, TakesEveryByteValueWithRunsFromOurSender) {
    std::mt19937 rng(7);
    std::string random;
    while (random.size() < 100 * 1024) random += static_cast<char>(rng() % 256);
    const std::string runs = std::string(300, '~') + std::string(200, '#') + "##~~#~" +
                             std::string(1000, '\0') + std::string(97, '\xB0') + "\x7F\xFF";
    KermitSender sender;
    KermitReceiver r =
        Loop({{"RECORDER.INI", runs}, {"EMPTY.INI", ""}, {"BIG.INI", random}}, sender);
    EXPECT_EQ(sender.ProtocolStatus(), Success) << sender.errorText();
    EXPECT_FALSE(r.InProgress());
    EXPECT_EQ(r.ProtocolStatus(), Success) << r.errorText();
    ASSERT_EQ(r.files().size(), 3u);
    EXPECT_EQ(r.files()[0].name, "RECORDER.INI");
    EXPECT_TRUE(r.files()[0].data == runs);
    EXPECT_EQ(r.files()[1].data, "");
    EXPECT_TRUE(r.files()[2].data == random);
    EXPECT_TRUE(r.terms().repeat);
    EXPECT_EQ(r.terms().eighthBit, 0);
}

TEST(KermitReceiverTransfer, AParityLineGetsEighthBitPrefixing) {
    KermitSender sender;
    const std::string bytes = "deg \xB0 micro \xB5 \x80\xFF";
    // Mark parity: bit 7 set on everything the sender puts on the line.
    KermitReceiver r =
        Loop({{"RECORDER.INI", bytes}}, sender, [](char c) { return static_cast<char>(c | 0x80); });
    EXPECT_EQ(r.ProtocolStatus(), Success) << r.errorText();
    EXPECT_EQ(r.terms().eighthBit, '&');
    EXPECT_EQ(sender.terms().eighthBit, '&');
    ASSERT_EQ(r.files().size(), 1u);
    EXPECT_EQ(r.files()[0].data, bytes);
}

TEST(KermitReceiverTerms, AnswersTheSendInitWithItsOwn) {
    // MAXL 94, TIME 5, no padding, CR, '#', QBIN, the CRC when offered, REPT, no capabilities.
    EXPECT_EQ(KermitReceiver::AnswerInitData("p% @-#Y1~", false), "~% @-#N1~ ");
    EXPECT_EQ(KermitReceiver::AnswerInitData("p% @-#Y1~", true), "~% @-#&1~ ");
    EXPECT_EQ(KermitReceiver::AnswerInitData("p% @-#&3 ", false), "~% @-#Y3  ");
    EXPECT_EQ(KermitReceiver::AnswerInitData("p% @-#Y2~", false), "~% @-#N1~ ");
    EXPECT_EQ(KermitReceiver::AnswerInitData("p%", false), "~% @-#N1  ");
    Terms t = KermitReceiver::Agree("p% @-#&3*", false);  // '&' asked, another repeat prefix
    EXPECT_EQ(t.eighthBit, '&');
    EXPECT_TRUE(t.repeat);
    EXPECT_EQ(t.repeatPrefix, '*');
    EXPECT_EQ(t.checkType, 3);
    EXPECT_EQ(t.packetLength, 80);
    // A repeat prefix that is also the sender's control or eighth-bit prefix is none.
    EXPECT_FALSE(KermitReceiver::Agree("p% @-!&3!", false).repeat);
    EXPECT_FALSE(KermitReceiver::Agree("p% @-#&3&", false).repeat);
}

// The prefixes the sender announces in its Send-Init are the ones its data is decoded with.
TEST(KermitReceiverTerms, DecodesWithEachPrefixTheSenderAnnounced) {
    struct Case {
        const char* init;
        const char* field;
    };
    const std::string expected = "a\r\n!#~&bbbbb\xB0";
    for (const Case& c : {Case{"p% @-!Y1~", "a!M!J!!#!~&~%b\xB0"},   // control '!'
                          Case{"p% @-#`1~", "a#M#J!###~&~%b`0"},     // eighth-bit '`'
                          Case{"p% @-#&1*", "a#M#J!##~#&*%b&0"},     // repeat '*'
                          Case{"p% @-!&1`", "a!M!J!!#~!&`%b&0"}}) {  // all three
        KermitReceiver r;
        r.start();
        r.receive(MakePacket(0, 'S', c.init) + MakePacket(1, 'F', "R.INI") +
                  MakePacket(2, 'D', c.field) + MakePacket(3, 'Z', "") + MakePacket(4, 'B', ""));
        EXPECT_EQ(r.ProtocolStatus(), Success) << c.init << " " << r.errorText();
        ASSERT_EQ(r.files().size(), 1u) << c.init;
        EXPECT_EQ(r.files()[0].data, expected) << c.init;
    }
}

TEST(KermitReceiverTerms, DecodesPrefixesAndRefusesAFieldCutInsideOne) {
    Terms t;
    t.repeat = true;
    t.eighthBit = '&';
    std::string out;
    EXPECT_TRUE(KermitReceiver::Decode("a#M#J##&###~~%b#?&a&#M#&", t, out));
    EXPECT_EQ(out, std::string("a\r\n#\xA3~bbbbb\x7F\xE1\x8D&"));
    for (const char* cut : {"ab#", "~", "~%", "&", "~%&"}) {
        std::string ignored;
        EXPECT_FALSE(KermitReceiver::Decode(cut, t, ignored)) << cut;
    }
}

TEST(KermitReceiverErrors, ADamagedPacketIsAskedForAndARepeatedOneAnsweredAgain) {
    KermitReceiver r;
    r.start();
    r.receive(MakePacket(0, 'S', "p% @-#Y1~"));
    EXPECT_EQ(Answers(r), "Y0");
    std::string damaged = MakePacket(1, 'F', "RECORDER.INI");
    damaged[damaged.size() - 2] ^= 1;
    r.receive(damaged);
    EXPECT_EQ(Answers(r), "N1");
    r.receive(MakePacket(0, 'S', "p% @-#Y1~"));  // our answer to it was lost
    const auto again = SplitPackets(r.takeOutput());
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].data, "~% @-#N1~ ");
    r.receive(MakePacket(5, 'D', "x"));  // far off
    EXPECT_EQ(Answers(r), "N1");
    r.receive(MakePacket(1, 'F', "RECORDER.INI") + MakePacket(2, 'D', "a=1#M#J") +
              MakePacket(3, 'Z', "") + MakePacket(4, 'B', ""));
    EXPECT_EQ(Answers(r), "Y1 Y2 Y3 Y4");
    EXPECT_EQ(r.ProtocolStatus(), Success);
    ASSERT_EQ(r.files().size(), 1u);
    EXPECT_EQ(r.files()[0].data, "a=1\r\n");
}

// One packet damaged on its way: the eighth bit flipped on its length, or a burst of noise in
// its data. It is asked for again and the file comes whole; the damage never decides that the
// line has parity (which would strip the file's degree and micro signs).
TEST(KermitReceiverErrors, ADamagedPacketIsNeverKeptNorTakenForParity) {
    const std::string file =
        "[units]\r\nunits=\xB0"
        "C \xB5s\r\nrate=100\r\n";
    const std::vector<std::function<void(std::string&)>> faults = {
        [](std::string& p) { p[1] = static_cast<char>(p[1] | 0x80); },
        [](std::string& p) { p.insert(9, "\xB0\x81\xC3\xFF\x95"); },
        [](std::string& p) { p.insert(6, "\x02\xE1\x90\x10\x7F"); },
    };
    for (std::size_t f = 0; f < faults.size(); ++f) {
        KermitSender sender;
        KermitReceiver r;
        r.start();
        sender.StartTransmit({{"RECORDER.INI", file}});
        bool damaged = false;
        for (int guard = 0; sender.InProgress() && guard < 1000; ++guard) {
            std::string out = sender.takeOutput();
            if (!damaged && out.size() > 12 && out[3] == 'D') {
                faults[f](out);
                damaged = true;
            }
            r.receive(out);
            sender.receive(r.takeOutput());
        }
        EXPECT_TRUE(damaged);
        EXPECT_EQ(r.ProtocolStatus(), Success) << f << ": " << r.errorText();
        EXPECT_FALSE(r.terms().eighthBit) << f;
        ASSERT_EQ(r.files().size(), 1u) << f;
        EXPECT_EQ(r.files()[0].data, file) << f;
        EXPECT_GT(sender.resends(), 0u) << f;
    }
}

// Both Kermit programs offer the CRC (check type 3): after the Send-Init every packet, ours
// too, carries it, and a packet with the one-character check no longer passes.
TEST(KermitReceiverTerms, TheCrcIsUsedWhenTheSenderOffersIt) {
    KermitReceiver r;
    r.start();
    r.receive(MakePacket(0, 'S', "p% @-#Y3~"));
    EXPECT_EQ(r.takeOutput(), kermit::Packet(0, 'Y', "~% @-#N3~ ", 1));
    r.receive(kermit::Packet(1, 'F', "R.INI", 3));
    EXPECT_EQ(r.takeOutput(), kermit::Packet(1, 'Y', "", 3));
    r.receive(MakePacket(2, 'D', "abc"));  // the old check
    EXPECT_EQ(r.takeOutput(), kermit::Packet(2, 'N', "", 3));
    r.receive(kermit::Packet(2, 'D', "abc", 3) + kermit::Packet(3, 'Z', "", 3) +
              kermit::Packet(4, 'B', "", 3));
    EXPECT_EQ(r.ProtocolStatus(), Success) << r.errorText();
    ASSERT_EQ(r.files().size(), 1u);
    EXPECT_EQ(r.files()[0].data, "abc");
}

// A sender that sends data packets without data for ever does not keep a read going.
TEST(KermitReceiverErrors, PacketsWithoutDataEndTheRead) {
    KermitReceiver r;
    r.start();
    r.receive(MakePacket(0, 'S', "p% @-#Y1~") + MakePacket(1, 'F', "R.INI") +
              MakePacket(2, 'D', "a"));
    int seq = 3;
    for (; r.InProgress() && seq < 1000; ++seq) r.receive(MakePacket(seq % 64, 'D', ""));
    EXPECT_EQ(r.ProtocolStatus(), NoProgress);
    EXPECT_EQ(seq - 3, KermitReceiver::MaxIdlePackets + 1);
    EXPECT_EQ(SplitPackets(r.takeOutput()).back().type, 'E');
}

// A cancel answers the sender's next packet with the error packet, with that packet's number
// (a sender may drop what comes while it sends); without a packet it goes after about 2 s.
TEST(KermitReceiverErrors, ACancelIsTheAnswerToTheSendersNextPacket) {
    for (bool packetComes : {true, false}) {
        KermitReceiver r;
        r.start();
        r.receive(MakePacket(0, 'S', "p% @-#Y1~") + MakePacket(1, 'F', "R.INI"));
        r.takeOutput();
        r.cancelAtNextPacket("stopped");
        EXPECT_EQ(r.takeOutput(), "");
        EXPECT_TRUE(r.InProgress());
        if (packetComes) {
            r.receive(MakePacket(1, 'F', "R.INI"));  // our answer was lost: sent again
        } else {
            for (int i = 0; i < KermitReceiver::CancelWaitTicks; ++i) r.tick();
        }
        const auto packets = SplitPackets(r.takeOutput());
        ASSERT_EQ(packets.size(), 1u);
        EXPECT_EQ(packets[0].type, 'E');
        EXPECT_EQ(packets[0].seq, packetComes ? 1 : 2);
        EXPECT_FALSE(r.InProgress());
        EXPECT_EQ(r.ProtocolStatus(), Cancelled);
    }
}

TEST(KermitReceiverErrors, GivesUpAfterTenWaitsAndTellsTheSender) {
    KermitReceiver r;
    r.start();
    for (int i = 0; i < 11 * 91 && r.InProgress(); ++i) r.tick();  // 91 ticks: 5 s
    const auto packets = SplitPackets(r.takeOutput());
    ASSERT_EQ(packets.size(), 11u);
    EXPECT_EQ(packets[9].type, 'N');
    EXPECT_EQ(packets[9].seq, 0);
    EXPECT_EQ(packets[10].type, 'E');
    EXPECT_EQ(r.ProtocolStatus(), TriesExhausted);
}

TEST(KermitReceiverErrors, TheSendersErrorPacketEndsIt) {
    KermitReceiver r;
    r.start();
    r.receive(MakePacket(0, 'S', "p% @-#Y1~") + MakePacket(1, 'E', "File not found"));
    EXPECT_FALSE(r.InProgress());
    EXPECT_EQ(r.ProtocolStatus(), SenderError);
    EXPECT_EQ(r.errorText(), "sender error: File not found");
}

TEST(KermitReceiverErrors, HoldsNoMoreThanOneMegabyte) {
    KermitReceiver r;
    r.start();
    r.receive(MakePacket(0, 'S', "~% @-#Y1~") + MakePacket(1, 'F', "BIG.INI"));
    int seq = 2;
    const std::string run = "~~x~~x~~x~~x~~x~~x~~x~~x~~x~~x";  // 10 runs of 94
    while (r.InProgress() && seq < 2000) {
        r.receive(MakePacket(seq % 64, 'D', run));
        ++seq;
    }
    EXPECT_EQ(r.ProtocolStatus(), TooLarge);
    EXPECT_LE(r.bytesReceived(), KermitReceiver::MaxBytes);
    const auto packets = SplitPackets(r.takeOutput());
    ASSERT_FALSE(packets.empty());
    EXPECT_EQ(packets.back().type, 'E');
}

TEST(KermitReceiverErrors, AFileTheSenderDiscardsIsNotKept) {
    KermitReceiver r;
    r.start();
    r.receive(MakePacket(0, 'S', "p% @-#Y1~") + MakePacket(1, 'F', "A.INI") +
              MakePacket(2, 'D', "half") + MakePacket(3, 'Z', "D") + MakePacket(4, 'B', ""));
    EXPECT_EQ(r.ProtocolStatus(), Success);
    EXPECT_TRUE(r.files().empty());
}

}  // namespace
}  // namespace ksr::kermit
