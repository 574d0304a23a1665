#pragma once
// The message a sender thread fills and sends again and again: sender, reply-to,
// recipients, subject, body lines and attached files, written out as MIME by Compose.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

namespace qf::delivery {

class TCharsetEncoder;

class TIdEMailAddressItem {
public:
    QString Address;
    QString Name;
};

class TIdEMailAddressList {
public:
    TIdEMailAddressItem &Add();
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    TIdEMailAddressItem &operator[](int I) { return FItems.at(static_cast<size_t>(I)); }
    const TIdEMailAddressItem &operator[](int I) const { return FItems.at(static_cast<size_t>(I)); }
    // The addresses joined by ", " (names left out).
    QString EMailAddresses() const;

private:
    std::vector<TIdEMailAddressItem> FItems;
};

// A file sent with the message. The file is read each time the message is composed.
class TIdAttachment {
public:
    explicit TIdAttachment(const QString &FileName);
    const QString &FileName() const { return FFileName; }
    const QByteArray &ContentType() const { return FContentType; }

private:
    QString FFileName;
    QByteArray FContentType;
};

class TIdMessageParts {
public:
    TIdAttachment &AddAttachment(const QString &FileName);
    void Clear() { FItems.clear(); }
    int Count() const { return static_cast<int>(FItems.size()); }
    const TIdAttachment &operator[](int I) const { return *FItems.at(static_cast<size_t>(I)); }

private:
    std::vector<std::unique_ptr<TIdAttachment>> FItems;
};

class TIdMessage {
public:
    TIdMessage();
    ~TIdMessage();
    TIdMessage(const TIdMessage &) = delete;
    TIdMessage &operator=(const TIdMessage &) = delete;

    QString ContentType = QStringLiteral("text/plain");
    QString CharSet = QStringLiteral("utf-8"); // a MIME charset name, see CharsetTable
    TIdEMailAddressItem From;
    TIdEMailAddressList ReplyTo;
    TIdEMailAddressList Recipients;
    QString Subject;
    QStringList Body; // lines; a line holding line breaks is split at them
    TIdMessageParts MessageParts;

    // The whole message with CR LF line ends, ready for the DATA command (not dot-stuffed).
    // Throws EIdException on an address with control characters, a character the charset
    // lacks (outside an HTML body) or an attachment that cannot be read.
    // Not for use from two threads at once.
    QByteArray Compose(const QString &MailAgent) const;

private:
    struct TCache;
    TCharsetEncoder &Encoder() const;
    mutable std::unique_ptr<TCharsetEncoder> FEncoder;
    // What stays the same from message to message: the headers of sender and agent, and
    // files in base64 (checked against the file before every use).
    mutable std::unique_ptr<TCache> FCache;
};

// This machine's name, for the message id and the greeting to the server.
QByteArray LocalHostName();

// Throws EIdException when Address is empty, too long or holds control characters.
void CheckAddress(const QString &Address, const QString &Role);
// The address as it goes into the envelope and the headers: an international domain in its
// ASCII (IDNA) form; the mailbox name as it stands (UTF-8). Throws EIdException, naming
// Role, for a domain that has no ASCII form.
QByteArray WireAddress(const QString &Address, const QString &Role);

} // namespace qf::delivery
