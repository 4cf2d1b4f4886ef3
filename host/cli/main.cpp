// The mattix command: the mask and project commands, and `mattix render`,
// which loads the effect module (see RenderCommand.h for where it is found).
#include "host/cli/Commands.h"
#include "host/cli/RenderCommand.h"

int main(int argc, char** argv) {
  return mattix::cli::CommandMain(argc, argv, mattix::cli::Render);
}
