#include "kermit/KermitReceiver.h"

#include <algorithm>

namespace ksr::kermit {
namespace {

constexpr char kControlPrefix = '#';
constexpr char kRepeatPrefix = '~';
constexpr char kEighthBitPrefix = '&';

bool IsEighthBitPrefix(char c) {
    const int code = static_cast<unsigned char>(c);
    return (code >= 33 && code <= 62) || (code >= 96 && code <= 126);
}

}  // namespace

std::string KermitReceiver::AnswerInitData(const std::string& init, bool parity) {
    // Eighth-bit prefixing only when the sender asks for it with its prefix, or when parity
    // takes the eighth bit and the sender is willing ('Y').
    const char qbin = init.size() > 6 ? init[6] : 'N';
    char ours = 'N';
    if (IsEighthBitPrefix(qbin))
        ours = 'Y';
    else if (qbin == 'Y' && parity)
        ours = kEighthBitPrefix;
    std::string d;
    d += KermitSender::ToChar(OfferedLength);   // MAXL
    d += KermitSender::ToChar(OfferedTimeout);  // TIME
    d += KermitSender::ToChar(0);               // NPAD
    d += static_cast<char>(0 ^ 64);             // PADC
    d += KermitSender::ToChar('\r');            // EOL
    d += kControlPrefix;                        // QCTL
    d += ours;                                  // QBIN
    d += '1';                                   // CHKT: the one-character check only
    d += init.size() > 8 && init[8] == kRepeatPrefix ? kRepeatPrefix : ' ';  // REPT
    d += KermitSender::ToChar(0);  // CAPAS: no long packets, windows or attributes
    return d;
}

Terms KermitReceiver::Agree(const std::string& init, bool parity) {
    Terms t;
    if (!init.empty()) {
        const int maxl = KermitSender::UnChar(init[0]);
        t.packetLength = maxl >= 10 && maxl <= 94 ? maxl : 80;
    }
    const std::string ours = AnswerInitData(init, parity);
    if (ours[6] == 'Y') t.eighthBit = init[6];
    if (ours[6] == kEighthBitPrefix) t.eighthBit = kEighthBitPrefix;
    t.repeat = ours[8] == kRepeatPrefix;
    return t;
}

bool KermitReceiver::Decode(const std::string& field, const Terms& t, std::string& out) {
    for (std::size_t i = 0; i < field.size();) {
        std::size_t count = 1;
        if (t.repeat && field[i] == kRepeatPrefix) {
            if (i + 2 >= field.size()) return false;
            const int n = KermitSender::UnChar(field[i + 1]);
            if (n < 1 || n > 94) return false;
            count = static_cast<std::size_t>(n);
            i += 2;
        }
        unsigned char high = 0;
        if (t.eighthBit && field[i] == t.eighthBit) {
            if (++i >= field.size()) return false;
            high = 0x80;
        }
        unsigned char c = static_cast<unsigned char>(field[i++]);
        if (c == kControlPrefix) {
            if (i >= field.size()) return false;
            c = static_cast<unsigned char>(field[i++]);
            const unsigned char low = c & 0x7F;
            // '#' then '@'..'_' or '?' is a control character (or DEL); any other character
            // after it is itself, a prefix character.
            if ((low >= 0x40 && low <= 0x5F) || low == '?') c ^= 64;
        }
        out.append(count, static_cast<char>(c | high));
    }
    return true;
}

void KermitReceiver::start() {
    *this = KermitReceiver{};
    inProgress_ = true;
    phase_ = Phase::Init;
}

std::string KermitReceiver::takeOutput() {
    std::string out;
    out.swap(output_);
    return out;
}

void KermitReceiver::answer(char type, const std::string& data) {
    lastAnswer_ = KermitSender::Packet(seq_, type, data);
    output_ += lastAnswer_;
    ticksWaited_ = 0;
}

// The packet awaited did not come whole: ask for it again, up to the tries.
void KermitReceiver::nak() {
    if (++tries_ > MaxTries) {
        finish(TriesExhausted,
               "no good packet after " + std::to_string(MaxTries) + " tries", true);
        return;
    }
    output_ += KermitSender::Packet(seq_, 'N', {});
    ticksWaited_ = 0;
}

void KermitReceiver::finish(std::uint16_t status, const std::string& text, bool tellSender) {
    if (tellSender) output_ += KermitSender::Packet(seq_, 'E', text.substr(0, 60));
    inProgress_ = false;
    phase_ = Phase::Idle;
    status_ = status;
    errorText_ = text;
}

void KermitReceiver::cancel(const std::string& reason) {
    if (inProgress_) finish(Cancelled, reason, true);
}

void KermitReceiver::tick() {
    if (!inProgress_) return;
    if (++ticksWaited_ >= waitTicks_) nak();
}

void KermitReceiver::receive(const char* bytes, std::size_t count) {
    if (!inProgress_) return;
    reader_.add(bytes, count);
    RawPacket p;
    while (inProgress_ && reader_.next(p)) {
        if (!p.checkOk)
            nak();
        else
            handlePacket(p.seq, p.type, p.data);
    }
}

void KermitReceiver::handlePacket(int seq, char type, const std::string& data) {
    if (type == 'E') {
        finish(SenderError, "sender error: " + data, false);
        return;
    }
    if (seq != seq_) {
        // The packet before, sent again: our answer to it was lost.
        if (seq == (seq_ + 63) % 64 && !lastAnswer_.empty()) {
            if (++tries_ > MaxTries) {
                finish(TriesExhausted, "the sender repeats its packet", true);
                return;
            }
            output_ += lastAnswer_;
            ticksWaited_ = 0;
        } else {
            nak();
        }
        return;
    }
    std::string decoded;
    if (type != 'S' && !Decode(data, terms_, decoded)) {
        nak();
        return;
    }
    switch (phase_) {
        case Phase::Init:
            if (type != 'S') {
                nak();
                return;
            }
            terms_ = Agree(data, reader_.parity());
            if (data.size() > 1) {
                const int time = KermitSender::UnChar(data[1]);
                if (time >= 1 && time <= 60) waitTicks_ = time * 1000 / TickMs;
            }
            answer('Y', AnswerInitData(data, reader_.parity()));
            phase_ = Phase::FileHeader;
            break;
        case Phase::FileHeader:
            if (type == 'B') {
                answer('Y');
                finish(Success, {}, false);
                return;
            }
            if (type != 'F') {
                nak();
                return;
            }
            if (held_ + decoded.size() > MaxBytes) {
                finish(TooLarge, "more than 1 MB", true);
                return;
            }
            held_ += decoded.size();
            files_.push_back({decoded, {}});
            answer('Y');
            phase_ = Phase::Data;
            break;
        case Phase::Data:
            if (type == 'D') {
                if (held_ + decoded.size() > MaxBytes) {
                    finish(TooLarge, "more than 1 MB", true);
                    return;
                }
                held_ += decoded.size();
                files_.back().data += decoded;
            } else if (type == 'Z') {
                // "D" in the end-of-file packet: the sender discards the file.
                if (decoded == "D") files_.pop_back();
                phase_ = Phase::FileHeader;
            } else if (type != 'A') {
                nak();
                return;
            }
            answer('Y');
            break;
        case Phase::Idle:
            return;
    }
    tries_ = 0;
    seq_ = (seq_ + 1) % 64;
}

}  // namespace ksr::kermit
