#include "tests/support/ExifBuilder.h"
