#pragma once
// The Kermit sender as a protocol engine: it owns no file, line, timer or thread. The host hands
// it the files, the bytes received from the line and the passing of time (in ticks of 55 ms), and
// takes from it the bytes to send. The same engine runs under the window, the command line, the
// benchmark and the tests.

#include <cstdint>
#include <string>
#include <vector>

namespace ksr::kermit {

struct SendFile {
    std::string name;  // as it goes into the file header: capitals, no directory
    std::string data;  // the file's bytes
};

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

class KermitSender {
  public:
    static constexpr int TickMs = 55;
    static constexpr int AnswerTicks = 1092;  // 60 s for each answer
    static constexpr int MaxTries = 10;
    static constexpr int OfferedLength = 80;
    static constexpr int OfferedTimeout = 5;

    // How long to wait for each answer, in ticks (1092, 60 s, unless a test link wants less).
    void setAnswerTicks(int ticks) { answerTicks_ = ticks; }

    // Starts a transfer of the files: the Send-Init packet is ready in the output at once.
    void StartTransmit(std::vector<SendFile> files);
    // Bytes received from the line.
    void receive(const char* bytes, std::size_t count);
    void receive(const std::string& bytes) { receive(bytes.data(), bytes.size()); }
    // One tick of 55 ms has passed.
    void tick();
    // Ends a running transfer with `Cancelled` (an error packet tells the receiver).
    void cancel(const std::string& reason);

    // Bytes to put on the line; taking them empties the queue.
    std::string takeOutput();
    bool hasOutput() const { return !output_.empty(); }

    bool InProgress() const { return inProgress_; }
    // The files of the transfer last started.
    const std::vector<SendFile>& files() const { return files_; }
    std::uint16_t ProtocolStatus() const { return status_; }
    const std::string& errorText() const { return errorText_; }
    const Terms& terms() const { return terms_; }
    // Whether the receiver's bytes were found to carry parity (bit 7 then stripped).
    bool parityDetected() const { return reader_.parity(); }
    // File bytes acknowledged by the receiver, of all files' bytes.
    std::uint64_t bytesDone() const { return bytesDone_; }
    std::uint64_t bytesTotal() const { return bytesTotal_; }
    // Packets sent, resends included.
    std::uint64_t packetsSent() const { return packetsSent_; }
    std::uint64_t resends() const { return resends_; }

    // Packet pieces, exposed for the tests and the fuzzer's checks.
    static char ToChar(int value) { return static_cast<char>(value + 32); }
    static int UnChar(char c) { return static_cast<unsigned char>(c) - 32; }
    static char Check1(const std::string& lenToData);
    // The three characters of the CRC-16 block check (type 3).
    static std::string Check3(const std::string& lenToData);
    static std::string Packet(int seq, char type, const std::string& data, int checkType = 1);
    // Encodes `source` from `pos`, placing at most what fits in a data field of the terms'
    // packet length; returns the encoded field and moves `pos` past what was placed.
    static std::string EncodeData(const std::string& source, std::size_t& pos, const Terms& terms);
    // The data field of our Send-Init.
    static std::string SendInitData();
    // Agrees the terms from the receiver's answer to the Send-Init.
    static Terms Negotiate(const std::string& receiverInit);

  private:
    enum class Phase { Idle, SendInit, FileHeader, Data, EndOfFile, Break };

    void sendCurrent();
    void nextPacket();
    void acknowledged(const std::string& data);
    void retry(const char* why);
    void finish(std::uint16_t status, const std::string& text);
    void handlePacket(int seq, char type, const std::string& data);

    std::vector<SendFile> files_;
    std::size_t fileIndex_ = 0;
    std::size_t filePos_ = 0;
    std::size_t pendingEnd_ = 0;  // file position after the data packet awaiting its answer
    Phase phase_ = Phase::Idle;
    Terms terms_;
    int seq_ = 0;
    std::string current_;  // the packet awaiting its answer
    int tries_ = 0;
    int ticksWaited_ = 0;
    bool staleResent_ = false;  // this packet was sent again for a repeated earlier answer
    int answerTicks_ = AnswerTicks;
    bool inProgress_ = false;
    std::uint16_t status_ = Success;
    std::string errorText_;
    std::string output_;
    PacketReader reader_;
    std::uint64_t bytesDone_ = 0;
    std::uint64_t bytesTotal_ = 0;
    std::uint64_t packetsSent_ = 0;
    std::uint64_t resends_ = 0;
};

}  // namespace ksr::kermit
