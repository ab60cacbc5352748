#include "viewer/RtfDocument.h"
