#pragma once
// Export marker of the Windows layer: its functions are the layer's public
// interface, so they keep default visibility in libmattixwin.so.
#define WINAPI_EXPORT __attribute__((visibility("default")))
