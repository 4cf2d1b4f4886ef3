// The mattix command: the mask and project commands, `mattix render`, which
// loads the effect module (see RenderCommand.h for where it is found), and
// `mattix serve`, the keyer in a browser, and `mattix key pick`, which
// picks on the module's own wheel.
#include "host/cli/Commands.h"
#include "host/cli/KeyCommand.h"
#include "host/cli/RenderCommand.h"
#include "host/serve/KeyerServer.h"

int main(int argc, char** argv) {
  return mattix::cli::CommandMain(argc, argv, mattix::cli::Render, mattix::serve::Serve,
                                  mattix::cli::KeyPick);
}
