// The engine against real Kermit receivers from Debian over pseudo-terminals: every file must
// arrive byte for byte.

#include <gtest/gtest.h>

#include <random>

#include "TestSupport.h"
#include "serial/PtyHarness.h"

namespace ksr {
namespace {

using kermit::KermitSender;
using kermit::SendFile;

std::string RecorderIniText() {
    std::string text;
    for (int i = 0; i < 120; ++i) text += "channel_" + std::to_string(i) + "_samplerate=100\r\n";
    return text + "comment=\xB0 and \xB5s\r\n[timer]\r\n";
}

std::vector<SendFile> TestFiles() {
    std::mt19937 rng(42);
    std::string big;
    while (big.size() < 100 * 1024) big += static_cast<char>(rng() % 256);
    return {
        {"RECORDER.INI", RecorderIniText()},
        {"RUNS.INI", std::string(500, ' ') + std::string(200, '#') + std::string(300, '~') +
                         "##~~#~\r\n" + std::string(1000, '\0') + std::string(97, '\xB0')},
        {"EMPTY.INI", ""},
        {"BIG.INI", big},
    };
}

// Sends the files through the receiver and compares what it wrote, under the names it gives.
void ExpectReceived(const std::vector<std::string>& receiver, bool lineArgument, bool lowerNames,
                    const std::vector<SendFile>& files = TestFiles()) {
    test::TempDir dir;
    test::PtyPeer peer(receiver, dir.path(), lineArgument);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    KermitSender sender;
    sender.StartTransmit(files);
    const auto result = test::Drive(sender, peer.master(), 120);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.status, kermit::Success) << sender.errorText();
    EXPECT_EQ(peer.wait(10), 0);
    for (const auto& f : files) {
        std::string name = f.name;
        if (lowerNames)
            for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        ASSERT_TRUE(std::filesystem::exists(dir / name)) << name;
        EXPECT_TRUE(test::ReadBytes(dir / name) == f.data) << name;
    }
}

TEST(KermitInterop, GKermitWithItsDefaults) {
    ExpectReceived({"gkermit", "-r", "-i", "-w"}, false, true);
}

TEST(KermitInterop, GKermitWithShortPacketsAndParityAskingForEighthBitPrefixing) {
    ExpectReceived({"gkermit", "-r", "-i", "-w", "-e", "60", "-p", "e"}, false, true);
}

TEST(KermitInterop, CKermitWithItsDefaults) {
    ExpectReceived({"kermit", "-Y", "-H", "-B", "-b", "9600", "-i", "-r", "-l"}, true, true);
}

TEST(KermitInterop, CKermitWithItsOwnTerms) {
    test::TempDir scripts;
    test::WriteBytes(
        scripts / "recv.ksc",
        "set line \\%1\r\nset carrier-watch off\r\nset flow none\r\nset file type binary\r\n"
        "set file collision overwrite\r\nset receive packet-length 40\r\nset repeat prefix 126\r\n"
        "set parity space\r\nreceive\r\nexit \\v(status)\r\n");
    ExpectReceived({"kermit", (scripts / "recv.ksc").string(), "-Y", "-H", "-B", "="}, true, true);
}

// The receiver engine takes the files of a real sender on the recorder's console, byte for byte.
void ExpectSent(const std::vector<std::string>& sender) {
    test::TempDir dir;
    std::mt19937 rng(11);
    std::string random;
    while (random.size() < 100 * 1024) random += static_cast<char>(rng() % 256);
    for (const auto& [name, bytes] : {std::pair<std::string, std::string>{"recorder.ini",
                                                                           RecorderIniText()},
                                      {"random.bin", random}}) {
        test::WriteBytes(dir / name, bytes);
        std::vector<std::string> argv = sender;
        argv.push_back(name);
        test::PtyPeer peer(argv, dir.path());
        kermit::KermitReceiver receiver;
        receiver.start();
        const auto result = test::Drive(receiver, peer.master(), 120);
        EXPECT_TRUE(result.finished) << name;
        EXPECT_EQ(result.status, kermit::Success) << name << ": " << receiver.errorText();
        ASSERT_EQ(receiver.files().size(), 1u) << name;
        EXPECT_TRUE(receiver.files()[0].data == bytes) << name;
        EXPECT_EQ(peer.wait(10), 0) << name;
    }
}

TEST(KermitInterop, ReceivesFromGKermit) {
    ExpectSent({"gkermit", "-i", "-s"});
}

TEST(KermitInterop, ReceivesFromCKermitOnItsConsole) {
    ExpectSent({"kermit", "-Y", "-i", "-s"});
}

TEST(KermitInteropFaults, ReceiverThatNeverAnswersEndsAfterTheTries) {
    test::TempDir dir;
    test::PtyPeer peer({"sleep", "600"}, dir.path());
    KermitSender sender;
    sender.StartTransmit({{"RECORDER.INI", "x"}});
    // Time runs 100 times faster in the engine than on the wall clock: 10 tries of 60 s each.
    const auto result = test::Drive(sender, peer.master(), 30, 100);
    EXPECT_TRUE(result.finished);
    EXPECT_EQ(result.status, kermit::TriesExhausted);
    EXPECT_EQ(sender.packetsSent(), 10u);
}

TEST(KermitInteropFaults, LineClosedMidTransferEndsWithAFailure) {
    test::TempDir dir;
    auto peer = std::make_unique<test::PtyPeer>(
        std::vector<std::string>{"gkermit", "-r", "-i", "-w"}, dir.path());
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    KermitSender sender;
    std::string big(8000000, 'z');
    for (std::size_t i = 0; i < big.size(); i += 3) big[i] = static_cast<char>(i % 256);
    sender.StartTransmit({{"BIG.INI", big}});
    const int master = peer->master();
    std::thread killer([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        peer->wait(0);  // kills the receiver: the far end of the line is gone
    });
    const auto result = test::Drive(sender, master, 60, 100);
    killer.join();
    EXPECT_TRUE(result.finished);
    EXPECT_NE(result.status, kermit::Success);
    EXPECT_LT(sender.bytesDone(), big.size());
}

}  // namespace
}  // namespace ksr
