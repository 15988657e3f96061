#pragma once
// The silent sound output now lives in playback_fakes.h.
#include "playback_fakes.h"
