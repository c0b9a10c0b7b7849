// The Kermit receiver fed arbitrary sender bytes, well-formed packets built from the input (with
// the one-character check or the agreed one), time steps and cancels: every answer it sends is a
// well-formed ACK, NAK or error packet, it never holds more than its limit, nothing follows its
// end, and without packets it ends within its tries (a cancel within its wait).

#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "kermit/KermitReceiver.h"

using namespace ksr::kermit;

namespace {

void CheckAnswers(const std::string& out) {
    std::size_t i = 0;
    while (i < out.size()) {
        FUZZ_CHECK(out[i] == '\x01');
        FUZZ_CHECK(i + 1 < out.size());
        const int len = ksr::kermit::UnChar(out[i + 1]);
        FUZZ_CHECK(len >= 3 && len <= 94);
        const std::size_t end = i + 2 + static_cast<std::size_t>(len);
        FUZZ_CHECK(end < out.size());
        const std::string body = out.substr(i + 1, static_cast<std::size_t>(len));
        const bool check1 = ksr::kermit::Check1(body) == out[end - 1];
        const bool check3 =
            len >= 5 && ksr::kermit::Check3(out.substr(i + 1, len - 2)) == out.substr(end - 3, 3);
        FUZZ_CHECK(check1 || check3);
        FUZZ_CHECK(out[end] == '\r');
        const char type = body[2];
        FUZZ_CHECK(type == 'Y' || type == 'N' || type == 'E');
        i = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    KermitReceiver r;
    r.start();
    std::size_t i = 0;
    while (i < size && r.InProgress()) {
        const std::uint8_t op = data[i++];
        if (op < 32) {
            for (int t = 0; t < op * 8; ++t) r.tick();
        } else if (op < 128) {
            // A well-formed packet: type, sequence number and data from the input.
            if (i + 2 > size) break;
            const char type = "SFDZBAEX"[data[i] % 8];
            const int check = data[i] & 8 ? r.terms().checkType : 1;
            const int seq = data[i + 1] % 64;
            i += 2;
            const std::size_t n = std::min<std::size_t>(op - 32, size - i);
            std::string field(reinterpret_cast<const char*>(data + i), n);
            for (char& c : field) c = static_cast<char>(32 + (static_cast<unsigned char>(c) % 95));
            i += n;
            r.receive(ksr::kermit::Packet(seq, type, field, check));
        } else if (op == 255) {
            r.cancelAtNextPacket("cancelled");
        } else {
            const std::size_t n = std::min<std::size_t>(op - 127, size - i);  // 1..127
            r.receive(reinterpret_cast<const char*>(data + i), n);
            i += n;
        }
        CheckAnswers(r.takeOutput());
        FUZZ_CHECK(r.bytesReceived() <= KermitReceiver::MaxBytes);
    }
    // The longest wait a sender may ask for is 60 s.
    const int longest = 60 * 1000 / KermitReceiver::TickMs + 1;
    for (int t = 0; t < longest * (KermitReceiver::MaxTries + 1) && r.InProgress(); ++t) {
        r.tick();
        CheckAnswers(r.takeOutput());
    }
    FUZZ_CHECK(!r.InProgress());
    // Once ended it answers nothing more.
    r.receive(ksr::kermit::Packet(0, 'S', "p% @-#Y1~"));
    r.tick();
    FUZZ_CHECK(r.takeOutput().empty());
    return 0;
}
