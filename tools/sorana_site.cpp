// sorana-site: builds, serves and checks update sites and test prefixes.
#include <iostream>
#include <string>
#include <vector>

#include "tools/site_commands.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return sorana::tools::RunSite(args, std::cout, std::cerr);
}
