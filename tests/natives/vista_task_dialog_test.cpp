#include "harness/natives_test.h"
