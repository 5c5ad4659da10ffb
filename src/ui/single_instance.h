// One running copy per user and data directory: the first copy listens on a local socket that
// only its user can reach; a second copy hands its command line over and ends.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

class QLocalServer;

namespace tarn::ui {

// The record value of a command-line hand-over.
inline constexpr std::uint64_t kHandOverRecord = 100;
// What a second copy without arguments sends: the running window only comes to the front.
inline constexpr std::uint64_t kActivateRecord = 0;
// A hand-over longer than this is not one: the connection is dropped unread.
inline constexpr std::uint32_t kMaxHandOverBytes = 64 * 1024;

// Every argument in double quotes (inner quotes left as they are), joined by commas.
std::string HandOverText(const std::vector<std::string>& cp932_arguments);

// The socket for a data directory: named by a hash of the directory, in a folder that only the
// user can enter ($XDG_RUNTIME_DIR, else a private folder in the temporary directory, by a spare
// name when another user holds the usual one). Empty when no such folder can be had.
QString InstanceServerName(const std::filesystem::path& data_directory);

class TSingleInstance : public QObject {
  Q_OBJECT

 public:
  explicit TSingleInstance(QString server_name, QObject* parent = nullptr);
  ~TSingleInstance() override;

  enum class TRole {
    Running,  // this copy listens
    Second,   // another copy answers: hand over and end
    Alone,    // no socket could be had: run without the single-instance rule
  };
  TRole Start();

  // Sends a record and waits until the running copy has handled it.
  bool Forward(std::uint64_t record, const QByteArray& text, int timeout_ms = 10000);

 signals:
  // A well-formed message from a second copy; the text as sent.
  void Received(quint64 record, const QByteArray& text);

 private:
  void Accept();
  QString name_;
  std::unique_ptr<QLocalServer> server_;
};

}  // namespace tarn::ui
