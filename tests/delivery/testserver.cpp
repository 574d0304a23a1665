#include "testserver.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>

#include <stdexcept>

namespace {
const QString Python = QStringLiteral("/usr/bin/python3");
const QString Scripts = QStringLiteral(DELIVERY_TEST_DIR);

QByteArray ReadFile(const QString &Path) {
  QFile F(Path);
  return F.open(QIODevice::ReadOnly) ? F.readAll() : QByteArray();
}
}  // namespace

TTestServer::TTestServer() {
  if (!FDir.isValid())
    throw std::runtime_error("no temporary folder for the test server");
  Start();
}

TTestServer::~TTestServer() { Stop(); }

void TTestServer::Start(int Port) {
  FProcess.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  FProcess.start(Python, {Scripts + QStringLiteral("/smtpserver.py"), QStringLiteral("--dir"), FDir.path(),
                          QStringLiteral("--port"), QString::number(Port)});
  if (!FProcess.waitForStarted(10000))
    throw std::runtime_error("the test SMTP server did not start");
  // Restarting on the same port may have to wait for the old socket to go.
  while (!FProcess.canReadLine()) {
    if (!FProcess.waitForReadyRead(15000)) {
      Stop();
      throw std::runtime_error("the test SMTP server did not report its port");
    }
  }
  const QByteArray Line = FProcess.readLine().trimmed();
  if (!Line.startsWith("PORT "))
    throw std::runtime_error("the test SMTP server said: " + Line.toStdString());
  FPort = Line.mid(5).toInt();
}

void TTestServer::Stop() {
  if (FProcess.state() == QProcess::NotRunning)
    return;
  FProcess.closeWriteChannel();
  FProcess.terminate();
  if (!FProcess.waitForFinished(5000)) {
    FProcess.kill();
    FProcess.waitForFinished(5000);
  }
}

void TTestServer::Restart() {
  Stop();
  Start(FPort);
}

void TTestServer::SetControl(const QJsonObject &Control) {
  QSaveFile F(FDir.filePath(QStringLiteral("control.json")));
  if (!F.open(QIODevice::WriteOnly) || F.write(QJsonDocument(Control).toJson()) < 0 || !F.commit())
    throw std::runtime_error("cannot write the test server's control file");
}

QStringList TTestServer::MessageFiles() const {
  QStringList Files;
  const QDir D(FDir.path());
  for (const QString &N : D.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name))
    Files << D.filePath(N);
  return Files;
}

QJsonObject TTestServer::Envelope(const QString &MessageFile) const {
  QString J = MessageFile;
  J.replace(QLatin1String(".eml"), QLatin1String(".json"));
  return QJsonDocument::fromJson(ReadFile(J)).object();
}

QJsonArray ParseMail(const QStringList &Files) {
  QProcess P;
  P.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  P.start(Python, QStringList{Scripts + QStringLiteral("/parsemail.py")} + Files);
  if (!P.waitForFinished(60000) || P.exitCode() != 0)
    throw std::runtime_error("parsemail.py failed");
  return QJsonDocument::fromJson(P.readAllStandardOutput()).array();
}

QJsonObject ParseComposed(const QByteArray &Message) {
  QTemporaryDir D;
  QFile F(D.filePath(QStringLiteral("m.eml")));
  if (!F.open(QIODevice::WriteOnly) || F.write(Message) != Message.size())
    throw std::runtime_error("cannot write the message file");
  F.close();
  return ParseMail({F.fileName()}).at(0).toObject();
}
