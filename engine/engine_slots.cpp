// The engine's slots (see engine_slots.h): zero-initialised at load.
#include "engine/engine_slots.h"

EngineSlots g_slots;
