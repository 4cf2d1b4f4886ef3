#pragma once
// Statuses that the plug-in shell returns to the host (0 is success).
#include "tarn/PIM.h"

namespace mattix {

// The host refused to create or take a parameter, or gave no list, factory,
// registry or parameter set to work with.
inline constexpr PIM::Status kStatusHostRefused = 0x5000;
// A frame could not be rendered.
inline constexpr PIM::Status kStatusRenderFailed = 0x1000;
// A frame of a layout the module does not process, or a missing frame.
inline constexpr PIM::Status kStatusRefusedFrame = 0x3400;
// PrepareOutput found no input frame.
inline constexpr PIM::Status kStatusNoInput = 0x4002;
// A user event without a mouse facet.
inline constexpr PIM::Status kStatusNoMouse = 0x1003;

}  // namespace mattix
