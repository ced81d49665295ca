// kestrune_render: runs a sound file through the effect engine offline.
#include <iostream>
#include <string>
#include <vector>

#include "tools/render_cli.h"

int main(int argc, char** argv) {
  const std::vector<std::string> words(argv + 1, argv + argc);
  return kestrune::runRenderCommand(words, std::cout, std::cerr);
}
