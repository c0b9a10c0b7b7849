#include "kermit/KermitPacket.h"

#include <bit>

namespace ksr::kermit {
namespace {

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

std::string Check3(const std::string& lenToData) {
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

char Check1(const std::string& lenToData) {
    unsigned int sum = 0;
    for (unsigned char c : lenToData) sum += c;
    return ToChar(static_cast<int>((sum + ((sum & 192) / 64)) & 63));
}

std::string Packet(int seq, char type, const std::string& data, int checkType) {
    std::string body;
    body += ToChar(static_cast<int>(data.size()) + 2 + CheckLength(checkType));
    body += ToChar(seq % 64);
    body += type;
    body += data;
    std::string packet(1, Mark);
    packet += body;
    if (checkType == 3)
        packet += Check3(body);
    else
        packet += Check1(body);
    packet += Eol;
    return packet;
}

std::string InitData(int maxl, int timeout, char qbin, char chkt, char rept, int zeros) {
    std::string d;
    d += ToChar(maxl);                               // MAXL
    d += ToChar(timeout);                            // TIME
    d += ToChar(0);                                  // NPAD
    d += static_cast<char>(0 ^ 64);                  // PADC, control-transformed
    d += ToChar(Eol);                                // EOL
    d += ControlPrefix;                              // QCTL
    d += qbin;                                       // QBIN
    d += chkt;                                       // CHKT
    d += rept;                                       // REPT
    for (int i = 0; i < zeros; ++i) d += ToChar(0);  // CAPAS and what follows
    return d;
}

char InitChar(const std::string& init, InitField field, char absent) {
    const auto at = static_cast<std::size_t>(field);
    return init.size() > at ? init[at] : absent;
}

char ControlPrefixOf(const std::string& init) {
    const char qctl = InitChar(init, QCTL, ControlPrefix);
    return IsPrefixChar(qctl) ? qctl : ControlPrefix;
}

// The position of the next packet mark from `from`. A mark with bit 7 set counts where parity
// may have set it; inside a packet of an eight-bit line that byte is data, so `exact` asks for
// the mark itself.
static std::size_t FindMark(const std::string& s, std::size_t from, bool exact) {
    for (std::size_t i = from; i < s.size(); ++i)
        if (s[i] == Mark || (!exact && static_cast<unsigned char>(s[i]) == (Mark | 0x80))) return i;
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
    return type == 3 ? Check3(body) == check : check.size() == 1 && Check1(body) == check[0];
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
        const int len = UnChar(static_cast<char>(input_[1] & 0x7F));
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
        packet.seq = UnChar(static_cast<char>(p[2] & 0x7F));
        packet.type = static_cast<char>(p[3] & 0x7F);
        const int dataLength = len - 2 - checkLength;
        packet.data = dataLength > 0 ? p.substr(4, static_cast<std::size_t>(dataLength)) : "";
        return true;
    }
}

}  // namespace ksr::kermit
