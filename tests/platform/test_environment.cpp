// The process environment of the platform tests (see support/test_process.h).
#include "support/test_process.h"
