// A long random search of the conversion machine on the simulated line, beside the suite's
// fixed seeds: `simulator_search SECONDS [FIRST_SEED]`. A failing seed is printed, to be made a
// case of the suite; the exit status is 1 then.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "line_simulator.h"

int main(int argc, char* argv[]) {
  const double seconds = argc > 1 ? std::atof(argv[1]) : 60;
  uint64_t seed = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : std::random_device{}();
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  constexpr int kBits[] = {12, 16, 8, 14};
  double hours = 0;
  long runs = 0;
  while (std::chrono::steady_clock::now() < end) {
    LineSimulator::Setup setup;
    setup.seed = seed;
    setup.hours = 2;
    setup.bits = kBits[runs % 4];
    setup.channels = 1 + int(seed % 4);
    const LineSimulator::Result result = LineSimulator(setup).run();
    hours += setup.hours;
    ++runs;
    if (result.safetyViolations + result.busyRequests + result.livenessMisses > 0) {
      std::printf("%d bits, %d channels: %s\n", setup.bits, setup.channels,
                  result.firstProblem.c_str());
      return 1;
    }
    ++seed;
  }
  std::printf("simulator_search: %.0f simulated hours in %ld runs, no problem\n", hours, runs);
  return 0;
}
