// The upload session (and the read) fed arbitrary recorder output, time steps, CTS changes,
// Escape, stops and a failing line: what it types on the recorder's console is only ever one of its
// own commands (never a byte that came from the recorder or from a file), nothing follows an Escape
// of the dialogue, a done session sends nothing, and it never asks to be woken in the past.

#include <cstdint>
#include <string>

#include "FuzzCheck.h"
#include "upload/UploadSession.h"

using namespace ksr::upload;

namespace {

bool OwnCommand(const std::string& bytes) {
    static const char* const kCommands[] = {"\x03",
                                            "root\r",
                                            "kelp\r",
                                            "logout\r",
                                            "cd /usr/local/wexo\r",
                                            "kermit -r\r",
                                            "\r",
                                            "kermit -s recorder.ini\r",
                                            "/usr/local/wexo/reconfig\r",
                                            "cksum '/usr/local/wexo/recorder.ini'\r"};
    for (const char* c : kCommands)
        if (bytes == c) return true;
    for (int seq = 0; seq < 64; ++seq)
        if (bytes == UploadSession::ReleaseBytes(seq) + "\x03" ||
            bytes == UploadSession::ReleaseBytes(seq))
            return true;
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    SessionOptions options;
    options.verify = data[0] & 1;
    options.endOnPoll = data[0] & 2;
    options.loginLimitMs = data[0] & 4 ? 60000 : 0;
    options.answerTicks = 20;
    options.job = data[0] & 8 ? Job::Read : Job::Upload;
    options.guard = data[0] & 16;
    UploadSession s({{"RECORDER.INI", "a=1\r\nb=2\r\n"}}, options);
    long long now = 0;
    bool cts = true, escaped = false;
    s.start(now);
    std::size_t i = 1;
    while (i < size && !s.done()) {
        const std::uint8_t op = data[i++];
        if (op < 100) {
            now += op * 20;
            if (s.wakeAt() >= 0 && s.wakeAt() <= now) s.advance(now, cts);
        } else if (op < 200) {
            const std::size_t n = std::min<std::size_t>(op - 100, size - i);
            s.received(std::string(reinterpret_cast<const char*>(data + i), n), now);
            i += n;
        } else if (op < 220) {
            cts = !cts;
        } else if (op < 230) {
            escaped = escaped || s.inDialogue();
            s.escape();
        } else if (op < 235) {
            s.stop(now);
        } else if (op < 240) {
            s.transferPolled(now);
        } else if (op == 240) {
            s.lineFailed("the serial line /dev/x failed", now);
            FUZZ_CHECK(s.done());
            FUZZ_CHECK(s.takeActions().empty());
        }
        FUZZ_CHECK(s.wakeAt() < 0 || s.wakeAt() >= now || s.done());
        for (const LineAction& a : s.takeActions()) {
            FUZZ_CHECK(!escaped);
            if (a.flushInput) continue;
            // Inside the transfer or the read the engines' packets go out, checked by their own
            // targets; the read's answers before its sender starts go behind a '#'.
            const bool engines = s.transferStarted() || s.receiver().started();
            if (engines && a.bytes.rfind("\x01", 0) == 0) continue;
            if ((options.job == Job::Read || options.guard) && a.bytes.rfind("#\x01", 0) == 0)
                continue;
            FUZZ_CHECK(OwnCommand(a.bytes));
        }
        s.takeStatuses();
    }
    if (s.done()) FUZZ_CHECK(s.takeActions().empty());
    return 0;
}
