// A stand-in for the converter maker's library with the same four C calls, for tests and demos.
// Behaviour is scripted with fake_adc16_configure() or the FAKE_ADC16_SCRIPT environment
// variable, e.g. "ports=3,7;ch1=100,200,x,300;ch2=5": the ports that open, and per channel a
// reading sequence that repeats ("x" = a failed reading). Every call is logged one per line;
// the log is read with fake_adc16_call_log() and also appended to the file FAKE_ADC16_LOG names.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

struct Script {
  bool anyPort = true;
  std::set<int32_t> ports;
  std::map<int32_t, std::vector<std::optional<int32_t>>> readings;
};

struct State {
  Script script;
  std::map<int32_t, size_t> nextReading;
  std::set<int32_t> openPorts;
  std::string log;
  bool configured = false;
};

State& state() {
  static State s;
  return s;
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  std::string part;
  while (std::getline(stream, part, separator)) parts.push_back(part);
  return parts;
}

Script parse(const std::string& text) {
  Script script;
  // Without a script channel 1 reads about 1000 mV with a little noise, the others fail.
  script.readings[1] = {1638, 1640, 1636, 1650, 1630};
  for (const std::string& entry : split(text, ';')) {
    const size_t eq = entry.find('=');
    if (eq == std::string::npos) continue;
    const std::string key = entry.substr(0, eq);
    const std::vector<std::string> values = split(entry.substr(eq + 1), ',');
    if (key == "ports") {
      script.anyPort = false;
      for (const std::string& v : values) script.ports.insert(std::atoi(v.c_str()));
    } else if (key.size() == 3 && key.rfind("ch", 0) == 0) {
      std::vector<std::optional<int32_t>> sequence;
      for (const std::string& v : values) {
        if (v == "x") {
          sequence.push_back(std::nullopt);
        } else {
          sequence.push_back(static_cast<int32_t>(std::atol(v.c_str())));
        }
      }
      script.readings[key[2] - '0'] = sequence;
    }
  }
  return script;
}

void ensureConfigured() {
  State& s = state();
  if (s.configured) return;
  const char* text = std::getenv("FAKE_ADC16_SCRIPT");
  s.script = parse(text ? text : "");
  s.configured = true;
}

void logCall(const std::string& line) {
  state().log += line + "\n";
  if (const char* path = std::getenv("FAKE_ADC16_LOG")) {
    if (FILE* file = std::fopen(path, "a")) {
      std::fprintf(file, "%s\n", line.c_str());
      std::fclose(file);
    }
  }
}

}  // namespace

FAKE_EXPORT void fake_adc16_configure(const char* script) {
  State& s = state();
  s = State();
  s.script = parse(script ? script : "");
  s.configured = true;
}

FAKE_EXPORT const char* fake_adc16_call_log() { return state().log.c_str(); }

FAKE_EXPORT uint8_t adc16_open_unit(int32_t port) {
  ensureConfigured();
  logCall("open " + std::to_string(port));
  State& s = state();
  const bool answers = s.script.anyPort || s.script.ports.count(port) > 0;
  if (answers) s.openPorts.insert(port);
  return answers ? 1 : 0;
}

FAKE_EXPORT uint8_t adc16_set_channel(int32_t port, int32_t channel, int32_t a, int32_t b,
                                      int32_t c) {
  ensureConfigured();
  logCall("set_channel " + std::to_string(port) + " " + std::to_string(channel) + " " +
          std::to_string(a) + " " + std::to_string(b) + " " + std::to_string(c));
  return state().openPorts.count(port) ? 1 : 0;
}

FAKE_EXPORT uint8_t adc16_get_value(int32_t* reading, int32_t port, int32_t channel) {
  ensureConfigured();
  logCall("get_value " + std::to_string(port) + " " + std::to_string(channel));
  State& s = state();
  if (!s.openPorts.count(port)) return 0;
  const auto found = s.script.readings.find(channel);
  if (found == s.script.readings.end() || found->second.empty()) return 0;
  size_t& next = s.nextReading[channel];
  const std::optional<int32_t> value = found->second[next % found->second.size()];
  ++next;
  if (!value) return 0;
  *reading = *value;
  return 1;
}

FAKE_EXPORT uint8_t adc16_close_unit(int32_t port) {
  ensureConfigured();
  logCall("close " + std::to_string(port));
  return state().openPorts.erase(port) ? 1 : 0;
}
