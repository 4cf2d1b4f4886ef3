#pragma once
// Work on a picture split into bands of rows, a thread a band, so that one
// frame is keyed (and its scopes counted) on every processor.
#include <functional>

namespace mattix::host {

// Calls work(band, first, count) for `bands` bands that cover rows
// [0, rows) in order, as even as whole rows allow (bands is lowered to
// rows when there are fewer, raised to 1): band 0 on the calling thread,
// each other on a thread of its own. Returns once all have ended; when any
// threw, rethrows the exception of the lowest such band.
void ForEachBand(int rows, int bands, const std::function<void(int, int, int)>& work);

}  // namespace mattix::host
