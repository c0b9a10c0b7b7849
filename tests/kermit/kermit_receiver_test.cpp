#include <gtest/gtest.h>

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
    KermitReceiver r = Loop({{"RECORDER.INI", runs}, {"EMPTY.INI", ""}, {"BIG.INI", random}}, sender);
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
    KermitReceiver r = Loop({{"RECORDER.INI", bytes}}, sender,
                            [](char c) { return static_cast<char>(c | 0x80); });
    EXPECT_EQ(r.ProtocolStatus(), Success) << r.errorText();
    EXPECT_EQ(r.terms().eighthBit, '&');
    EXPECT_EQ(sender.terms().eighthBit, '&');
    ASSERT_EQ(r.files().size(), 1u);
    EXPECT_EQ(r.files()[0].data, bytes);
}

TEST(KermitReceiverTerms, AnswersTheSendInitWithItsOwn) {
    // MAXL 94, TIME 10, no padding, CR, '#', QBIN, check type 1, REPT, no capabilities.
    EXPECT_EQ(KermitReceiver::AnswerInitData("p% @-#Y1~", false), "~* @-#N1~ ");
    EXPECT_EQ(KermitReceiver::AnswerInitData("p% @-#Y1~", true), "~* @-#&1~ ");
    EXPECT_EQ(KermitReceiver::AnswerInitData("p% @-#&3 ", false), "~* @-#Y1  ");
    EXPECT_EQ(KermitReceiver::AnswerInitData("p%", false), "~* @-#N1  ");
    Terms t = KermitReceiver::Agree("p% @-#&3*", false);  // '&' asked, another repeat prefix
    EXPECT_EQ(t.eighthBit, '&');
    EXPECT_FALSE(t.repeat);
    EXPECT_EQ(t.packetLength, 80);
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
    EXPECT_EQ(again[0].data, "~* @-#N1~ ");
    r.receive(MakePacket(5, 'D', "x"));  // far off
    EXPECT_EQ(Answers(r), "N1");
    r.receive(MakePacket(1, 'F', "RECORDER.INI") + MakePacket(2, 'D', "a=1#M#J") +
              MakePacket(3, 'Z', "") + MakePacket(4, 'B', ""));
    EXPECT_EQ(Answers(r), "Y1 Y2 Y3 Y4");
    EXPECT_EQ(r.ProtocolStatus(), Success);
    ASSERT_EQ(r.files().size(), 1u);
    EXPECT_EQ(r.files()[0].data, "a=1\r\n");
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
