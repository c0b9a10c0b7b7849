#include "kermit/KermitSender.h"

#include <algorithm>
#include <bit>

namespace ksr::kermit {
namespace {

constexpr char kMark = 0x01;
constexpr char kEol = '\r';
constexpr char kControlPrefix = '#';
constexpr char kRepeatPrefix = '~';
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
        out += kControlPrefix;
        out += static_cast<char>(c ^ 64);
    } else if (low == kControlPrefix || (t.repeat && low == kRepeatPrefix) ||
               (t.eighthBit && low == static_cast<unsigned char>(t.eighthBit))) {
        out += kControlPrefix;
        out += static_cast<char>(c);
    } else {
        out += static_cast<char>(c);
    }
    return out;
}

// The bytes of a packet with the eighth bit taken off.
std::string Stripped(std::string s) {
    for (char& c : s) c = static_cast<char>(c & 0x7F);
    return s;
}

// Every byte of the packet follows one parity rule (mark, even or odd), and some byte has the
// eighth bit: a packet from a line with parity. Space parity leaves nothing to see.
bool ParityCoded(const std::string& packet) {
    bool any = false, mark = true, even = true, odd = true;
    for (unsigned char c : packet) {
        const bool high = (c & 0x80) != 0;
        const bool evenCount = std::popcount(static_cast<unsigned>(c)) % 2 == 0;
        any = any || high;
        mark = mark && high;
        even = even && evenCount;
        odd = odd && !evenCount;
    }
    return any && (mark || even || odd);
}

int CheckLength(int checkType) {
    return checkType == 3 ? 3 : 1;
}

}  // namespace

bool IsPrefixChar(char c) {
    const int code = static_cast<unsigned char>(c);
    return (code >= 33 && code <= 62) || (code >= 96 && code <= 126);
}

std::string KermitSender::Check3(const std::string& lenToData) {
    unsigned int crc = 0;
    for (unsigned char c : lenToData) {
        unsigned int q = (crc ^ c) & 0x0F;
        crc = (crc >> 4) ^ (q * 0x1081);
        q = (crc ^ (c >> 4)) & 0x0F;
        crc = (crc >> 4) ^ (q * 0x1081);
    }
    std::string out;
    out += ToChar(static_cast<int>((crc >> 12) & 0x0F));
    out += ToChar(static_cast<int>((crc >> 6) & 0x3F));
    out += ToChar(static_cast<int>(crc & 0x3F));
    return out;
}

char KermitSender::Check1(const std::string& lenToData) {
    unsigned int sum = 0;
    for (unsigned char c : lenToData) sum += c;
    return ToChar(static_cast<int>((sum + ((sum & 192) / 64)) & 63));
}

std::string KermitSender::Packet(int seq, char type, const std::string& data, int checkType) {
    std::string body;
    body += ToChar(static_cast<int>(data.size()) + 2 + CheckLength(checkType));
    body += ToChar(seq % 64);
    body += type;
    body += data;
    std::string packet(1, kMark);
    packet += body;
    if (checkType == 3)
        packet += Check3(body);
    else
        packet += Check1(body);
    packet += kEol;
    return packet;
}

std::string KermitSender::SendInitData() {
    std::string d;
    d += ToChar(OfferedLength);      // MAXL
    d += ToChar(OfferedTimeout);     // TIME
    d += ToChar(0);                  // NPAD
    d += static_cast<char>(0 ^ 64);  // PADC, control-transformed
    d += ToChar(kEol);               // EOL
    d += kControlPrefix;             // QCTL
    d += 'Y';                        // QBIN: only if the receiver asks
    d += '1';                        // CHKT
    d += kRepeatPrefix;              // REPT
    d += ToChar(0);                  // CAPAS: no long packets, no sliding windows
    d += ToChar(0);                  // WINDO
    d += ToChar(0);                  // MAXLX1
    d += ToChar(0);                  // MAXLX2
    return d;
}

