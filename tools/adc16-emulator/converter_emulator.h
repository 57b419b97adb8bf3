#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

/// An ADC-16 on a pseudo-terminal, built from the maker's description of its line: it takes one
/// control byte, converts for the time its resolution needs, and answers with a sign character
/// and the magnitude, high byte first. Values come from a script per channel (repeated). The
/// device is a symbolic link, so that it can go away and come back under the same name, as a
/// USB adapter that is pulled and plugged in again.
///
/// It can also misbehave as a bad line or a faulty converter does: answers late, stray bytes
/// after answers, sign-like noise, the device away for a while.
class ConverterEmulator {
 public:
  using Milliseconds = std::chrono::milliseconds;
  enum class Answer { Normal, Silent, Garbage, WrongSign };

  /// Starts serving at once; `link` is the device path it offers.
  explicit ConverterEmulator(std::string link);
  ~ConverterEmulator();
  ConverterEmulator(const ConverterEmulator&) = delete;
  ConverterEmulator& operator=(const ConverterEmulator&) = delete;

  const std::string& device() const { return link_; }
  /// The counts channel `channel` answers, one after the other, again from the start at the end.
  /// A magnitude beyond the requested resolution is sent as it is (up to 0xFFFF).
  void setValues(int channel, std::vector<int32_t> values);
  void setAnswer(Answer answer);
  void setConversionTime(int bits, Milliseconds time);
  /// Every answer comes this long after its request, drawn evenly from [shortest, longest]
  /// whatever the resolution; zero for both: the conversion times again.
  void setAnswerDelay(Milliseconds shortest, Milliseconds longest);
  /// One extra byte after every `nth` answer, `later` after it (0: right behind it); 0: none.
  void setExtraByte(int nth, uint8_t byte, Milliseconds later);
  /// Every `nth` answer sent again, whole, after each of `delays` (counted from the answer);
  /// 0: none.
  void setRepeat(int nth, std::vector<Milliseconds> delays);
  /// From `after` on (counted from now), every conversion takes `time`, whatever the resolution;
  /// a `time` of 0: the conversion times again.
  void setSlowAfter(Milliseconds after, Milliseconds time);
  /// The last byte of every `nth` answer is lost on the line; 0: none.
  void setLostByte(int nth) {
    const std::lock_guard lock(mutex_);
    lostNth_ = std::max(nth, 0);
  }
  /// The next `count` answers come as a break does, read as 0x00 bytes.
  void setBrokenAnswers(int count) {
    const std::lock_guard lock(mutex_);
    brokenAnswers_ = count;
  }
  /// Random '+' and '-' bytes on the line, on average one every `meanGap`; 0: none.
  void setSignNoise(Milliseconds meanGap);
  /// The converter is powering up for `time` from now: it ignores every request meanwhile.
  void setPowerUp(Milliseconds time) {
    const std::lock_guard lock(mutex_);
    poweredUp_ = Clock::now() + time;
  }
  /// The device disappears: the line breaks and its name is gone.
  void goAway();
  /// A new device under the same name.
  void comeBack();
  /// The name now leads to a second converter, while the first stays open but answers no more
  /// (a link re-pointed by udev to another adapter).
  void repoint();

  /// Every control byte received, in order.
  std::vector<uint8_t> controlBytes() const;
  /// Bytes that arrived while a conversion was pending (the converter would lose them).
  int overruns() const { return overruns_; }
  /// Control bytes received so far; unlike controlBytes(), readable while a conversion is
  /// pending.
  int requests() const { return requests_; }

 private:
  using Clock = std::chrono::steady_clock;
  void openDevice();
  void closeDevice();
  void serve();
  void answer(uint8_t control);
  /// Writes the stray bytes now due (mutex held).
  void writeDueStrays();
  Clock::time_point nextStrayDue() const;
  void scheduleNoise(Clock::time_point after);

  std::string link_;
  mutable std::mutex mutex_;
  int master_ = -1;
  std::vector<int> abandoned_;  ///< the devices before repoint(): open, never answered
  int slave_ = -1;              ///< held open so that the line keeps its raw settings between users
  std::map<int, std::vector<int32_t>> values_;
  std::map<int, size_t> next_;
  std::map<int, Milliseconds> conversionTime_;
  Answer answer_ = Answer::Normal;
  Milliseconds delayShortest_{0};
  Milliseconds delayLongest_{0};
  int extraNth_ = 0;
  uint8_t extraByte_ = '+';
  Milliseconds extraLater_{0};
  int answered_ = 0;
  int brokenAnswers_ = 0;
  int lostNth_ = 0;
  int repeatNth_ = 0;
  std::vector<Milliseconds> repeatDelays_;
  Clock::time_point slowFrom_ = Clock::time_point::max();
  Milliseconds slowTime_{0};
  Milliseconds noiseGap_{0};
  std::multimap<Clock::time_point, uint8_t> strays_;  ///< bytes due on the line at those times
  std::mt19937 random_{2026};  ///< fixed: a misbehaviour repeats run after run
  std::vector<uint8_t> received_;
  std::atomic<int> overruns_{0};
  std::atomic<int> requests_{0};
  Clock::time_point poweredUp_{};
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};
