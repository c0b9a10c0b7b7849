#include "upload/UploadDialogue.h"

namespace ksr::upload {
namespace {

constexpr char kEtx = 0x03;
const char* const kUser = "root\r";
const char* const kPassword = "kelp";
const char* const kChangeDirectory = "cd /usr/local/wexo\r";
const char* const kStartReceiver = "kermit -r\r";
const char* const kReconfigure = "/usr/local/wexo/reconfig\r";

}  // namespace

bool UploadDialogue::CONNECT2KSR() {
    promptSeen_ = false;
    escapeRequested_ = false;
    if (!line_.isOpen()) line_.open();
    line_.sleep(200);
    line_.flushIn();
    line_.put(std::string(1, kEtx));
    line_.sleep(200);
    while (!promptSeen_ && !escapeRequested_) {
        if (!line_.clearToSend()) {
            // The recorder does not signal clear-to-send: ask again in a while.
            line_.setRts(false);
            line_.responsiveWait(200);
            line_.setRts(true);
            line_.responsiveWait(2000);
            continue;
        }
        loginAttempts();
    }
    if (escapeRequested_) return false;
    view_.status(StatusKind::Transmitting, TransmittingText);
    line_.put(kChangeDirectory);
    line_.sleep(1000);
    line_.put(kStartReceiver);
    line_.sleep(1000);
    return true;
}

void UploadDialogue::loginAttempts() {
    while (!promptSeen_ && !escapeRequested_) {
        promptSeen_ = line_.waitFor(LoginPrompt, LoginTicks);
        view_.status(StatusKind::Connected, ConnectedText);
        line_.sleep(1000);
        view_.repaint();
        if (promptSeen_) {
            line_.put(kUser);
            promptSeen_ = line_.waitFor(PasswordPrompt, PasswordTicks);
        }
        if (promptSeen_) {
            // No shell prompt is awaited: the login counts as done.
            line_.sleep(100);
            line_.put(std::string(kPassword) + "\r");
            line_.sleep(2000);
        } else {
            line_.setRts(false);
            line_.responsiveWait(200);
            line_.setRts(true);
            line_.put("logout\r");
            line_.sleep(100);
        }
    }
}

void UploadDialogue::transferEnded(std::uint16_t protocolStatus) {
    if (protocolStatus != 0) {
        view_.status(StatusKind::Failure, FailureText);
        return;
    }
    view_.status(StatusKind::Success, SuccessText);
    line_.put("\r");
    line_.sleep(100);
    line_.put(kReconfigure);
}

}  // namespace ksr::upload
