// The process environment of the shell tests (see support/test_process.h).
#include "support/test_process.h"
