#pragma once
// The Kermit sender as a protocol engine: it owns no file, line, timer or thread. The host hands
// it the files, the bytes received from the line and the passing of time (in ticks of 55 ms), and
// takes from it the bytes to send. The same engine runs under the window, the command line, the
// benchmark and the tests.

#include <cstdint>
#include <string>
#include <vector>

#include "kermit/KermitPacket.h"

namespace ksr::kermit {

struct SendFile {
    std::string name;  // as it goes into the file header: capitals, no directory
    std::string data;  // the file's bytes
};

class KermitSender : public Engine {
  public:
    KermitSender() : Engine(false) {}
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

    // The files of the transfer last started.
    const std::vector<SendFile>& files() const { return files_; }
    // Whether the receiver's bytes were found to carry parity (bit 7 then stripped).
    bool parityDetected() const { return reader_.parity(); }
    // File bytes acknowledged by the receiver, of all files' bytes.
    std::uint64_t bytesDone() const { return bytesDone_; }
    std::uint64_t bytesTotal() const { return bytesTotal_; }
    // Packets sent, resends included.
    std::uint64_t packetsSent() const { return packetsSent_; }
    std::uint64_t resends() const { return resends_; }

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
    std::string current_;       // the packet awaiting its answer
    bool staleResent_ = false;  // this packet was sent again for a repeated earlier answer
    int answerTicks_ = AnswerTicks;
    std::uint64_t bytesDone_ = 0;
    std::uint64_t bytesTotal_ = 0;
    std::uint64_t packetsSent_ = 0;
    std::uint64_t resends_ = 0;
};

}  // namespace ksr::kermit
