#include "viewer/TwoColumnMenu.h"
