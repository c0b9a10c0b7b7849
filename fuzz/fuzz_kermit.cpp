// The Kermit sender fed arbitrary receiver bytes and time steps: every packet it sends is well
// formed (layout, length, check), no packet is sent more often than the try limit allows, and
// the transfer always ends.

#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "kermit/KermitSender.h"

using namespace ksr::kermit;

namespace {

int Un(char c) {
    return static_cast<unsigned char>(c) - 32;
}

// Checks the packets in `out`; counts how often the same packet was sent in a row.
void CheckPackets(const std::string& out, const KermitSender& s, std::string& last, int& repeats) {
    std::size_t i = 0;
    while (i < out.size()) {
        FUZZ_CHECK(out[i] == '\x01');
        FUZZ_CHECK(i + 1 < out.size());
        const int len = Un(out[i + 1]);
        FUZZ_CHECK(len >= 3 && len <= 94);
        const std::size_t end = i + 2 + static_cast<std::size_t>(len);  // the CR
        FUZZ_CHECK(end < out.size());
        const std::string body = out.substr(i + 1, static_cast<std::size_t>(len));
        FUZZ_CHECK(ksr::kermit::Check1(body) == out[end - 1]);
        FUZZ_CHECK(out[end] == '\r');
        const char type = body[2];
        if (type == 'D' || type == 'F') FUZZ_CHECK(len <= s.terms().packetLength);
        const std::string packet = out.substr(i, end - i + 1);
        repeats = packet == last ? repeats + 1 : 1;
        last = packet;
        FUZZ_CHECK(repeats <= KermitSender::MaxTries);
        i = end + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    const std::size_t fileSize = std::min<std::size_t>(data[0] * 16u, size - 1);
    std::string file(reinterpret_cast<const char*>(data + 1), fileSize);
    KermitSender s;
    s.setAnswerTicks(20);
    s.StartTransmit({{"RECORDER.INI", file}});
    std::string last;
    int repeats = 0;
    CheckPackets(s.takeOutput(), s, last, repeats);
    // The rest: an opcode byte, then either a tick count or a chunk of receiver bytes.
    std::size_t i = 1 + fileSize;
    while (i < size && s.InProgress()) {
        const std::uint8_t op = data[i++];
        if (op < 64) {
            for (int t = 0; t < op; ++t) s.tick();
        } else {
            const std::size_t n = std::min<std::size_t>(op - 63, size - i);
            s.receive(reinterpret_cast<const char*>(data + i), n);
            i += n;
        }
        CheckPackets(s.takeOutput(), s, last, repeats);
    }
    // Without answers the transfer ends within its tries.
    for (int t = 0; t < 20 * (KermitSender::MaxTries + 1) && s.InProgress(); ++t) {
        s.tick();
        CheckPackets(s.takeOutput(), s, last, repeats);
    }
    FUZZ_CHECK(!s.InProgress());
    return 0;
}
