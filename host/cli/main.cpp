// The mattix command. The render command joins when the frame rendering of
// the effect is linked in; the mask and project commands work without it.
#include "host/cli/Commands.h"

int main(int argc, char** argv) { return mattix::cli::CommandMain(argc, argv); }
