#include "kermit/KermitReceiver.h"

#include <algorithm>

namespace ksr::kermit {
namespace {

constexpr char kEighthBitPrefix = '&';

// The sender's repeat prefix, when it offers one that clashes with none of its other prefixes.
char RepeatPrefixOffered(const std::string& init, char eighthBit) {
    const char rept = InitChar(init, REPT, ' ');
    if (!IsPrefixChar(rept) || rept == ControlPrefixOf(init) || rept == eighthBit) return 0;
    return rept;
}

}  // namespace

std::string KermitReceiver::AnswerInitData(const std::string& init, bool parity) {
    // Eighth-bit prefixing only when the sender asks for it with its prefix, or when parity
    // takes the eighth bit and the sender is willing ('Y').
    const char qbin = InitChar(init, QBIN, 'N');
    char ours = 'N';
    if (IsPrefixChar(qbin))
        ours = 'Y';
    else if (qbin == 'Y' && parity)
        ours = kEighthBitPrefix;
    const char eighthBit = ours == 'Y' ? qbin : ours == kEighthBitPrefix ? kEighthBitPrefix : 0;
    const char repeat = RepeatPrefixOffered(init, eighthBit);
    // CHKT: the CRC when offered; REPT: the sender's, agreed; CAPAS 0: no long packets, windows
    // or attributes.
    return InitData(OfferedLength, OfferedTimeout, ours,
                    InitChar(init, CHKT, '1') == '3' ? '3' : '1', repeat ? repeat : ' ', 1);
}

Terms KermitReceiver::Agree(const std::string& init, bool parity) {
    Terms t;
    if (!init.empty()) {
        const int maxl = UnChar(init[MAXL]);
        t.packetLength = maxl >= 10 && maxl <= 94 ? maxl : 80;
    }
    const std::string ours = AnswerInitData(init, parity);
    if (ours[QBIN] == 'Y') t.eighthBit = init[QBIN];
    if (ours[QBIN] == kEighthBitPrefix) t.eighthBit = kEighthBitPrefix;
    // The sender prefixes its control characters with its own QCTL.
    t.control = ControlPrefixOf(init);
    t.repeat = ours[REPT] != ' ';
    if (t.repeat) t.repeatPrefix = ours[REPT];
    t.checkType = ours[CHKT] - '0';
    return t;
}

bool KermitReceiver::Decode(const std::string& field, const Terms& t, std::string& out) {
    for (std::size_t i = 0; i < field.size();) {
        std::size_t count = 1;
        if (t.repeat && field[i] == t.repeatPrefix) {
            if (i + 2 >= field.size()) return false;
            const int n = UnChar(field[i + 1]);
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
        if (c == static_cast<unsigned char>(t.control)) {
            if (i >= field.size()) return false;
            c = static_cast<unsigned char>(field[i++]);
            const unsigned char low = c & 0x7F;
            // The prefix then '@'..'_' or '?' is a control character (or DEL); any other
            // character after it is itself, a prefix character.
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

void KermitReceiver::answer(char type, const std::string& data) {
    // The answer to the Send-Init carries the one-character check; the agreed one follows.
    const int check = phase_ == Phase::Init ? 1 : terms_.checkType;
    lastAnswer_ = Packet(seq_, type, data, check);
    output_ += lastAnswer_;
    ticksWaited_ = 0;
}

// The packet awaited did not come whole: ask for it again, up to the tries.
void KermitReceiver::nak() {
    if (++tries_ > MaxTries) {
        finish(TriesExhausted, "no good packet after " + std::to_string(MaxTries) + " tries", true);
        return;
    }
    output_ += Packet(seq_, 'N', {}, terms_.checkType);
    ticksWaited_ = 0;
}

void KermitReceiver::finish(std::uint16_t status, const std::string& text, bool tellSender) {
    if (tellSender) output_ += Packet(seq_, 'E', text.substr(0, 60), terms_.checkType);
    inProgress_ = false;
    cancelling_ = false;
    phase_ = Phase::Idle;
    status_ = status;
    errorText_ = text;
}

void KermitReceiver::cancel(const std::string& reason) {
    if (inProgress_) finish(Cancelled, reason, true);
}

void KermitReceiver::cancelAtNextPacket(const std::string& reason) {
    if (!inProgress_) return;
    cancelling_ = true;
    cancelReason_ = reason;
    ticksWaited_ = 0;
}

void KermitReceiver::tick() {
    if (!inProgress_) return;
    if (cancelling_) {
        if (++ticksWaited_ >= CancelWaitTicks) finish(Cancelled, cancelReason_, true);
        return;
    }
    if (++ticksWaited_ >= waitTicks_) nak();
}

void KermitReceiver::receive(const char* bytes, std::size_t count) {
    if (!inProgress_) return;
    reader_.add(bytes, count);
    RawPacket p;
    while (inProgress_ && reader_.next(p)) {
        if (cancelling_) {
            // The sender waits for the answer to this packet: the error packet is it.
            if (p.checkOk) seq_ = p.seq;
            finish(Cancelled, cancelReason_, true);
        } else if (!p.checkOk) {
            nak();
        } else if (++packets_ > MaxPackets) {
            finish(NoProgress, "more than " + std::to_string(MaxPackets) + " packets", true);
        } else {
            handlePacket(p.seq, p.type, p.data);
        }
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
            if (data.size() > 1) {
                const int time = UnChar(data[1]);
                if (time >= 1 && time <= 60) waitTicks_ = time * 1000 / TickMs;
            }
            answer('Y', AnswerInitData(data, reader_.parity()));
            terms_ = Agree(data, reader_.parity());
            reader_.setCheckType(terms_.checkType);
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
            if (type == 'D' || type == 'A') {
                // A sender that keeps sending without data never ends a read.
                idlePackets_ = type == 'D' && !decoded.empty() ? 0 : idlePackets_ + 1;
                if (idlePackets_ > MaxIdlePackets) {
                    finish(NoProgress,
                           std::to_string(idlePackets_) + " packets in a row without data", true);
                    return;
                }
            }
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
