#pragma once
// A Kermit receiver for the engine tests, written from the protocol's description and
// independently of the sender: it splits the sender's output into packets, checks their layout,
// decodes the data and answers.

#include <map>
#include <string>
#include <vector>

namespace ksr::test {

struct ReceivedPacket {
    int len = 0, seq = 0;
    char type = 0;
    std::string data;
    bool checkOk = false;
};

inline int Un(char c) {
    return static_cast<unsigned char>(c) - 32;
}
inline char To(int v) {
    return static_cast<char>(v + 32);
}

inline char Check(const std::string& s) {
    int sum = 0;
    for (unsigned char c : s) sum += c;
    return To((sum + ((sum & 0xC0) >> 6)) & 0x3F);
}

inline std::string MakePacket(int seq, char type, const std::string& data) {
    std::string body =
        std::string(1, To(static_cast<int>(data.size()) + 3)) + To(seq) + type + data;
    return "\x01" + body + Check(body) + "\r";
}

// Splits sender output into packets; each must be SOH LEN SEQ TYPE DATA CHECK CR.
inline std::vector<ReceivedPacket> SplitPackets(const std::string& out,
                                                std::string* error = nullptr) {
    std::vector<ReceivedPacket> packets;
    std::size_t i = 0;
    while (i < out.size()) {
        if (out[i] != '\x01') {
            if (error) *error = "byte outside a packet at " + std::to_string(i);
            return packets;
        }
        ReceivedPacket p;
        p.len = Un(out[i + 1]);
        const std::string body = out.substr(i + 1, static_cast<std::size_t>(p.len));
        p.seq = Un(body[1]);
        p.type = body[2];
        p.data = body.substr(3);
        p.checkOk = Check(body) == out[i + 1 + static_cast<std::size_t>(p.len)];
        if (out[i + 2 + static_cast<std::size_t>(p.len)] != '\r' && error)
            *error = "no CR after packet";
        packets.push_back(p);
        i += static_cast<std::size_t>(p.len) + 3;
    }
    return packets;
}

// Decodes a data field with the given prefixes (0 = not in use).
inline std::string Decode(const std::string& d, char repeat, char eighth) {
    std::string out;
    for (std::size_t i = 0; i < d.size();) {
        int count = 1;
        if (repeat && d[i] == repeat) {
            count = Un(d[i + 1]);
            i += 2;
        }
        unsigned char high = 0;
        if (eighth && d[i] == eighth) {
            high = 0x80;
            ++i;
        }
        unsigned char c = static_cast<unsigned char>(d[i++]);
        if (c == '#') {
            c = static_cast<unsigned char>(d[i++]);
            const unsigned char low = c & 0x7F;
            if (low != '#' && !(repeat && low == static_cast<unsigned char>(repeat)) &&
                !(eighth && low == static_cast<unsigned char>(eighth)))
                c ^= 64;
        }
        out.append(static_cast<std::size_t>(count), static_cast<char>(c | high));
    }
    return out;
}

// A well-behaved receiver: answers every good packet, collects files.
class TestReceiver {
  public:
    std::string initAnswer = "~* @-#Y1~  ";  // MAXL 94, repeat "~", no eighth-bit prefix
    std::map<std::string, std::string> files;
    std::vector<int> seqs;
    std::vector<char> types;
    std::string error;
    bool done = false;
    // As gkermit does: a damaged packet is answered with the acknowledgement of the one before.
    bool reackDamaged = false;

    // Answers the sender's packets in `out`; returns the answers.
    std::string answer(const std::string& out) {
        std::string replies;
        for (const auto& p : SplitPackets(out, &error)) {
            if (!p.checkOk) {
                if (reackDamaged && !seqs.empty())
                    replies += MakePacket(seqs.back(), 'Y', types.back() == 'S' ? initAnswer : "");
                else
                    error = "bad check";
                continue;
            }
            if (!seqs.empty() &&
                p.seq == seqs.back()) {  // a resent packet: answer again, keep nothing
                replies += MakePacket(p.seq, 'Y', p.type == 'S' ? initAnswer : std::string());
                continue;
            }
            seqs.push_back(p.seq);
            types.push_back(p.type);
            std::string data;
            switch (p.type) {
                case 'S':
                    repeat_ = initAnswer.size() > 8 && initAnswer[8] == '~' ? '~' : 0;
                    eighth_ = initAnswer.size() > 6 && initAnswer[6] != 'Y' && initAnswer[6] != 'N'
                                  ? initAnswer[6]
                                  : 0;
                    data = initAnswer;
                    break;
                case 'F':
                    name_ = Decode(p.data, repeat_, eighth_);
                    files[name_];
                    break;
                case 'D':
                    files[name_] += Decode(p.data, repeat_, eighth_);
                    break;
                case 'B':
                    done = true;
                    break;
                default:
                    break;
            }
            replies += MakePacket(p.seq, 'Y', data);
        }
        return replies;
    }

  private:
    char repeat_ = 0, eighth_ = 0;
    std::string name_;
};

}  // namespace ksr::test
