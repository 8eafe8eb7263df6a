#include "support/RawServer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>

#include <sys/socket.h>

namespace lb::test {

void RawServer::addScript(Script script, bool readRequest) {
    std::lock_guard<std::mutex> lock(mutex_);
    scripts_.emplace_back(std::move(script), readRequest);
}

void RawServer::serve(int fd) {
    std::pair<Script, bool> job{{{Step::Send, "HTTP/1.0 200 OK\r\n\r\n", 0}}, true};
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!scripts_.empty()) {
            job = std::move(scripts_.front());
            scripts_.pop_front();
        }
    }
    QByteArray received;
    char buf[65536];
    while (job.second && !stop_ && !requestComplete(received) && readable(fd, 5000)) {
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        received.append(buf, n);
    }
    keep(requests_, received);
    for (const Step& s : job.first) {
        if (s.kind == Step::Send) {
            if (!sendAll(fd, s.data))
                return;
        } else if (s.kind == Step::Pause) {
            std::this_thread::sleep_for(std::chrono::milliseconds(s.ms));
        } else if (s.kind == Step::Reset) {
            linger l{1, 0}; // closing now sends a reset
            ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
            return;
        } else {
            // Keep the connection until the client closes it (bounded).
            for (int i = 0; i < 100 && !stop_; ++i)
                if (readable(fd, 100) && ::recv(fd, buf, sizeof buf, 0) <= 0)
                    break;
        }
    }
    drain(fd);
}

bool runUntil(const std::function<bool()>& cond, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QTimer tick; // wakes the wait below so the deadline is checked
    tick.start(10);
    while (!cond() && clock.elapsed() < timeoutMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return cond();
}

} // namespace lb::test
