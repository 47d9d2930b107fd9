// Runs every file of the corpus folders (or single files) named on the command
// line through the target, once each, in name order: a fuzz target's inputs
// as a plain test wherever libFuzzer is not there. A property a target
// checks aborts the run; an empty corpus is an error, since it tests nothing.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

std::vector<std::filesystem::path> InputsOf(const std::filesystem::path& argument) {
  std::vector<std::filesystem::path> inputs;
  if (std::filesystem::is_directory(argument)) {
    for (const auto& entry : std::filesystem::directory_iterator(argument)) {
      if (entry.is_regular_file()) inputs.push_back(entry.path());
    }
    std::sort(inputs.begin(), inputs.end());
  } else if (std::filesystem::is_regular_file(argument)) {
    inputs.push_back(argument);
  }
  return inputs;
}

}  // namespace

int main(int argc, char** argv) {
  size_t replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& input : InputsOf(argv[i])) {
      std::ifstream file(input, std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file),
                                       std::istreambuf_iterator<char>()};
      // A heap block of exactly the file's size, so a read past it is seen by ASan.
      const std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
      std::copy(bytes.begin(), bytes.end(), exact.get());
      LLVMFuzzerTestOneInput(exact.get(), bytes.size());
      ++replayed;
    }
  }
  std::printf("%zu inputs replayed\n", replayed);
  return replayed == 0 ? 1 : 0;
}
