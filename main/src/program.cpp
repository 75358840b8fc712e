// quillory: runs the backup job described by the information file named on the command line.
#include "main/lha_tool.h"

int main(int argc, char** argv) {
  auto os = platform::MakePlatform(platform::Env::Default(), argc, argv);
  return lhatool::Main(*os);
}
