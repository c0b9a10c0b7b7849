#include <gtest/gtest.h>

#include <random>

#include "KermitTestReceiver.h"
#include "kermit/KermitSender.h"

namespace ksr::kermit {
namespace {

using test::MakePacket;
using test::SplitPackets;

// Runs a whole transfer against the test receiver; returns the receiver.
test::TestReceiver Transfer(std::vector<SendFile> files, const std::string& initAnswer,
                            KermitSender& sender) {
    test::TestReceiver receiver;
    receiver.initAnswer = initAnswer;
    sender.StartTransmit(std::move(files));
    for (int guard = 0; sender.InProgress() && guard < 100000; ++guard)
        sender.receive(receiver.answer(sender.takeOutput()));
    EXPECT_EQ(receiver.error, "");
    return receiver;
}

std::string Encode(const std::string& s, Terms t) {
    std::size_t pos = 0;
    std::string all;
    while (pos < s.size()) all += KermitSender::EncodeData(s, pos, t);
    return all;
}

TEST(KermitPacket, LayoutAndTypeOneCheck) {
    EXPECT_EQ(kermit::Packet(0, 'N', ""), std::string("\x01# N3\r"));  // the protocol's NAK 0
    const std::string p = kermit::Packet(5, 'D', "hello");
    EXPECT_EQ(p.substr(0, 4), std::string("\x01(%D"));
    EXPECT_EQ(p.back(), '\r');
    EXPECT_EQ(p[p.size() - 2], test::Check(p.substr(1, p.size() - 3)));
}

TEST(KermitSendInit, OffersTheWrittenTerms) {
    EXPECT_EQ(KermitSender::SendInitData(), "p% @-#Y1~    ");
    KermitSender s;
    s.StartTransmit({{"RECORDER.INI", "x"}});
    const auto packets = SplitPackets(s.takeOutput());
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].type, 'S');
    EXPECT_EQ(packets[0].seq, 0);
    EXPECT_EQ(packets[0].data, "p% @-#Y1~    ");
    EXPECT_TRUE(packets[0].checkOk);
}

TEST(KermitNegotiation, PacketLengthRepeatAndEighthBit) {
    Terms t = KermitSender::Negotiate("~* @-#Y1~");
    EXPECT_EQ(t.packetLength, 80);
    EXPECT_TRUE(t.repeat);
    EXPECT_EQ(t.eighthBit, 0);
    t = KermitSender::Negotiate("\\* @-#&1 ");  // MAXL 60, '&' asked, no repeat
    EXPECT_EQ(t.packetLength, 60);
    EXPECT_FALSE(t.repeat);
    EXPECT_EQ(t.eighthBit, '&');
    EXPECT_EQ(KermitSender::Negotiate("~* @-#N1%").eighthBit, 0);
    EXPECT_FALSE(KermitSender::Negotiate("~* @-#N1%").repeat);  // another repeat prefix: none
    EXPECT_EQ(KermitSender::Negotiate("~* @-#Y").packetLength, 80);
    EXPECT_EQ(KermitSender::Negotiate("").packetLength, 80);
    EXPECT_EQ(KermitSender::Negotiate("~* @-#A1~").eighthBit, 0);  // 'A' is no prefix character
}

TEST(KermitEncoding, ControlCharactersAndPrefixes) {
    const Terms plain;
    Terms rep;
    rep.repeat = true;
    Terms eight = rep;
    eight.eighthBit = '&';
    EXPECT_EQ(Encode("a\r\nb", plain), "a#M#Jb");
    EXPECT_EQ(Encode(std::string("\0\x7F", 2), plain), "#@#?");
    EXPECT_EQ(Encode("#", plain), "##");
    EXPECT_EQ(Encode("~", plain), "~");
    EXPECT_EQ(Encode("~", rep), "#~");
    EXPECT_EQ(Encode("&", rep), "&");
    EXPECT_EQ(Encode("&", eight), "#&");
    EXPECT_EQ(Encode("\xB0\xB5", rep), "\xB0\xB5");
    EXPECT_EQ(Encode("\xB0\xB5", eight), "&0&5");
    EXPECT_EQ(Encode("\x8D", eight), "&#M");
    EXPECT_EQ(Encode("\x8D", rep), "\x8D");  // 128..159 and 255 are no control characters
    EXPECT_EQ(Encode("\x80\x9F\xFF", plain), "\x80\x9F\xFF");
    EXPECT_EQ(Encode("\xA3", eight), "&##");
    EXPECT_EQ(Encode("\xA3", rep), "#\xA3");
    EXPECT_EQ(Encode("\xFE", rep), "#\xFE");  // the repeat prefix with bit 7 set is quoted too
    EXPECT_EQ(Encode("\xFE", plain), "\xFE");
}

