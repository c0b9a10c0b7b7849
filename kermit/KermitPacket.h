#pragma once
// What the Kermit sender and receiver share: the packet's layout and block checks, the prefix
// rules, the Send-Init's fields, the terms both sides agree on, and the reader that finds packets
// on the line.

#include <cstdint>
#include <string>

namespace ksr::kermit {

inline constexpr char Mark = 0x01;          // SOH, where a packet begins
inline constexpr char Eol = '\r';           // after each packet
inline constexpr char ControlPrefix = '#';  // ours, for the control characters we send
inline constexpr char RepeatPrefix = '~';

// The transfer's terms, as offered and as agreed with the receiver.
struct Terms {
    int packetLength = 80;  // the largest LEN field the receiver takes
    bool repeat = false;    // repeat counts in use, with `repeatPrefix`
    char eighthBit = 0;     // the eighth-bit prefix, 0 when not in use
    char control = '#';     // the control prefix of the side that sends the data
    char repeatPrefix = '~';
    int checkType = 1;  // 1: one-character sum; 3: CRC-16 in three characters
};

enum Status : std::uint16_t {
    Success = 0,
    ReceiverError = 1,   // the receiver sent an error packet
    TriesExhausted = 2,  // no good answer within the tries
    NoFiles = 3,         // nothing to send
    Cancelled = 4,       // the host ended the transfer (line closed, program ending)
    SenderError = 5,     // the sender sent an error packet
    TooLarge = 6,        // more than a receiver holds
    NoProgress = 7,      // packets that bring no data, on and on
};

// A character that may serve as a prefix (control, eighth-bit, repeat): 33..62 or 96..126.
bool IsPrefixChar(char c);

// A number as a printable character, and back.
inline char ToChar(int value) {
    return static_cast<char>(value + 32);
}
inline int UnChar(char c) {
    return static_cast<unsigned char>(c) - 32;
}
// The block checks of the bytes from LEN to the end of DATA: type 1, one character; type 3, the
// CRC-16 in three characters.
char Check1(const std::string& lenToData);
std::string Check3(const std::string& lenToData);
// A whole packet: mark, LEN, SEQ, TYPE, DATA, the block check of `checkType`, end of line.
std::string Packet(int seq, char type, const std::string& data, int checkType = 1);

// The fields of a Send-Init's data (the sender's and the receiver's answer alike), by position.
enum InitField { MAXL, TIME, NPAD, PADC, EOL, QCTL, QBIN, CHKT, REPT, CAPAS };
// Our side's Send-Init data: the fields up to REPT, then `zeros` fields of 0 (CAPAS and what
// follows it).
std::string InitData(int maxl, int timeout, char qbin, char chkt, char rept, int zeros);
// A field of the other side's Send-Init; `absent` when it is not there.
char InitChar(const std::string& init, InitField field, char absent);
// Its control prefix: QCTL when it is a prefix character, else "#".
char ControlPrefixOf(const std::string& init);

// A packet as it came off the line, its check not yet judged.
struct RawPacket {
    int seq = 0;
    char type = 0;
    std::string data;
    bool checkOk = false;
};

// Splits the bytes of a line into packets: bytes outside a packet are skipped, a packet cut off
// by the next mark is dropped. Whether the line carries parity is judged once, from the first
// packet that passes its check: parity when every byte of it follows one parity rule (mark, even
// or odd) and it checks without the eighth bit; the eighth bit is then stripped from everything.
// A packet that fails its check never decides anything.
class PacketReader {
  public:
    // The packets' data may carry bytes with the eighth bit (a receiver of an eight-bit line):
    // only the mark, length, sequence number, type and check must then be seven-bit.
    explicit PacketReader(bool eightBitData = false) : eightBitData_(eightBitData) {}
    void add(const char* bytes, std::size_t count);
    // The next whole packet; false while none is complete.
    bool next(RawPacket& packet);
    bool parity() const { return parity_; }
    // The block check of the packets from now on; Send-Init packets always carry type 1.
    void setCheckType(int type) { checkType_ = type; }
    void clear() { input_.clear(); }

  private:
    int checkTypeOf(const std::string& packet) const;
    bool checks(const std::string& packet, std::size_t len) const;
    bool sevenBitWhereRequired(const std::string& packet, std::size_t len) const;

    std::string input_;
    bool eightBitData_ = false;
    bool decided_ = false;  // a packet has passed its check: parity is known
    bool parity_ = false;
    int checkType_ = 1;
};

// What both engines keep alike: the bytes for the line, whether a transfer runs and how it
// ended, the agreed terms, the packet reader, and where the exchange stands.
class Engine {
  public:
    // Bytes to put on the line; taking them empties the queue.
    std::string takeOutput() {
        std::string out;
        out.swap(output_);
        return out;
    }
    bool hasOutput() const { return !output_.empty(); }
    bool InProgress() const { return inProgress_; }
    std::uint16_t ProtocolStatus() const { return status_; }
    const std::string& errorText() const { return errorText_; }
    const Terms& terms() const { return terms_; }

  protected:
    explicit Engine(bool eightBitData) : reader_(eightBitData) {}

    bool inProgress_ = false;
    std::uint16_t status_ = Success;
    std::string errorText_;
    std::string output_;
    Terms terms_;
    PacketReader reader_;
    int seq_ = 0;
    int tries_ = 0;
    int ticksWaited_ = 0;
};

}  // namespace ksr::kermit
