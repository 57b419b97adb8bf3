#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

/// An ADC-16 on a pseudo-terminal, built from the maker's description of its line: it takes one
/// control byte, converts for the time its resolution needs, and answers with a sign character
/// and the magnitude, high byte first. Values come from a script per channel (repeated). The
/// device is a symbolic link, so that it can go away and come back under the same name, as a
/// USB adapter that is pulled and plugged in again.
class ConverterEmulator {
 public:
  enum class Answer { Normal, Silent, Garbage, WrongSign };

  /// Starts serving at once; `link` is the device path it offers.
  explicit ConverterEmulator(std::string link);
  ~ConverterEmulator();
  ConverterEmulator(const ConverterEmulator&) = delete;
  ConverterEmulator& operator=(const ConverterEmulator&) = delete;

  const std::string& device() const { return link_; }
  /// The counts channel `channel` answers, one after the other, again from the start at the end.
  void setValues(int channel, std::vector<int32_t> values);
  void setAnswer(Answer answer);
  void setConversionTime(int bits, std::chrono::milliseconds time);
  /// The device disappears: the line breaks and its name is gone.
  void goAway();
  /// A new device under the same name.
  void comeBack();

  /// Every control byte received, in order.
  std::vector<uint8_t> controlBytes() const;
  /// Bytes that arrived while a conversion was pending (the converter would lose them).
  int overruns() const { return overruns_; }

 private:
  void openDevice();
  void closeDevice();
  void serve();
  void answer(uint8_t control);

  std::string link_;
  mutable std::mutex mutex_;
  int master_ = -1;
  int slave_ = -1;  ///< held open so that the line keeps its raw settings between users
  std::map<int, std::vector<int32_t>> values_;
  std::map<int, size_t> next_;
  std::map<int, std::chrono::milliseconds> conversionTime_;
  Answer answer_ = Answer::Normal;
  std::vector<uint8_t> received_;
  std::atomic<int> overruns_{0};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};