TEST(KermitEncoding, RunsOfFiveToNinetyFour) {
    Terms rep;
    rep.repeat = true;
    EXPECT_EQ(Encode("aaaa", rep), "aaaa");
    EXPECT_EQ(Encode("aaaaa", rep), "~%a");
    EXPECT_EQ(Encode(std::string(94, 'x'), rep), "~~x");
    EXPECT_EQ(Encode(std::string(200, 'x'), rep), "~~x~~x~,x");
    EXPECT_EQ(Encode(std::string(6, '\n'), rep), "~&#J");
    EXPECT_EQ(Encode(std::string(5, '#'), rep), "~%##");
    EXPECT_EQ(Encode(std::string(5, 'a'), Terms{}), "aaaaa");
}

TEST(KermitEncoding, FillsToLengthMinusSixPlacingTheLastEncodingWhole) {
    Terms t;
    t.packetLength = 80;
    const std::string text(100, 'a');
    std::size_t pos = 0;
    EXPECT_EQ(KermitSender::EncodeData(text, pos, t).size(), 74u);
    EXPECT_EQ(pos, 74u);
    const std::string mixed = std::string(73, 'a') + "\r" + "zz";
    pos = 0;
    EXPECT_EQ(KermitSender::EncodeData(mixed, pos, t), std::string(73, 'a') + "#M");
    EXPECT_EQ(pos, 74u);
    t.packetLength = 40;
    pos = 0;
    EXPECT_EQ(KermitSender::EncodeData(text, pos, t).size(), 34u);
}

TEST(KermitEncoding, NeverBeyondTheReceiversPacketLength) {
    Terms t;
    t.repeat = true;
    t.eighthBit = '&';
    std::string text;
    for (int i = 0; i < 73; ++i) text += static_cast<char>('a' + i % 2);
    text += std::string(6, '\x8D');
    std::size_t pos = 0;
    const std::string field = KermitSender::EncodeData(text, pos, t);
    EXPECT_LE(field.size() + 3, 80u);
    EXPECT_EQ(pos, 73u);  // the five-character run encoding waits for the next packet
}

TEST(KermitTransfer, FileArrivesWithTheNegotiatedTerms) {
    std::mt19937 rng(1);
    std::string data;
    for (int i = 0; i < 20000; ++i) data += static_cast<char>(i % 7 == 0 ? 'k' : rng() % 256);
    data += std::string(300, '~') + std::string(50, '#') + "\r\n";
    for (const std::string answer : {"~* @-#Y1~", "~* @-#&1~", "7* @-#N1 ", "~"}) {
        KermitSender s;
        const auto r = Transfer({{"RECORDER.INI", data}, {"EMPTY.INI", ""}}, answer, s);
        EXPECT_EQ(s.ProtocolStatus(), Success) << answer;
        EXPECT_TRUE(r.done);
        EXPECT_EQ(r.files.at("RECORDER.INI"), data) << answer;
        EXPECT_EQ(r.files.at("EMPTY.INI"), "");
        EXPECT_EQ(s.bytesDone(), data.size());
        EXPECT_EQ(s.bytesTotal(), data.size());
    }
}

TEST(KermitTransfer, PacketOrderAndSequenceNumbersPast63) {
    KermitSender s;
    const auto r =
        Transfer({{"A.INI", std::string(10000, 'q') + "x"}, {"B.INI", "b"}}, "~* @-#Y1 ", s);
    ASSERT_GT(r.seqs.size(), 70u);
    for (std::size_t i = 0; i < r.seqs.size(); ++i) EXPECT_EQ(r.seqs[i], static_cast<int>(i % 64));
    EXPECT_EQ(r.types.front(), 'S');
    EXPECT_EQ(r.types[1], 'F');
    EXPECT_EQ(r.types.back(), 'B');
    EXPECT_EQ(std::count(r.types.begin(), r.types.end(), 'Z'), 2);
}