Terms KermitSender::Negotiate(const std::string& init) {
    Terms t;
    if (!init.empty()) {
        const int maxl = UnChar(init[0]);
        if (maxl >= 10) t.packetLength = std::min(OfferedLength, maxl);
    }
    if (init.size() > 6 && IsPrefixChar(init[6])) t.eighthBit = init[6];
    if (init.size() > 8 && init[8] == kRepeatPrefix) t.repeat = true;
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
            piece =
                std::string(1, kRepeatPrefix) + ToChar(static_cast<int>(run)) + EncodeChar(c, t);
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

std::string KermitSender::takeOutput() {
    std::string out;
    out.swap(output_);
    return out;
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

// The position of the next packet mark from `from`. A mark with bit 7 set counts where parity
// may have set it; inside a packet of an eight-bit line that byte is data, so `exact` asks for
// the mark itself.
static std::size_t FindMark(const std::string& s, std::size_t from, bool exact) {
    for (std::size_t i = from; i < s.size(); ++i)
        if (s[i] == kMark || (!exact && static_cast<unsigned char>(s[i]) == (kMark | 0x80)))
            return i;
    return std::string::npos;
}

void PacketReader::add(const char* bytes, std::size_t count) {
    const std::size_t from = input_.size();
    input_.append(bytes, count);
    if (parity_)
        for (std::size_t i = from; i < input_.size(); ++i)
            input_[i] = static_cast<char>(input_[i] & 0x7F);
}

// The block check a packet carries: Send-Init packets type 1, whatever was agreed.
int PacketReader::checkTypeOf(const std::string& p) const {
    return p.size() > 3 && ((p[3] & 0x7F) == 'S' || (p[3] & 0x7F) == 'I') ? 1 : checkType_;
}

// Whether the packet's block check is right.
bool PacketReader::checks(const std::string& p, std::size_t len) const {
    const int type = checkTypeOf(p);
    const std::size_t checkLength = static_cast<std::size_t>(CheckLength(type));
    if (len < 2 + checkLength) return false;
    const std::string body = p.substr(1, len + 1 - checkLength);  // LEN .. DATA
    const std::string check = p.substr(len + 2 - checkLength, checkLength);
    return type == 3 ? KermitSender::Check3(body) == check
                     : check.size() == 1 && KermitSender::Check1(body) == check[0];
}

// On a line without parity the eighth bit belongs only in data, and only where data may carry
// it: a mark, length, sequence number, type or check with it is damage.
bool PacketReader::sevenBitWhereRequired(const std::string& p, std::size_t len) const {
    const std::size_t checkFrom = len + 2 - static_cast<std::size_t>(CheckLength(checkTypeOf(p)));
    for (std::size_t i = 0; i < p.size(); ++i) {
        const bool header = i < 4 || i >= checkFrom;
        if ((header || !eightBitData_) && (static_cast<unsigned char>(p[i]) & 0x80)) return false;
    }
    return true;
}

bool PacketReader::next(RawPacket& packet) {
    // Once the line is known to be without parity, only the mark itself is one.
    const bool exactMark = decided_ && !parity_;
    for (;;) {
        const std::size_t mark = FindMark(input_, 0, exactMark);
        if (mark == std::string::npos) {
            input_.clear();
            return false;
        }
        input_.erase(0, mark);
        if (input_.size() < 2) return false;
        const int len = KermitSender::UnChar(static_cast<char>(input_[1] & 0x7F));
        // 95 (DEL) too: C-Kermit fills its data packets to its own length with the CRC's two
        // extra characters on top.
        if (len < 3 || len > 95) {
            // Not a packet: skip the mark and look for the real one.
            input_.erase(0, 1);
            continue;
        }
        // A mark inside the packet means the packet was cut off: start again from there.
        const std::size_t inner = FindMark(input_, 1, eightBitData_ && !parity_);
        if (inner != std::string::npos && inner < static_cast<std::size_t>(len) + 2) {
            input_.erase(0, inner);
            continue;
        }
        if (input_.size() < static_cast<std::size_t>(len) + 2) return false;
        std::string p = input_.substr(0, static_cast<std::size_t>(len) + 2);  // mark .. check
        input_.erase(0, p.size());
        const auto n = static_cast<std::size_t>(len);
        bool ok = false;
        if (parity_) {
            ok = checks(p, n);  // stripped as it came
        } else if (!decided_ && ParityCoded(p) && checks(Stripped(p), n)) {
            // Kermit packets are seven-bit text: the eighth bit on every byte by one rule is
            // the other side's parity, stripped from here on.
            parity_ = true;
            decided_ = true;
            p = Stripped(p);
            input_ = Stripped(input_);
            ok = true;
        } else {
            ok = sevenBitWhereRequired(p, n) && checks(p, n);
            decided_ = decided_ || ok;
        }
        const int checkLength = CheckLength(checkTypeOf(p));
        packet.checkOk = ok;
        packet.seq = KermitSender::UnChar(static_cast<char>(p[2] & 0x7F));
        packet.type = static_cast<char>(p[3] & 0x7F);
        const int dataLength = len - 2 - checkLength;
        packet.data = dataLength > 0 ? p.substr(4, static_cast<std::size_t>(dataLength)) : "";
        return true;
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
