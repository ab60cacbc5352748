#include "viewer/RtfReader.h"
