#pragma once
// The test SMTP server (smtpserver.py under Debian's Python) and the email-package reader,
// run as child processes of the test. The server ends with its object, and by itself when
// the test process dies (its standard input closes). The server is started with fork and exec
// rather than QProcess, whose way of starting a process ThreadSanitizer cannot follow.

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <string>

class TTestServer {
public:
    // Started on a free port; Script names the server: the aiosmtpd one, or scriptserver.py.
    explicit TTestServer(const char *Script = "smtpserver.py");
    ~TTestServer();
    void Start(int Port = 0);
    void Stop();
    void Restart(); // same port
    int Port() const { return FPort; }
    void SetControl(const QJsonObject &Control);
    QStringList MessageFiles() const; // stored messages, oldest first
    QStringList Recipients() const;   // the first recipient of each stored message
    QString FilePath(const QString &Name) const { return FDir.filePath(Name); }
    QJsonObject Envelope(const QString &MessageFile) const;

private:
    QTemporaryDir FDir;
    QString FScript;
    int FPid = -1;
    int FInput = -1;  // the server's standard input
    int FOutput = -1; // its standard output
    int FPort = 0;
};

// What Python's email package reads from each file (see parsemail.py).
QJsonArray ParseMail(const QStringList &Files);
// The same for message bytes that never went through a server.
QJsonObject ParseComposed(const QByteArray &Message);
// Content-ID (without brackets) -> SHA-256 of the decoded part, for every part that has
// one, as Perl's Email::MIME and as maildrop's reformime read the message.
QMap<QString, QString> InlinePartsByPerl(const QByteArray &Message);
QMap<QString, QString> InlinePartsByReformime(const QByteArray &Message);
QByteArray ReadAll(const QString &Path);
// Waits for Done while serving the application's events; false after Ms.
bool WaitUntil(const std::function<bool()> &Done, int Ms = 60000);
inline std::string Str(const QJsonValue &V) { return V.toString().toStdString(); }
