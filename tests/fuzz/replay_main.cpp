// Runs a fuzz entry point over saved inputs, so that ordinary builds replay
// the committed corpus:  replay PATH...  (a file, or a directory whose
// regular files are run in name order). Fails when no input was found.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size);

namespace {

void run_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
  std::fprintf(stderr, "replay %s (%zu bytes)\n", path.c_str(), bytes.size());
  // A copy of exactly the input's size, so that a read past its end is a
  // read past the end of the allocation.
  std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
  static std::uint8_t none = 0;
  LLVMFuzzerTestOneInput(data.empty() ? &none : data.data(), data.size());
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg))
        if (entry.is_regular_file()) inputs.push_back(entry.path());
    } else if (std::filesystem::is_regular_file(arg)) {
      inputs.push_back(arg);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "no inputs found\n");
    return 1;
  }
  std::sort(inputs.begin(), inputs.end());
  for (const auto& path : inputs) run_file(path);
  std::fprintf(stderr, "replayed %zu inputs\n", inputs.size());
  return 0;
}
