// Runs the fuzz target without libFuzzer (compilers other than clang): every
// seed file of the given folders, then a fixed number of seeded random
// mutations of them, each at most FUZZ_MAX_LEN bytes long. Usage: NAME RUNS FOLDER...
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

void Run(const std::string& input) {
  LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
}

// Bytes that matter to the parsers: parentheses, blanks, controls, the
// edges of UTF-8 sequences, and the characters of a size reply.
constexpr unsigned char kInteresting[] = {'(',  ')',  ' ',  '\t', '\r', '\n', 0,    0x1F, 0x20, 0x21, 0x7F, 0x80,
                                          0xBF, 0xC0, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF, '.',
                                          '1',  'A',  'O',  'K',  '=',  'x',  'X',  '$',  '-',  '+'};

std::string Mutate(std::string input, std::mt19937& random) {
  const int steps = 1 + static_cast<int>(random() % 4);
  for (int s = 0; s < steps; ++s) {
    const auto byte = static_cast<char>(random() % 2 ? kInteresting[random() % sizeof kInteresting] : random());
    const std::size_t at = input.empty() ? 0 : random() % (input.size() + 1);
    switch (random() % 4) {
      case 0:
        input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), byte);
        break;
      case 1:
        if (at < input.size()) input[at] = byte;
        break;
      case 2:
        if (at < input.size()) input.erase(at, 1 + random() % 3);
        break;
      default:
        input.insert(at, input.substr(0, random() % (input.size() + 1)));
        break;
    }
    if (input.size() > FUZZ_MAX_LEN) input.resize(FUZZ_MAX_LEN);
  }
  return input;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s RUNS FOLDER...\n", argv[0]);
    return 2;
  }
  const long runs = std::strtol(argv[1], nullptr, 10);
  std::vector<std::string> seeds{""};
  for (int i = 2; i < argc; ++i) {
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) {
      std::ifstream file(entry.path(), std::ios::binary);
      seeds.emplace_back(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    }
  }
  for (const std::string& seed : seeds) Run(seed);
  std::mt19937 random(1);
  for (long i = 0; i < runs; ++i) {
    std::string input = seeds[random() % seeds.size()];
    Run(Mutate(std::move(input), random));
  }
  std::printf("%zu seeds and %ld mutations passed\n", seeds.size(), runs);
  return 0;
}
