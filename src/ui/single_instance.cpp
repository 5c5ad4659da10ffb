#include "ui/single_instance.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QTimer>
#include <QtEndian>

namespace tarn::ui {
namespace {

constexpr int kHeaderBytes = 12;  // record (8) and text length (4), little-endian
constexpr int kIdleMs = 5000;

// Spare names tried beside the usual one in the temporary folder.
constexpr int kSpareFolders = 8;

bool IsPrivateFolder(const QByteArray& folder) {
  struct stat st {};
  return ::lstat(folder.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         (st.st_mode & 077) == 0;
}

// A folder of ours that nobody else can enter, or nothing.
QString PrivateFolder() {
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty() && IsPrivateFolder(runtime)) return QString::fromLocal8Bit(runtime);
  // Another user may have made the usual name first (a folder open to all, or a link), which
  // would part the copies; they all meet in the first name beside it that is ours.
  const QString usual = QDir::tempPath() + QStringLiteral("/tarn-%1").arg(::getuid());
  for (int spare = 0; spare <= kSpareFolders; ++spare) {
    const QByteArray folder = QFile::encodeName(spare == 0 ? usual : usual + QStringLiteral("-%1").arg(spare));
    if (::mkdir(folder.constData(), 0700) != 0 && errno != EEXIST) return {};
    if (IsPrivateFolder(folder)) return QFile::decodeName(folder);
  }
  return {};
}

}  // namespace

std::string HandOverText(const std::vector<std::string>& cp932_arguments) {
  std::string text;
  for (std::size_t i = 0; i < cp932_arguments.size(); ++i) {
    if (i > 0) text += ',';
    text += '"' + cp932_arguments[i] + '"';
  }
  return text;
}

QString InstanceServerName(const std::filesystem::path& data_directory) {
  const QString folder = PrivateFolder();
  if (folder.isEmpty()) return {};
  std::error_code ec;
  std::filesystem::path dir = std::filesystem::weakly_canonical(data_directory, ec);
  if (ec) dir = std::filesystem::absolute(data_directory, ec).lexically_normal();
  const QByteArray hash =
      QCryptographicHash::hash(QByteArray::fromStdString(dir.string()), QCryptographicHash::Sha256).toHex().left(20);
  return folder + QStringLiteral("/tarn-") + QString::fromLatin1(hash);
}

TSingleInstance::TSingleInstance(QString server_name, QObject* parent) : QObject(parent), name_(std::move(server_name)) {}

TSingleInstance::~TSingleInstance() = default;

TSingleInstance::TRole TSingleInstance::Start() {
  if (name_.isEmpty()) return TRole::Alone;
  // Two copies started at once decide one after the other.
  QLockFile lock(name_ + QStringLiteral(".lock"));
  lock.setStaleLockTime(10000);
  if (!lock.tryLock(5000)) return TRole::Alone;
  QLocalSocket probe;
  probe.connectToServer(name_);
  if (probe.waitForConnected(1000)) {
    probe.abort();
    return TRole::Second;
  }
  // Nobody answers: a socket left behind by a copy that crashed.
  QLocalServer::removeServer(name_);
  server_ = std::make_unique<QLocalServer>();
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  server_->setMaxPendingConnections(8);
  if (!server_->listen(name_)) {
    server_.reset();
    return TRole::Alone;
  }
  connect(server_.get(), &QLocalServer::newConnection, this, [this] { Accept(); });
  return TRole::Running;
}

void TSingleInstance::Accept() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    socket->setParent(this);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    // A connection that says nothing complete in time is dropped.
    QTimer::singleShot(kIdleMs, socket, [socket] { socket->abort(); });
    auto buffer = std::make_shared<QByteArray>();
    connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
      buffer->append(socket->readAll());
      if (buffer->size() < kHeaderBytes) return;
      const auto record = qFromLittleEndian<quint64>(buffer->constData());
      const auto length = qFromLittleEndian<quint32>(buffer->constData() + 8);
      if (length > kMaxHandOverBytes || buffer->size() > kHeaderBytes + static_cast<qsizetype>(length)) {
        socket->abort();
        return;
      }
      if (buffer->size() < kHeaderBytes + static_cast<qsizetype>(length)) return;
      const QByteArray text = buffer->mid(kHeaderBytes);
      buffer->clear();
      emit Received(record, text);
      socket->write("\x01", 1);
      socket->flush();
      socket->disconnectFromServer();
    });
  }
}

bool TSingleInstance::Forward(std::uint64_t record, const QByteArray& text, int timeout_ms) {
  if (text.size() > static_cast<qsizetype>(kMaxHandOverBytes)) return false;
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(timeout_ms)) return false;
  QByteArray message(kHeaderBytes, '\0');
  qToLittleEndian<quint64>(record, message.data());
  qToLittleEndian<quint32>(static_cast<quint32>(text.size()), message.data() + 8);
  message += text;
  socket.write(message);
  if (!socket.waitForBytesWritten(timeout_ms)) return false;
  // The answer comes once the running copy has handled the message.
  while (socket.bytesAvailable() < 1) {
    if (!socket.waitForReadyRead(timeout_ms)) return false;
  }
  return socket.read(1) == "\x01";
}

}  // namespace tarn::ui
