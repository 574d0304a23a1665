#pragma once
// SMTP client over a non-blocking socket: Connect makes the connection (greeting, EHLO or
// HELO, AUTH when a password is given), then many Send calls go over it, with MAIL, RCPT and
// DATA in one write when the server offers PIPELINING. One client per thread; a client may be
// handed to another thread between calls. Every failure throws EIdException carrying the
// server's reply or the network error.

#include <QByteArray>
#include <QString>
#include <atomic>
#include <memory>

namespace qf::delivery {

class TIdMessage;

// The time-out Connect uses when none is given, in milliseconds.
inline constexpr int IdTimeoutDefault = 30000;
// The least wait for the reply to the end of the data: servers may check a message at length
// before they answer (RFC 5321 gives them 10 minutes).
inline constexpr int IdDataReplyTimeout = 600000;

// How long the reply to a message's data is still waited for once the interrupt is raised: it
// is usually on its way.
inline constexpr int IdInterruptGrace = 600;

// Wakes the clients that share it out of a connect or a wait, from any thread. It stays
// raised until Clear; a client that meets it raised fails at once, "Cancelled". The wait
// for the reply to a message's data ends IdInterruptGrace ms later, and its failure says that
// the message went out unconfirmed: the server may have taken it.
class TIdInterrupt {
public:
    TIdInterrupt();
    ~TIdInterrupt();
    TIdInterrupt(const TIdInterrupt &) = delete;
    TIdInterrupt &operator=(const TIdInterrupt &) = delete;
    void Raise();
    void Clear();
    bool Raised() const { return FRaised; }
    int Handle() const { return FHandle; } // readable while raised

private:
    int FHandle = -1;
    std::atomic<bool> FRaised{false};
};

class TIdSMTP {
public:
    TIdSMTP();
    ~TIdSMTP(); // closes the connection (QUIT)
    TIdSMTP(const TIdSMTP &) = delete;
    TIdSMTP &operator=(const TIdSMTP &) = delete;

    QString Host;
    int Port = 25;
    QString Username;
    QString Password;  // an empty password means no authentication, whatever Username holds
    QString MailAgent; // written as the X-Mailer header
    int ReadTimeout = IdTimeoutDefault; // ms for each command's reply, and for the upload to move
    std::shared_ptr<TIdInterrupt> Interrupt; // may be shared by many clients; none by default

    // True while the connection is open and the server has not closed it.
    bool Connected() const;
    // Drops any old connection, then connects, reads the greeting and says EHLO (HELO when the
    // server refuses it), each step within Timeout ms (the default for 0 or less).
    void Connect(int Timeout = IdTimeoutDefault);
    void Disconnect();
    // Sends over the open connection. A connection the server has closed since (quietly or
    // with 421) is made again first, without a failure; returns once the server took the data.
    void Send(const TIdMessage &Message);

private:
    struct TImpl;
    TImpl *FImpl;
};

} // namespace qf::delivery
