#pragma once
// The module's entry points, the only functions the host finds by name.
#include "tarn/Tarn.h"

#define MATTIX_ENTRY __attribute__((visibility("default")))

namespace mattix {

// Identifier of the "Chroma Key" effect: given to the host at registration,
// compared over all 16 bytes at creation.
inline constexpr PIM::IID kChromaKeyEffectId{{0xDE, 0x4E, 0x36, 0x68, 0x85, 0x15, 0x4D, 0x31, 0xD4,
                                              0x97, 0x23, 0xA2, 0x2C, 0xCA, 0x35, 0x21}};

}  // namespace mattix

extern "C" {

// Describes the "Chroma Key" effect to registry and info and registers it.
// Returns 0, the registry's status when it refuses the registration, or
// kStatusHostRefused when registry or info is null.
MATTIX_ENTRY PIM::Status registerEffects(Tarn::IFXEffectRegistry* registry,
                                         Tarn::IFXEffectInfo* info);

// A new, independent "Chroma Key" instance with a reference count of 0 (the
// host's first AddRef makes it 1), or null when id is null, is not the
// effect's identifier, or the instance cannot be allocated.
MATTIX_ENTRY Tarn::IFXBase* createEffect(const PIM::IID* id);

}  // extern "C"
