#pragma once
// The effect's parameters: their indexes, and the helpers that define them on
// the host's list through the host's factory.
#include "tarn/Tarn.h"

#include <cstdint>

namespace mattix {

enum ParameterIndex : std::int32_t {
  kSoftness = 0,          // number, percent
  kSpillSuppression = 1,  // number, percent
  kKeyRed = 2,            // number 0..255, a colour picked by the host
  kKeyGreen = 3,
  kKeyBlue = 4,
  kLightness = 5,   // 32 bytes: four little-endian doubles, percent
  kChromaMask = 6,  // the chroma mask record
  kParameterCount = 7
};

// The "Lightness" value's size and default breakpoints L0..L3 in percent.
inline constexpr std::uint32_t kLightnessSize = 32;
inline constexpr double kDefaultLightness[4] = {0.0, 0.0, 100.0, 100.0};

// Passed as displayMinimum to AddNumberParameter: the display range is the
// value range.
inline constexpr double kDisplayAsValueRange = -1.0;

// Creates a number parameter through factory, names and indexes it, sets its
// step, range and display range, sets current and default value to initial,
// and adds it to list. Returns the list's status, kStatusHostRefused when list
// or factory is null or the factory refuses (nothing is asked of the factory
// in the first case), or the status of a facet that cannot be had.
PIM::Status AddNumberParameter(Tarn::IFXParameterList* list, Tarn::IFXParameterFactory* factory,
                               const char* name, std::int32_t index, double initial, double step,
                               double minimum, double maximum, double displayMinimum,
                               double displayMaximum);

// Creates a byte-block parameter, names and indexes it, sets current and
// default value to a copy of the size bytes at data, and adds it to list
// (whose status is not looked at). A factory that refuses is not an error:
// the parameter is left out and 0 is returned. A value facet that cannot be
// had ends the definition with its status. list and factory must not be null.
PIM::Status AddDataParameter(Tarn::IFXParameterList* list, Tarn::IFXParameterFactory* factory,
                             const char* name, std::int32_t index, const void* data,
                             std::uint32_t size);

}  // namespace mattix