class KermitRetries : public ::testing::Test {
  protected:
    KermitSender s;
    std::string first;
    void SetUp() override {
        s.StartTransmit({{"R.INI", "abc"}});
        first = s.takeOutput();
    }
    void expectResent() { EXPECT_EQ(s.takeOutput(), first); }
};

TEST_F(KermitRetries, NegativeAnswerResends) {
    s.receive(MakePacket(0, 'N', ""));
    expectResent();
}

TEST_F(KermitRetries, WrongSequenceResends) {
    s.receive(MakePacket(5, 'Y', ""));
    expectResent();
}

TEST_F(KermitRetries, RepeatedAcknowledgementOfThePacketBeforeResendsOnce) {
    s.receive(MakePacket(0, 'Y', "~* @-#Y1~"));
    const std::string header = s.takeOutput();
    // The receiver got a damaged header and answers with its previous acknowledgement again.
    s.receive(MakePacket(0, 'Y', "~* @-#Y1~"));
    EXPECT_EQ(s.takeOutput(), header);
    EXPECT_EQ(s.resends(), 1u);
    // A duplicate the line made, right behind it: no second resend.
    s.receive(MakePacket(0, 'Y', "~* @-#Y1~"));
    EXPECT_FALSE(s.hasOutput());
    // The receiver asking again after its own time-out (5 s) is answered.
    for (int i = 0; i < 5000 / KermitSender::TickMs; ++i) s.tick();
    s.receive(MakePacket(0, 'Y', "~* @-#Y1~"));
    EXPECT_EQ(s.takeOutput(), header);
    s.receive(MakePacket(1, 'Y', ""));
    EXPECT_EQ(SplitPackets(s.takeOutput()).at(0).type, 'D');
}

TEST_F(KermitRetries, BadCheckResendsButWhatIsNoPacketIsNoAnswer) {
    std::string bad = MakePacket(0, 'Y', "~* @-#Y1~");
    bad[5] = 'X';
    s.receive(bad);
    expectResent();
    // A mark followed by an impossible length, many times over: skipped, no try used.
    std::string junk;
    for (int i = 0; i < 30; ++i) junk += "\x01!";
    s.receive(junk + std::string("\x01\x7F", 2));
    EXPECT_FALSE(s.hasOutput());
    EXPECT_TRUE(s.InProgress());
    EXPECT_EQ(s.resends(), 1u);
    s.receive(MakePacket(0, 'Y', "~* @-#Y1~"));  // the real answer still counts
    EXPECT_EQ(SplitPackets(s.takeOutput()).at(0).type, 'F');
}

TEST_F(KermitRetries, NoiseBetweenPacketsIsSkipped) {
    s.receive("line noise\r\n" + MakePacket(0, 'Y', "~* @-#Y1~") + "more");
    const auto next = SplitPackets(s.takeOutput());
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].type, 'F');
}

TEST_F(KermitRetries, AnswerSplitAcrossReads) {
    const std::string ack = MakePacket(0, 'Y', "~* @-#Y1~");
    for (char c : ack) s.receive(&c, 1);
    EXPECT_EQ(SplitPackets(s.takeOutput()).at(0).type, 'F');
}

TEST_F(KermitRetries, NakForTheNextPacketCountsAsAcknowledged) {
    s.receive(MakePacket(1, 'N', ""));
    EXPECT_EQ(SplitPackets(s.takeOutput()).at(0).type, 'F');
}

TEST_F(KermitRetries, TimeOutAfter1092TicksResendsAndTenTriesEndTheTransfer) {
    for (int i = 0; i < KermitSender::AnswerTicks - 1; ++i) s.tick();
    EXPECT_FALSE(s.hasOutput());
    s.tick();
    expectResent();
    for (int tries = 2; tries < KermitSender::MaxTries; ++tries) {
        for (int i = 0; i < KermitSender::AnswerTicks; ++i) s.tick();
        expectResent();
    }
    for (int i = 0; i < KermitSender::AnswerTicks; ++i) s.tick();
    EXPECT_FALSE(s.InProgress());
    EXPECT_EQ(s.ProtocolStatus(), TriesExhausted);
    const auto tail = SplitPackets(s.takeOutput());
    ASSERT_EQ(tail.size(), 1u);
    EXPECT_EQ(tail[0].type, 'E');  // the receiver is told
    EXPECT_EQ(s.packetsSent(), 10u);
}

