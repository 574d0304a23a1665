#pragma once
// The one exception type of the mail layer: its message is meant for the log and the user.

#include <QString>
#include <stdexcept>

namespace qf::delivery {

class EIdException : public std::runtime_error {
public:
    explicit EIdException(const QString &Message)
        : std::runtime_error(Message.toStdString()), FMessage(Message)
    {}
    const QString &Message() const { return FMessage; }

private:
    QString FMessage;
};

// A refusal by the server; the message is the server's own reply text.
class EIdReplyError : public EIdException {
public:
    EIdReplyError(int ReplyCode, const QString &Message)
        : EIdException(Message), FReplyCode(ReplyCode)
    {}
    int ReplyCode() const { return FReplyCode; }

private:
    int FReplyCode;
};

} // namespace qf::delivery
