// One running Dravik per user and prefix: a second start hands its files and links to the one
// already running, over a local socket, and ends. The socket lies in $XDG_RUNTIME_DIR (else
// the temporary folder) with a name made of the user and the prefix, and only its user may
// connect. User-interface thread.
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace dravik {

// The socket's name for the prefix (a host path; the same folder reached by another path gets
// the same name).
std::string InstanceName(const std::string& prefixHostPath);

// What a running instance is handed: files (absolute Linux paths) and links to install, and
// the arguments that were neither.
struct THandedOver {
  std::vector<std::string> Items;
  std::vector<std::string> Unknown;
  std::optional<std::string> Set; // a patch set to switch to ("-set NAME")
};

enum THandOver {
  hoDelivered,  // the running instance took them
  hoNoInstance, // none listens (a socket left by a crash counts as none)
  hoNoAnswer    // one is there but did not take them within the time allowed
};

// Hands `what` to the instance listening on `name`, waiting at most `timeoutMs` for each step.
// Blocks.
THandOver HandToRunningInstance(const std::string& name, const THandedOver& what, int timeoutMs);

// The running instance's end. Each hand-over received is acknowledged and passed to OnReceive
// from the event loop; a peer that sends too much, or nothing within a few seconds, is dropped.
class TInstanceServer : public QObject {
  Q_OBJECT

public:
  explicit TInstanceServer(QObject* parent = nullptr);
  ~TInstanceServer() override;

  // Listens on `name`, after closing what it listened on before. A socket file left behind by
  // an instance that is gone is removed first; false when a live instance holds the name (even
  // one that does not answer), or the socket cannot be made. Blocks up to a second.
  bool Listen(const std::string& name);
  void Close();
  bool Listening() const;

  std::function<void(const THandedOver&)> OnReceive;

private:
  void Accept();
  void Read(QLocalSocket* socket);

  QLocalServer* FServer;
};

} // namespace dravik
