// https through the proxy: a CONNECT tunnel, then TLS inside it.
#include "net/HttpHeader.h"
#include "net/HttpProt.h"

#include <cstring>

namespace lb::net {

// The tunnel through the proxy: exactly these lines, then the proxy's answer
// header is read before anything else is sent.
void THttpCli::sendConnect() {
    tunnel_ = Tunnel::ConnectAnswer;
    tunnelStatus_ = 0;
    tunnelPhrase_.clear();
    tunnelLines_ = 0;
    receiveLen_ = 0;
    QByteArray lines = "CONNECT " + tunnelTarget_.toUtf8() + " HTTP/1.0\r\n" +
                       "Host: " + tunnelTarget_.toUtf8() + "\r\n";
    if (!ProxyUsername.isEmpty())
        lines += "Proxy-Authorization: Basic " +
                 (ProxyUsername + QLatin1Char(':') + ProxyPassword).toUtf8().toBase64() + "\r\n";
    lines += "\r\n";
    socket_->Send(lines.constData(), int(lines.size()));
}

void THttpCli::connectAnswer() {
    if (receiveLen_ >= kBufSize - 1) {
        rs_.statusCode = 404;
        rs_.reasonPhrase = QStringLiteral("HTTP line too long");
        throw EHttpException(QStringLiteral("HTTP line too long"), 4);
    }
    const int n = socket_->Receive(receiveBuffer_.data() + receiveLen_, kBufSize - 1 - receiveLen_);
    if (n <= 0)
        return;
    receiveLen_ += n;
    int start = 0;
    while (start < receiveLen_) {
        char* p = receiveBuffer_.data() + start;
        const char* lf =
            static_cast<const char*>(std::memchr(p, '\n', size_t(receiveLen_ - start)));
        if (!lf)
            break;
        int lineLen = int(lf - p);
        start += lineLen + 1;
        if (lineLen > 0 && p[lineLen - 1] == '\r')
            --lineLen;
        if (lineLen > 0) {
            if (tunnelLines_++ == 0) {
                const std::string_view line(p, size_t(lineLen));
                // A first line that is no HTTP answer has no status either.
                const StatusLine status =
                    parseStatusLine(line.starts_with("HTTP/") ? line : std::string_view());
                tunnelStatus_ = status.code;
                tunnelPhrase_ = status.phrase;
            }
            continue;
        }
        // End of the proxy's answer.
        receiveLen_ = 0;
        if (tunnelStatus_ >= 200 && tunnelStatus_ <= 299) {
            startTls();
        } else {
            tunnel_ = Tunnel::None;
            rs_.statusCode = tunnelStatus_ ? tunnelStatus_ : 404;
            rs_.reasonPhrase = tunnelPhrase_;
            socket_->Close();
        }
        return;
    }
    if (start > 0) {
        std::memmove(receiveBuffer_.data(), receiveBuffer_.data() + start,
                     size_t(receiveLen_ - start));
        receiveLen_ -= start;
    }
}

} // namespace lb::net
