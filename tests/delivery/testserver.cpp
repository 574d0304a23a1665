#include "testserver.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
const QString Python = QStringLiteral("/usr/bin/python3");
const QString Scripts = QStringLiteral(DELIVERY_TEST_DIR);
} // namespace

QByteArray ReadAll(const QString &Path)
{
    QFile F(Path);
    return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}

bool WaitUntil(const std::function<bool()> &Done, int Ms)
{
    QDeadlineTimer Deadline(Ms);
    while (!Done()) {
        if (Deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::yield();
    }
    return true;
}

TTestServer::TTestServer(const char *Script) : FScript(QString::fromLatin1(Script))
{
    if (!FDir.isValid())
        throw std::runtime_error("no temporary folder for the test server");
    Start();
}

TTestServer::~TTestServer() { Stop(); }

void TTestServer::Start(int Port)
{
    const std::string Py = Python.toStdString();
    std::vector<std::string> Args{Py,       (Scripts + QLatin1Char('/') + FScript).toStdString(),
                                  "--dir",  FDir.path().toStdString(),
                                  "--port", std::to_string(Port)};
    std::vector<char *> Argv;
    for (std::string &A : Args)
        Argv.push_back(A.data());
    Argv.push_back(nullptr);
    int In[2], Out[2];
    if (pipe2(In, O_CLOEXEC) != 0 || pipe2(Out, O_CLOEXEC) != 0)
        throw std::runtime_error("no pipes for the test SMTP server");
    FPid = fork();
    if (FPid == 0) {
        dup2(In[0], 0);
        dup2(Out[1], 1);
        execv(Argv[0], Argv.data());
        _exit(127);
    }
    close(In[0]);
    close(Out[1]);
    FInput = In[1];
    FOutput = Out[0];
    if (FPid < 0)
        throw std::runtime_error("the test SMTP server did not start");
    // Restarting on the same port may have to wait for the old socket to go.
    QByteArray Line;
    while (!Line.endsWith('\n')) {
        pollfd P{FOutput, POLLIN, 0};
        char C;
        if (poll(&P, 1, 15000) <= 0 || read(FOutput, &C, 1) != 1) {
            Stop();
            throw std::runtime_error("the test SMTP server did not report its port");
        }
        Line += C;
    }
    Line = Line.trimmed();
    if (!Line.startsWith("PORT "))
        throw std::runtime_error("the test SMTP server said: " + Line.toStdString());
    FPort = Line.mid(5).toInt();
}

void TTestServer::Stop()
{
    if (FPid <= 0)
        return;
    close(FInput);
    kill(FPid, SIGTERM);
    waitpid(FPid, nullptr, 0);
    close(FOutput);
    FPid = -1;
}

void TTestServer::Restart()
{
    Stop();
    Start(FPort);
}

void TTestServer::SetControl(const QJsonObject &Control)
{
    QSaveFile F(FDir.filePath(QStringLiteral("control.json")));
    if (!F.open(QIODevice::WriteOnly) || F.write(QJsonDocument(Control).toJson()) < 0 ||
        !F.commit())
        throw std::runtime_error("cannot write the test server's control file");
}

QStringList TTestServer::MessageFiles() const
{
    QStringList Files;
    const QDir D(FDir.path());
    for (const QString &N : D.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name))
        Files << D.filePath(N);
    return Files;
}

QJsonObject TTestServer::Envelope(const QString &MessageFile) const
{
    QString J = MessageFile;
    J.replace(QLatin1String(".eml"), QLatin1String(".json"));
    return QJsonDocument::fromJson(ReadAll(J)).object();
}

QStringList TTestServer::Recipients() const
{
    QStringList R;
    for (const QString &F : MessageFiles())
        R << Envelope(F).value(QStringLiteral("rcpt_tos")).toArray().at(0).toString();
    return R;
}

QJsonArray ParseMail(const QStringList &Files)
{
    QProcess P;
    P.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    P.start(Python, QStringList{Scripts + QStringLiteral("/parsemail.py")} + Files);
    if (!P.waitForFinished(60000) || P.exitCode() != 0)
        throw std::runtime_error("parsemail.py failed");
    return QJsonDocument::fromJson(P.readAllStandardOutput()).array();
}

QJsonObject ParseComposed(const QByteArray &Message)
{
    QTemporaryDir D;
    QFile F(D.filePath(QStringLiteral("m.eml")));
    if (!F.open(QIODevice::WriteOnly) || F.write(Message) != Message.size())
        throw std::runtime_error("cannot write the message file");
    F.close();
    return ParseMail({F.fileName()}).at(0).toObject();
}

namespace {
QByteArray Run(const QString &Program, const QStringList &Args, const QByteArray &Input)
{
    QProcess P;
    P.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    P.start(Program, Args);
    P.write(Input);
    P.closeWriteChannel();
    if (!P.waitForFinished(60000) || P.exitStatus() != QProcess::NormalExit || P.exitCode() != 0)
        throw std::runtime_error((Program + QStringLiteral(" failed")).toStdString());
    return P.readAllStandardOutput();
}
} // namespace

QMap<QString, QString> InlinePartsByPerl(const QByteArray &Message)
{
    const QByteArray Out = Run(
        QStringLiteral("/usr/bin/perl"),
        {QStringLiteral("-MEmail::MIME"), QStringLiteral("-MDigest::SHA=sha256_hex"),
         QStringLiteral("-e"),
         QStringLiteral("local $/; my $m = Email::MIME->new(scalar <STDIN>);"
                        "$m->walk_parts(sub { my $p = shift; return if $p->subparts;"
                        "my $id = $p->header('Content-ID') or return; $id =~ s/^\\s*<|>\\s*$//g;"
                        "print \"$id \", sha256_hex($p->body), \"\\n\"; });")},
        Message);
    QMap<QString, QString> Parts;
    for (const QByteArray &Line : Out.split('\n'))
        if (const qsizetype Space = Line.indexOf(' '); Space > 0)
            Parts.insert(QString::fromUtf8(Line.left(Space)),
                         QString::fromUtf8(Line.mid(Space + 1)));
    return Parts;
}

QMap<QString, QString> InlinePartsByReformime(const QByteArray &Message)
{
    const QString Reformime = QStringLiteral("/usr/bin/reformime");
    QMap<QString, QString> Parts;
    QString Section;
    for (const QByteArray &Line : Run(Reformime, {QStringLiteral("-i")}, Message).split('\n')) {
        if (Line.startsWith("section: "))
            Section = QString::fromUtf8(Line.mid(9).trimmed());
        else if (Line.startsWith("content-id: "))
            Parts.insert(
                QString::fromUtf8(Line.mid(12).trimmed()).remove('<').remove('>'),
                QString::fromLatin1(
                    QCryptographicHash::hash(
                        Run(Reformime, {QStringLiteral("-e"), QStringLiteral("-s"), Section},
                            Message),
                        QCryptographicHash::Sha256)
                        .toHex()));
    }
    return Parts;
}
