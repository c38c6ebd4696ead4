#include "instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <cstdlib>
#include <unistd.h>

namespace dravik {

namespace {

// A hand-over: "DRVK", the length of the rest (32 bits, big-endian), then one entry per item
// and unknown argument: 'I' or 'U', its UTF-8 text, a NUL; a patch set likewise as 'S'. The answer
// is one byte, 'K'.
const QByteArray kMagic = "DRVK";
constexpr int kHeaderSize = 8;
constexpr quint32 kMaxBody = 1 << 20;
constexpr char kAcknowledged = 'K';
// How long a peer may take to send its hand-over.
constexpr int kPeerTimeoutMs = 5000;

QByteArray Encode(const THandedOver& what) {
  QByteArray body;
  auto add = [&body](char kind, const std::string& text) {
    body += kind;
    body += QByteArray::fromStdString(text);
    body += '\0';
  };
  for (const std::string& item : what.Items)
    add('I', item);
  for (const std::string& arg : what.Unknown)
    add('U', arg);
  if (what.Set) add('S', *what.Set);
  QByteArray message = kMagic;
  const quint32 size = static_cast<quint32>(body.size());
  for (int shift = 24; shift >= 0; shift -= 8)
    message += static_cast<char>((size >> shift) & 0xff);
  return message + body;
}

// The body's entries; false when it is not one Encode makes.
bool Decode(const QByteArray& body, THandedOver& what) {
  qsizetype start = 0;
  while (start < body.size()) {
    const qsizetype end = body.indexOf('\0', start);
    if (end <= start) return false; // no terminator, or an entry without its kind
    const std::string text = body.mid(start + 1, end - start - 1).toStdString();
    if (body[start] == 'I') {
      what.Items.push_back(text);
    } else if (body[start] == 'U') {
      what.Unknown.push_back(text);
    } else if (body[start] == 'S') {
      what.Set = text;
    } else {
      return false;
    }
    start = end + 1;
  }
  return true;
}

quint32 BodySize(const QByteArray& header) {
  quint32 size = 0;
  for (int i = 4; i < kHeaderSize; ++i)
    size = (size << 8) | static_cast<quint8>(header[i]);
  return size;
}

} // namespace

std::string InstanceName(const std::string& prefixHostPath) {
  QString folder = QString::fromLocal8Bit(qgetenv("XDG_RUNTIME_DIR"));
  if (!folder.startsWith('/') || !QFileInfo(folder).isDir()) folder = QDir::tempPath();
  const QFileInfo prefix(QString::fromStdString(prefixHostPath));
  const QString identity = prefix.exists() ? prefix.canonicalFilePath() : prefix.absoluteFilePath();
  const QByteArray hash =
      QCryptographicHash::hash(identity.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
  return QString("%1/dravik-%2-%3")
      .arg(folder)
      .arg(::getuid())
      .arg(QString::fromLatin1(hash))
      .toStdString();
}

THandOver HandToRunningInstance(const std::string& name, const THandedOver& what, int timeoutMs) {
  const QByteArray message = Encode(what);
  if (message.size() - kHeaderSize > static_cast<qsizetype>(kMaxBody)) return hoNoAnswer;
  QLocalSocket socket;
  socket.connectToServer(QString::fromStdString(name));
  if (!socket.waitForConnected(timeoutMs))
    return socket.error() == QLocalSocket::SocketTimeoutError ? hoNoAnswer : hoNoInstance;
  socket.write(message);
  while (socket.bytesToWrite() > 0)
    if (!socket.waitForBytesWritten(timeoutMs)) return hoNoAnswer;
  while (socket.bytesAvailable() < 1)
    if (!socket.waitForReadyRead(timeoutMs)) return hoNoAnswer;
  char answer = 0;
  return socket.getChar(&answer) && answer == kAcknowledged ? hoDelivered : hoNoAnswer;
}

TInstanceServer::TInstanceServer(QObject* parent)
    : QObject(parent), FServer(new QLocalServer(this)) {
  FServer->setSocketOptions(QLocalServer::UserAccessOption);
  connect(FServer, &QLocalServer::newConnection, this, &TInstanceServer::Accept);
}

TInstanceServer::~TInstanceServer() {
  Close();
}

bool TInstanceServer::Listen(const std::string& name) {
  Close();
  const QString qname = QString::fromStdString(name);
  // A socket file there is a live instance's, which accepts a connection, or one left by an
  // instance that ended without removing it, which refuses it. Qt would replace either.
  QLocalSocket probe;
  probe.connectToServer(qname);
  if (probe.waitForConnected(1000)) return false;
  if (probe.error() != QLocalSocket::ConnectionRefusedError &&
      probe.error() != QLocalSocket::ServerNotFoundError)
    return false;
  QLocalServer::removeServer(qname);
  return FServer->listen(qname);
}

void TInstanceServer::Close() {
  if (FServer->isListening()) FServer->close();
}

bool TInstanceServer::Listening() const {
  return FServer->isListening();
}

void TInstanceServer::Accept() {
  while (QLocalSocket* socket = FServer->nextPendingConnection()) {
    socket->setReadBufferSize(kHeaderSize + kMaxBody);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] { Read(socket); });
    QTimer::singleShot(kPeerTimeoutMs, socket, [socket] { socket->abort(); });
    Read(socket);
  }
}

void TInstanceServer::Read(QLocalSocket* socket) {
  if (socket->bytesAvailable() < kHeaderSize) return;
  const QByteArray header = socket->peek(kHeaderSize);
  const quint32 size = BodySize(header);
  if (!header.startsWith(kMagic) || size > kMaxBody) {
    socket->abort();
    return;
  }
  if (socket->bytesAvailable() < kHeaderSize + static_cast<qint64>(size)) return;
  socket->skip(kHeaderSize);
  THandedOver what;
  if (!Decode(socket->read(size), what)) {
    socket->abort();
    return;
  }
  socket->putChar(kAcknowledged);
  socket->flush();
  socket->disconnectFromServer();
  if (OnReceive) OnReceive(what);
}

} // namespace dravik