TEST_F(KermitRetries, FloodOfNaksEndsAfterTenTries) {
    for (int i = 0; i < 50 && s.InProgress(); ++i) s.receive(MakePacket(0, 'N', ""));
    EXPECT_EQ(s.ProtocolStatus(), TriesExhausted);
    EXPECT_EQ(s.packetsSent(), 10u);
}

TEST_F(KermitRetries, ErrorPacketEndsTheTransfer) {
    s.receive(MakePacket(0, 'E', "disk full"));
    EXPECT_FALSE(s.InProgress());
    EXPECT_EQ(s.ProtocolStatus(), ReceiverError);
    EXPECT_NE(s.errorText().find("disk full"), std::string::npos);
    EXPECT_FALSE(s.hasOutput());
}

TEST_F(KermitRetries, BreakAcknowledgedIsSuccess) {
    s.receive(MakePacket(0, 'Y', "~* @-#Y1~"));  // S
    s.takeOutput();
    s.receive(MakePacket(1, 'Y', ""));  // F
    s.takeOutput();
    s.receive(MakePacket(2, 'Y', ""));  // D
    s.takeOutput();
    s.receive(MakePacket(3, 'Y', ""));  // Z
    EXPECT_EQ(SplitPackets(s.takeOutput()).at(0).type, 'B');
    EXPECT_TRUE(s.InProgress());
    s.receive(MakePacket(4, 'Y', ""));
    EXPECT_FALSE(s.InProgress());
    EXPECT_EQ(s.ProtocolStatus(), Success);
}

// Even parity on every byte of a packet, as a receiver set to use parity sends it.
std::string WithEvenParity(std::string packet) {
    for (char& c : packet) {
        unsigned char b = static_cast<unsigned char>(c) & 0x7F;
        if (__builtin_popcount(b) % 2) b |= 0x80;
        c = static_cast<char>(b);
    }
    return packet;
}

// Odd parity on every byte, as gkermit -p o sends.
std::string WithOddParity(std::string packet) {
    for (char& c : packet) {
        unsigned char b = static_cast<unsigned char>(c) & 0x7F;
        if (__builtin_popcount(b) % 2 == 0) b |= 0x80;
        c = static_cast<char>(b);
    }
    return packet;
}

TEST_F(KermitRetries, ParityIsDetectedEvenWhenTheRawCheckHappensToPass) {
    // Answers whose raw bytes still check (an even number of parity bits cancels out) must
    // not be taken as they stand.
    int checked = 0;
    for (const std::string& init : {std::string("\\* @-#&1~"), std::string("q* @-#&1~"),
                                    std::string("I* @-#&1~"), std::string("R* @-#&1~")}) {
        for (auto withParity : {WithEvenParity, WithOddParity}) {
            KermitSender k;
            k.StartTransmit({{"R.INI", "abc"}});
            k.takeOutput();
            const std::string answer = withParity(MakePacket(0, 'Y', init));
            const std::string body = answer.substr(1, answer.size() - 3);
            if (kermit::Check1(body) == answer[answer.size() - 2]) ++checked;
            k.receive(answer);
            EXPECT_TRUE(k.parityDetected()) << init;
            EXPECT_EQ(k.terms().eighthBit, '&') << init;
            EXPECT_EQ(k.terms().packetLength, std::min(80, kermit::UnChar(init[0])));
            EXPECT_EQ(SplitPackets(k.takeOutput()).at(0).type, 'F') << init;
        }
    }
    EXPECT_GT(checked, 0) << "no case where the raw check passes: the test proves nothing";
}

TEST_F(KermitRetries, ParityOnTheReceiversBytesIsDetectedAndStripped) {
    s.receive(WithEvenParity(MakePacket(0, 'Y', "\\* @-#&1~")));
    EXPECT_TRUE(s.parityDetected());
    EXPECT_EQ(s.terms().eighthBit, '&');
    const auto next = SplitPackets(s.takeOutput());
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0].type, 'F');
    s.receive(WithEvenParity(MakePacket(1, 'Y', "")));
    EXPECT_EQ(SplitPackets(s.takeOutput()).at(0).type, 'D');
}

