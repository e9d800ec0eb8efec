// The engine library exports the thirteen strova_ names and nothing else.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

const std::set<std::string> kThirteen = {"strova_init",         "strova_wait",      "strova_release",
                                         "strova_startoutput",  "strova_endoutput", "strova_playon",
                                         "strova_playoff",      "strova_startplay", "strova_endplay",
                                         "strova_startstream",  "strova_endstream", "strova_startplaystream",
                                         "strova_endplaystream"};

std::set<std::string> DefinedDynamicSymbols(const std::string& library) {
  std::set<std::string> names;
  FILE* nm = popen(("nm -D --defined-only " + library).c_str(), "r");
  if (!nm) return names;
  char line[512];
  while (std::fgets(line, sizeof line, nm)) {
    std::istringstream fields(line);
    std::string address, type, name;
    if (fields >> address >> type >> name) names.insert(name);
  }
  pclose(nm);
  return names;
}

TEST(EngineExports, AreExactlyTheThirteen) { EXPECT_EQ(DefinedDynamicSymbols(STROVA_LIBRARY_PATH), kThirteen); }

}  // namespace
