// The mattix command: the mask and project commands, `mattix render`, which
// loads the effect module (see host/effect/KeyingEffect.h for where it is
// found), `mattix serve`, the keyer in a browser, and `mattix key pick`,
// which picks on the module's own wheel.
#include "host/cli/Commands.h"

#ifdef __GLIBC__
#include <malloc.h>
#endif

int main(int argc, char** argv) {
#ifdef __GLIBC__
  // A render allocates and frees several frame-sized buffers per frame.
  // Served from the heap and kept there, instead of fresh mappings that are
  // unmapped again, they cost no page faults, whose zeroing was an eighth of
  // a 1080p render's time, and no unmapping, which stalls the other jobs'
  // page faults. 32 MiB is the most glibc takes; larger frames (4K and up)
  // still get mappings of their own.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
  return mattix::cli::CommandMain(argc, argv);
}
