#pragma once
// TWSocket: the event-driven TCP client socket under the HTTP client.
// Non-blocking POSIX sockets watched by the thread's SocketDispatcher (one
// epoll set per thread), host names resolved through QHostInfo; every event
// fires on the thread that owns the object, also after moveToThread.
//
// Events are std::function members with the sender first; an unassigned one
// is skipped. Completions are always delivered later from the event loop,
// never inside the call that caused them (except where noted: a dotted
// address answers DnsLookup at once, Close fires OnSessionClosed at once).
//
// StartTls turns a connected socket into a TLS connection: after OnTlsDone(0)
// Send and Receive carry plain bytes that travel encrypted. A TLS failure
// closes the connection with OnSessionClosed(error) and leaves its text in
// TlsError().
#include "net/HttpLimits.h"
#include "net/SocketDispatcher.h"
#include "net/TlsSession.h"

#include <QHostInfo>
#include <QObject>
#include <QString>
#include <QStringList>

#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <stdexcept>
#include <vector>

namespace lb::net {

class ESocketException : public std::runtime_error {
public:
    explicit ESocketException(const QString& message)
        : std::runtime_error(message.toStdString()), message_(message) {}
    const QString& message() const { return message_; }

private:
    QString message_;
};

enum TSocketState {
    wsInvalidState,
    wsOpened,
    wsBound,
    wsConnecting,
    wsConnected,
    wsAccepting,
    wsListening,
    wsClosed
};

enum TSocketLingerOnOff { wsLingerOff, wsLingerOn, wsLingerNoSet };
enum TSocketSendFlags { wsSendNormal = 0, wsSendUrgent = 1 };

class TWSocket : public QObject, private ReadyHandler {
    Q_OBJECT
public:
    using TNotifyEvent = std::function<void(TWSocket* sender)>;
    using TSessionEvent = std::function<void(TWSocket* sender, quint16 error)>;
    using TSendDataEvent = std::function<void(TWSocket* sender, int bytesSent)>;
    using TChangeStateEvent =
        std::function<void(TWSocket* sender, TSocketState oldState, TSocketState newState)>;
    using TBgExceptionEvent =
        std::function<void(TWSocket* sender, const std::exception& e, bool& canClose)>;

    explicit TWSocket(QObject* parent = nullptr);
    ~TWSocket() override;

    // Properties. Setters refuse a change unless the socket is closed.
    QString Addr() const { return addr_; }
    void setAddr(const QString& value);
    QString Port() const { return port_; }
    void setPort(const QString& value);
    QString Proto() const { return proto_; }
    void setProto(const QString& value);
    QString LocalAddr() const { return localAddr_; }
    void setLocalAddr(const QString& value);
    QString LocalPort() const { return localPort_; }
    void setLocalPort(const QString& value);
    TSocketLingerOnOff LingerOnOff() const { return lingerOnOff_; }
    void setLingerOnOff(TSocketLingerOnOff value) { lingerOnOff_ = value; }
    int LingerTimeout() const { return lingerTimeout_; }
    void setLingerTimeout(int value) { lingerTimeout_ = value; }
    int FlushTimeout() const { return flushTimeout_; }
    void setFlushTimeout(int value) { flushTimeout_ = value; }
    TSocketSendFlags SendFlags() const { return sendFlags_; }
    void setSendFlags(int value);
    bool MultiThreaded() const { return multiThreaded_; }
    void setMultiThreaded(bool value) { multiThreaded_ = value; }
    // A connect not established within this many milliseconds fails with
    // 10060 "Connection timed out" (tests shorten it).
    int ConnectTimeout() const { return connectTimeoutMs_; }
    void setConnectTimeout(int ms) { connectTimeoutMs_ = ms; }

    QString DnsResult() const { return dnsResult_; }
    QStringList DnsResultList() const { return dnsResultList_; }
    TSocketState State() const { return state_; }
    qint64 ReadCount() const { return readCount_; }
    int LastError() const { return lastError_; }

    // Operations.
    void DnsLookup(const QString& hostName);
    void CancelDnsLookup();
    void Connect();
    int Send(const void* data, int len);
    int Receive(void* buffer, int len);
    void Close();
    void Abort();
    void ProcessMessages();
    // Starts the TLS handshake on a connected socket; the result comes as
    // OnTlsDone(0), or as OnSessionClosed(error) with TlsError() set.
    void StartTls(const TlsOptions& options, const QString& hostName);
    bool TlsActive() const { return tlsPhase_ != TlsPhase::None; }
    // Text of the last TLS failure ("TLS: ..."), empty when there was none.
    QString TlsError() const { return tlsError_; }
    // Whether the TLS stream ended with the peer's closing alert.
    bool TlsCloseNotifyReceived() const { return tlsCloseNotify_; }

