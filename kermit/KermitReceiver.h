#pragma once
// The Kermit receiver as a protocol engine, the sender's counterpart: no file, line, timer or
// thread. The host hands it the bytes received and the passing of time (ticks of 55 ms) and puts
// its answers on the line; the received files stay in memory, at most MaxBytes of them. It reads
// the recorder's recorder.ini back.

#include <cstdint>
#include <string>
#include <vector>

#include "kermit/KermitSender.h"

namespace ksr::kermit {

struct ReceivedFile {
    std::string name;  // as the sender named it
    std::string data;
};

class KermitReceiver : public Engine {
  public:
    KermitReceiver() : Engine(true) {}
    static constexpr int TickMs = KermitSender::TickMs;
    static constexpr int MaxTries = 10;
    static constexpr std::size_t MaxBytes = 1 << 20;  // names and data of all files
    static constexpr int OfferedLength = 94;
    // Seconds the sender waits for an answer before it sends again: a sender left over after a
    // stopped read shows itself within this time.
    static constexpr int OfferedTimeout = 5;
    static constexpr int WaitSeconds = 5;  // for the next packet, unless the sender asks
    // A read that makes no progress ends: this many packets in a row that bring no data, or
    // this many packets in all (a 1 MB file takes about 11,500).
    static constexpr int MaxIdlePackets = 20;
    static constexpr std::uint64_t MaxPackets = 65536;
    // How long a cancel waits for the sender's next packet, to answer it with the error packet.
    static constexpr int CancelWaitTicks = 36;  // about 2 s

    // Waits for the sender's Send-Init; nothing is sent until a packet comes or the wait ends.
    void start();
    void receive(const char* bytes, std::size_t count);
    void receive(const std::string& bytes) { receive(bytes.data(), bytes.size()); }
    // One tick of 55 ms has passed.
    void tick();
    // Ends a running transfer with `Cancelled`; an error packet tells the sender.
    void cancel(const std::string& reason);
    // Ends a running transfer with `Cancelled` by answering the sender's next packet with the
    // error packet (a sender may drop what arrives while it sends, so an error packet sent
    // between its packets can be lost), or after CancelWaitTicks without one.
    void cancelAtNextPacket(const std::string& reason);

    // The sender's Send-Init has come: the line carries Kermit packets from now on.
    bool started() const { return phase_ != Phase::Init; }
    const std::vector<ReceivedFile>& files() const { return files_; }
    std::uint64_t bytesReceived() const { return held_; }

    // The data field of our answer to the sender's Send-Init `init`; `parity` when the line
    // sets the eighth bit, so that binary bytes need their prefix.
    static std::string AnswerInitData(const std::string& init, bool parity);
    // The terms both sides then use.
    static Terms Agree(const std::string& init, bool parity);
    // Decodes a data field with the sender's prefixes; false when it ends inside a prefix.
    static bool Decode(const std::string& field, const Terms& terms, std::string& out);

  private:
    enum class Phase { Idle, Init, FileHeader, Data };

    void handlePacket(int seq, char type, const std::string& data);
    void answer(char type, const std::string& data = {});
    void nak();
    void finish(std::uint16_t status, const std::string& text, bool tellSender);

    Phase phase_ = Phase::Idle;
    std::string lastAnswer_;  // for a packet the sender sends again
    int waitTicks_ = WaitSeconds * 1000 / TickMs;
    std::vector<ReceivedFile> files_;
    std::uint64_t held_ = 0;
    int idlePackets_ = 0;
    std::uint64_t packets_ = 0;
    bool cancelling_ = false;
    std::string cancelReason_;
};

}  // namespace ksr::kermit
