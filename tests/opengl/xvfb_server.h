#pragma once
// Moved to the shared test support: the OpenGL and the desktop tests use it.
#include "support/xvfb_server.h"
