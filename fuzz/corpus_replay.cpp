// Runs a fuzz target's entry point over saved inputs (files, or folders of
// files in name order), so the seed corpora run as ordinary tests in builds
// without libFuzzer. A finding crashes or traps, as under the fuzzer; the
// driver itself fails only when there was nothing to run.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> Entradas(const fs::path& p) {
  std::vector<fs::path> r;
  if (fs::is_directory(p)) {
    for (const auto& e : fs::directory_iterator(p)) {
      if (e.is_regular_file()) r.push_back(e.path());
    }
    std::sort(r.begin(), r.end());
  } else if (fs::is_regular_file(p)) {
    r.push_back(p);
  }
  return r;
}

}  // namespace

int main(int argc, char** argv) {
  size_t executadas = 0;
  for (int i = 1; i < argc; ++i) {
    for (const fs::path& f : Entradas(argv[i])) {
      std::ifstream in(f, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
      std::printf("%s (%zu bytes)\n", f.c_str(), bytes.size());
      std::fflush(stdout);  // names the input if the next call crashes
      LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
      ++executadas;
    }
  }
  std::printf("%zu inputs\n", executadas);
  return executadas > 0 ? 0 : 1;
}
