#pragma once
// The host SDK: every interface of host and effect.
#include "tarn/Effect.h"
#include "tarn/Events.h"
#include "tarn/Geometry.h"
#include "tarn/Images.h"
#include "tarn/PIM.h"
#include "tarn/Parameters.h"
#include "tarn/Registry.h"
