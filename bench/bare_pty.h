#pragma once
// What the benchmarks measure the library against: a round trip of one
// 5-byte frame over a bare pty pair, whose master answers every 5 bytes
// with 5 bytes, and a raw client on the slave that purges (as the library
// does before each write), writes the frame and waits for the answer.

#include <vector>

namespace vqbench {

std::vector<double> BarePtyRoundTripsUs(int count);

double Median(std::vector<double> samples);

}  // namespace vqbench
