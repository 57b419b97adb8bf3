#pragma once

#include <QObject>
#include <functional>
#include <memory>

class QSocketNotifier;

/// SIGINT, SIGTERM and SIGHUP as a request to stop, heard in the event loop: the handler only
/// writes the signal's number into a pipe, which a socket notifier reads. A signal that comes
/// while the program is already stopping (`setStopping`) ends it at once with 128 + signal,
/// leaving whatever was not saved in its journal.
class StopSignals : public QObject {
  Q_OBJECT
 public:
  explicit StopSignals(std::function<void(int signal)> onStop, QObject* parent = nullptr);
  ~StopSignals() override;

  /// From now on a further signal ends the program at once.
  static void setStopping();
  /// The stop signal received so far (0: none), heard even while the event loop was held up.
  static int received();
  /// The signal's name ("SIGTERM").
  static const char* name(int signal);

 private:
  std::function<void(int)> onStop_;
  std::unique_ptr<QSocketNotifier> notifier_;
};
