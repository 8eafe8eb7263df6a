#pragma once
// A THttpCli whose connection is played by the fuzz target: the name lookup
// of every request (and of every redirection) connects at once, received
// bytes go through the client's own answer handling, and a close reports the
// end of the session from inside, as a connected socket does. Nothing touches
// the network.
#include "net/HttpProt.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace lb::net {

class HttpAnswerFeed : public THttpCli {
public:
    explicit HttpAnswerFeed(QObject* parent = nullptr) : THttpCli(parent) {}

    // Call from OnStateChange: a request reaching the name lookup is
    // connected and waits for its header; true when that happened.
    bool connectOnLookup() {
        if (state_ != hsDnsLookup)
            return false;
        // As sessionReady does, without sending anything.
        beginAnswer();
        state_ = hsWaitingHeader; // login() sees the change and does not look up
        open_ = true;
        ++connections_;
        return true;
    }

    bool open() const { return open_; }
    int connections() const { return connections_; }
    static constexpr int bufferRoom() { return kBufSize - 1; }

    // One piece arriving on the connection: read as the socket would (as many
    // reads as the buffer room asks for). Returns the bytes taken before the
    // connection closed or the client stopped reading; lastRead is where the
    // last read handed to the client ended (within the piece).
    int arrive(const char* data, int len, int* lastRead = nullptr) {
        int taken = 0;
        while (taken < len && open_) {
            if (state_ != hsWaitingHeader && state_ != hsWaitingBody)
                break; // nothing expected: not read
            if (receiveLen_ >= kBufSize - 1) {
                // "HTTP line too long" inside the socket event: the socket aborts.
                ++lineTooLong_;
                serverClose();
                break;
            }
            const int n = std::min(len - taken, kBufSize - 1 - receiveLen_);
            std::memcpy(receiveBuffer_.data() + receiveLen_, data + taken, size_t(n));
            receiveLen_ += n;
            taken += n;
            if (lastRead)
                *lastRead = taken;
            answerReceived();
        }
        return taken;
    }

    // The peer closes (or the socket aborted): the session-closed notification.
    void serverClose() {
        if (!open_)
            return;
        open_ = false;
        socketSessionClosed(0);
    }

    int lineTooLong() const { return lineTooLong_; }

private:
    void closeConnection(bool) override { serverClose(); }

    bool open_ = false;
    int connections_ = 0;
    int lineTooLong_ = 0;
};

} // namespace lb::net
