// qorserver: makes and fills a server file for the embedded server.
#include <iostream>
#include <string>
#include <vector>

#include "QorServerTool.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return QorServerTool::Run(args, std::cout, std::cerr);
}