TEST(KermitFaults, DuplicatedAcknowledgementsAndNoiseStillDeliverTheFile) {
    std::mt19937 rng(3);
    std::string data;
    for (int i = 0; i < 3000; ++i) data += static_cast<char>(rng() % 256);
    KermitSender s;
    test::TestReceiver receiver;
    s.StartTransmit({{"R.INI", data}});
    std::string previousAnswer;
    for (int guard = 0; s.InProgress() && guard < 10000; ++guard) {
        const std::string answer = receiver.answer(s.takeOutput());
        std::string noise;
        for (int i = static_cast<int>(rng() % 20); i > 0; --i)
            noise += static_cast<char>(32 + rng() % 90);
        // Every answer arrives after noise, some twice, some after the previous one again.
        std::string line = noise + answer;
        if (rng() % 4 == 0) line += answer;
        if (rng() % 5 == 0) line = previousAnswer + line;
        previousAnswer = answer;
        s.receive(line);
    }
    EXPECT_EQ(s.ProtocolStatus(), Success) << s.errorText();
    EXPECT_EQ(receiver.files.at("R.INI"), data);
}

TEST(KermitFaults, ALineThatDuplicatesEveryAnswerCompletesWithOneExtraSendAtMost) {
    std::string data;
    for (int i = 0; i < 5000; ++i) data += static_cast<char>('a' + i % 26);
    KermitSender s;
    test::TestReceiver receiver;
    s.StartTransmit({{"R.INI", data}});
    std::uint64_t packets = 0;
    for (int guard = 0; s.InProgress() && guard < 10000; ++guard) {
        const std::string out = s.takeOutput();
        packets += SplitPackets(out).size();
        const std::string answer = receiver.answer(out);
        s.receive(answer + answer);
    }
    EXPECT_EQ(s.ProtocolStatus(), Success) << s.errorText();
    EXPECT_EQ(receiver.files.at("R.INI"), data);
    const std::uint64_t distinct = s.packetsSent() - s.resends();
    EXPECT_LE(s.resends(), distinct);  // at most one extra send per packet
}

TEST(KermitFaults, ADamagedPacketIsSentAgainAtOnceNotAfterTheAnswerTime) {
    std::string data(27000, 'k');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(' ' + i % 90);
    KermitSender s;
    test::TestReceiver receiver;
    receiver.reackDamaged = true;
    s.StartTransmit({{"R.INI", data}});
    std::size_t sent = 0;
    int ticks = 0, damaged = 0;
    for (int guard = 0; s.InProgress() && guard < 100000; ++guard) {
        std::string out = s.takeOutput();
        // One flipped bit every 3001 bytes of packet data on the way to the receiver.
        for (std::size_t i = 4; i + 2 < out.size(); ++i)
            if (++sent % 3001 == 0) {
                out[i] = static_cast<char>(out[i] ^ 0x04);
                ++damaged;
            }
        const std::string answer = receiver.answer(out);
        if (answer.empty()) {
            s.tick();  // nothing came back: time passes
            ++ticks;
        }
        s.receive(answer);
    }
    EXPECT_EQ(s.ProtocolStatus(), Success) << s.errorText();
    EXPECT_EQ(receiver.files.at("R.INI"), data);
    EXPECT_GT(damaged, 5);
    EXPECT_LT(ticks, KermitSender::AnswerTicks);  // never waited out a whole answer time
}

TEST(KermitStart, NoFilesIsAFailure) {
    KermitSender s;
    s.StartTransmit({});
    EXPECT_FALSE(s.InProgress());
    EXPECT_EQ(s.ProtocolStatus(), NoFiles);
    EXPECT_FALSE(s.hasOutput());
}

TEST(KermitStart, CancelTellsTheReceiver) {
    KermitSender s;
    s.StartTransmit({{"R.INI", "abc"}});
    s.takeOutput();
    s.cancel("line closed");
    EXPECT_EQ(s.ProtocolStatus(), Cancelled);
    EXPECT_EQ(SplitPackets(s.takeOutput()).at(0).type, 'E');
}

}  // namespace
}  // namespace ksr::kermit
