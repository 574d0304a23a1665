#pragma once
// SMTP client over libcurl: Connect makes the connection (greeting and EHLO), then many
// Send calls go over it. One client per thread; a client may be handed to another thread
// between calls. Every failure throws EIdException carrying the server's reply or the
// network error.

#include <QByteArray>
#include <QString>

namespace qf::delivery {

class TIdMessage;

// The time-out Connect uses when none is given, in milliseconds.
inline constexpr int IdTimeoutDefault = 30000;

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
    int ReadTimeout =
        IdTimeoutDefault; // ms to wait for a reply or for the upload to move; taken by Connect

    // True while the connection is open and the server has not closed it.
    bool Connected() const;
    // Drops any old connection, then connects, reads the greeting and says EHLO, all within
    // Timeout ms (the default for 0 or less).
    void Connect(int Timeout = IdTimeoutDefault);
    void Disconnect();
    // Sends over the open connection (made again by libcurl if the server closed it meanwhile).
    void Send(const TIdMessage &Message);

private:
    struct TImpl;
    TImpl *FImpl;
};

} // namespace qf::delivery
