#include "ReadmeExample_testutil.h"

#include <fstream>

std::string ReadmeExample() {
  std::ifstream in(QORTOOLS_SOURCE_DIR "/README.md");
  std::string line, text;
  bool inExample = false;
  while (std::getline(in, line)) {
    if (line.rfind("Example,", 0) == 0) {
      inExample = true;
    } else if (inExample && line.rfind("Here ", 0) == 0) {
      break;
    } else if (inExample && line.rfind("    ", 0) == 0) {
      text += line.substr(4) + "\n";
    }
  }
  return text;
}
