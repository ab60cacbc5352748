#include "viewer/readme.h"