    // Events.
    TSessionEvent OnDataAvailable;
    TSessionEvent OnDataSent;
    TSendDataEvent OnSendData;
    TSessionEvent OnSessionClosed;
    TSessionEvent OnSessionAvailable;
    TSessionEvent OnSessionConnected;
    TChangeStateEvent OnChangeState;
    TSessionEvent OnDnsLookupDone;
    TSessionEvent OnTlsDone;
    TNotifyEvent OnError;
    TBgExceptionEvent OnBgException;

    // True for four dotted numbers of at most 255 (blanks around allowed);
    // normalized receives the plain dotted form.
    static bool isDottedAddress(const QString& text, QString* normalized = nullptr);
    // True for an IPv6 address written without brackets; normalized receives
    // its canonical form.
    static bool isIPv6Address(const QString& text, QString* normalized = nullptr);
    // True for "invalid" and names under it, which never resolve.
    static bool isReservedInvalidName(const QString& name);

protected:
    bool event(QEvent* e) override;
    void timerEvent(QTimerEvent* e) override;

private Q_SLOTS:
    void lookupAnswered(const QHostInfo& info);

private:
    struct SendBuffer {
        static constexpr int kSize = 1514;
        int head = 0; // first byte not yet sent
        int tail = 0; // first free byte
        char data[kSize];
    };

    void changeState(TSocketState newState);
    void report(const QString& message);
    void socketError(const QString& function, int error);
    void refuseConnect(int error, const QString& message);
    void closeHandle();
    void internalClose(bool shutdownFirst);
    void restoreDefaults();
    void setWatch(bool read, bool write);
    void watchRead(bool on) { setWatch(on, wantWrite_); }
    void watchWrite(bool on) { setWatch(wantRead_, on); }
    void unwatch();
    void socketReady(uint32_t events) override;
    // events: what the readiness report said (0 for a read posted by TLS).
    void onReadable(uint32_t events = 0);
    void onWritable(uint32_t events);
    void onPostedWrite();
    void connectFinished(int error);
    void stopConnectTimer();
    void readLoop(bool peerFinished);
    void closeStep(int error);
    bool tryToSend();
    bool dropSentBuffers();
    bool tlsTryToSend();
    void queueEmptied();
    void guarded(const std::function<void()>& step);
    bool refuseUnlessClosed(const char* what);
    int openAndConnect(QString* failure);
    bool tryNextAddress();
    void tlsHandshakeStep();
    void tlsFailed(int error, const QString& text);
    void postTlsRead();

    int fd_ = -1;
    TSocketState state_ = wsClosed;
    QString addr_;
    QString port_;
    QString proto_ = QStringLiteral("tcp");
    QString localAddr_ = QStringLiteral("0.0.0.0");
    QString localPort_ = QStringLiteral("0");
    bool addrAssigned_ = false;
    bool portAssigned_ = false;
    bool protoAssigned_ = true;
    QString dnsResult_;
    QStringList dnsResultList_;
    qint64 readCount_ = 0;
    int lastError_ = 0;
    bool multiThreaded_ = false;
    TSocketLingerOnOff lingerOnOff_ = wsLingerOn;
    int lingerTimeout_ = 0;
    int flushTimeout_ = 60;
    TSocketSendFlags sendFlags_ = wsSendNormal;
    int connectTimeoutMs_ = limits::kConnectTimeoutMs;
    int connectTimer_ = 0; // running while a connect is pending

    int lookupId_ = -1;        // running QHostInfo lookup; -2 a name answered without one; -1 none
    quint64 lookupSerial_ = 0; // answers of cancelled lookups are recognised by this
    // A list: empty, it holds no memory (most requests never queue a byte).
    std::list<SendBuffer> sendQueue_;
    bool dataSentDue_ = false; // queued data not yet announced by OnDataSent
    bool closeNotified_ = false;
    bool writePosted_ = false;
    bool destroying_ = false;
    bool peerClosed_ = false;
    int peerError_ = 0;
    int receiveCalls_ = 0;
    bool lastReceiveWouldBlock_ = false;
    bool lastReceiveShort_ = false; // the last plain read got less than it asked for
    quint64 connection_ = 0;        // bumps at every close so stale posts are ignored
    SocketDispatcher::Registration watch_;
    bool wantRead_ = false;
    bool wantWrite_ = false;

    // Addresses still to try when the current connect fails, in lookup order.
    std::vector<QString> candidates_;
    quint16 remotePort_ = 0;
    quint16 localPortNumber_ = 0;

    enum class TlsPhase { None, Handshake, Open };
    TlsPhase tlsPhase_ = TlsPhase::None;
    std::unique_ptr<TlsSession> tls_;
    QString tlsError_;
    bool tlsCloseNotify_ = false;
    bool tlsWriteWantsRead_ = false;
    bool tlsReadPosted_ = false;
};

} // namespace lb::net
