#include "kermit/KermitSender.h"

#include <algorithm>

namespace ksr::kermit {
namespace {

constexpr int kLongestRun = 94;
constexpr int kShortestRun = 5;
// A repeated acknowledgement of the packet before that comes this long after our last send is
// the receiver asking again (it got a damaged packet), not a duplicate the line made.
constexpr int kStaleGapTicks = 36;  // about 2 s

bool IsControl(unsigned char c) {
    return c < 32 || c == 127;
}

// The encoding of one character (without any repeat count). Without eighth-bit prefixing a byte
// with bit 7 set is no control character (only 0..31 and 127 are) and goes as it is, unless it is
// a prefix character with bit 7 set.
std::string EncodeChar(unsigned char c, const Terms& t) {
    std::string out;
    if ((c & 0x80) && t.eighthBit) {
        out += t.eighthBit;
        c &= 0x7F;
    }
    const unsigned char low = c & 0x7F;
    if (IsControl(c)) {
        out += ControlPrefix;
        out += static_cast<char>(c ^ 64);
    } else if (low == ControlPrefix || (t.repeat && low == RepeatPrefix) ||
               (t.eighthBit && low == static_cast<unsigned char>(t.eighthBit))) {
        out += ControlPrefix;
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(c);
    }
    return out;
}

}  // namespace

std::string KermitSender::SendInitData() {
    // QBIN "Y": eighth-bit prefixing only if the receiver asks; then CAPAS, WINDO, MAXLX1 and
    // MAXLX2 all 0: no long packets, no sliding windows.
    return InitData(OfferedLength, OfferedTimeout, 'Y', '1', RepeatPrefix, 4);
}

Terms KermitSender::Negotiate(const std::string& init) {
    Terms t;
    if (!init.empty()) {
        const int maxl = UnChar(init[MAXL]);
        if (maxl >= 10) t.packetLength = std::min(OfferedLength, maxl);
    }
    if (IsPrefixChar(InitChar(init, QBIN, 'N'))) t.eighthBit = init[QBIN];
    if (InitChar(init, REPT, ' ') == RepeatPrefix) t.repeat = true;
    return t;
}

std::string KermitSender::EncodeData(const std::string& s, std::size_t& pos, const Terms& t) {
    const std::size_t fill = static_cast<std::size_t>(t.packetLength - 6);
    const std::size_t room = static_cast<std::size_t>(t.packetLength - 3);
    std::string out;
    while (pos < s.size() && out.size() < fill) {
        const unsigned char c = static_cast<unsigned char>(s[pos]);
        std::size_t run = 1;
        if (t.repeat)
            while (pos + run < s.size() && run < static_cast<std::size_t>(kLongestRun) &&
                   static_cast<unsigned char>(s[pos + run]) == c)
                ++run;
        std::string piece;
        if (t.repeat && run >= static_cast<std::size_t>(kShortestRun)) {
            piece = std::string(1, RepeatPrefix) + ToChar(static_cast<int>(run)) + EncodeChar(c, t);
        } else {
            run = 1;
            piece = EncodeChar(c, t);
        }
        // The last encoding is placed whole, but never past the receiver's packet length.
        if (out.size() + piece.size() > room) break;
        out += piece;
        pos += run;
    }
    return out;
}

void KermitSender::StartTransmit(std::vector<SendFile> files) {
    files_ = std::move(files);
    fileIndex_ = 0;
    filePos_ = 0;
    terms_ = Terms{};
    seq_ = 0;
    staleResent_ = false;
    reader_ = PacketReader{};
    output_.clear();
    errorText_.clear();
    bytesDone_ = 0;
    bytesTotal_ = 0;
    packetsSent_ = 0;
    resends_ = 0;
    for (const auto& f : files_) bytesTotal_ += f.data.size();
    if (files_.empty()) {
        inProgress_ = false;
        phase_ = Phase::Idle;
        status_ = NoFiles;
        errorText_ = "no file to send";
        return;
    }
    inProgress_ = true;
    status_ = Success;
    phase_ = Phase::SendInit;
    current_ = Packet(seq_, 'S', SendInitData());
    tries_ = 0;
    sendCurrent();
}

void KermitSender::sendCurrent() {
    ++tries_;
    ++packetsSent_;
    if (tries_ > 1) ++resends_;
    ticksWaited_ = 0;
    output_ += current_;
}

void KermitSender::retry(const char* why) {
    if (tries_ >= MaxTries) {
        finish(TriesExhausted,
               std::string("no answer after ") + std::to_string(MaxTries) + " tries (" + why + ")");
        return;
    }
    sendCurrent();
}

void KermitSender::finish(std::uint16_t status, const std::string& text) {
    if (status != Success && status != ReceiverError) {
        // Tell the receiver, so that it stops waiting too.
        output_ += Packet((seq_ + 1) % 64, 'E', text.substr(0, 60));
    }
    inProgress_ = false;
    phase_ = Phase::Idle;
    status_ = status;
    errorText_ = text;
}

void KermitSender::cancel(const std::string& reason) {
    if (inProgress_) finish(Cancelled, reason);
}

void KermitSender::tick() {
    if (!inProgress_) return;
    if (++ticksWaited_ >= answerTicks_) retry("time-out");
}

void KermitSender::receive(const char* bytes, std::size_t count) {
    if (!inProgress_) return;
    reader_.add(bytes, count);
    RawPacket p;
    while (inProgress_ && reader_.next(p)) {
        if (!p.checkOk)
            retry("bad check");
        else
            handlePacket(p.seq, p.type, p.data);
    }
}

void KermitSender::handlePacket(int seq, char type, const std::string& data) {
    if (type == 'E') {
        finish(ReceiverError, "receiver error: " + data);
        return;
    }
    const bool forCurrent = seq == seq_;
    // A NAK for the next packet means the receiver has this one.
    if ((type == 'Y' && forCurrent) || (type == 'N' && seq == (seq_ + 1) % 64)) {
        acknowledged(type == 'Y' ? data : std::string());
        return;
    }
    // The acknowledgement of the packet before, repeated: the receiver did not get this one
    // whole, so it is sent again. A line that duplicates answers repeats it too, at once: one
    // such resend per packet, unless the receiver asks again after a while.
    if (type == 'Y' && seq == (seq_ + 63) % 64) {
        if (staleResent_ && ticksWaited_ < kStaleGapTicks) return;
        staleResent_ = true;
        retry("the receiver repeated its previous answer");
        return;
    }
    retry(type == 'N' ? "negative answer" : "wrong answer");
}

void KermitSender::acknowledged(const std::string& data) {
    switch (phase_) {
        case Phase::SendInit:
            terms_ = Negotiate(data);
            break;
        case Phase::Data:
            bytesDone_ += pendingEnd_ - filePos_;
            filePos_ = pendingEnd_;
            break;
        case Phase::Break:
            finish(Success, {});
            return;
        default:
            break;
    }
    nextPacket();
}

void KermitSender::nextPacket() {
    seq_ = (seq_ + 1) % 64;
    switch (phase_) {
        case Phase::SendInit:
        case Phase::EndOfFile: {
            if (phase_ == Phase::EndOfFile) {
                ++fileIndex_;
                filePos_ = 0;
            }
            if (fileIndex_ >= files_.size()) {
                phase_ = Phase::Break;
                current_ = Packet(seq_, 'B', {});
                break;
            }
            phase_ = Phase::FileHeader;
            std::size_t pos = 0;
            current_ = Packet(seq_, 'F', EncodeData(files_[fileIndex_].name, pos, terms_));
            break;
        }
        case Phase::FileHeader:
        case Phase::Data: {
            const std::string& data = files_[fileIndex_].data;
            if (filePos_ >= data.size()) {
                phase_ = Phase::EndOfFile;
                current_ = Packet(seq_, 'Z', {});
                break;
            }
            phase_ = Phase::Data;
            pendingEnd_ = filePos_;
            current_ = Packet(seq_, 'D', EncodeData(data, pendingEnd_, terms_));
            break;
        }
        default:
            return;
    }
    tries_ = 0;
    staleResent_ = false;
    sendCurrent();
}

}  // namespace ksr::kermit
