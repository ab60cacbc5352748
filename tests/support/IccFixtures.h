// ICC profiles for tests and fuzz seeds, made with Little CMS from primaries and tone curves
// (no profile file is needed): Adobe RGB's colours, sRGB with red and green exchanged (whose
// effect no eye can miss), and a grey profile.
#pragma once

#include "tests/support/JpegFixtures.h"

namespace tessaly::fixtures {

// Adobe RGB (1998): its primaries and white point, a gamma of 563/256.
Bytes AdobeRgbProfile();
// sRGB's primaries with red and green exchanged, gamma 2.2.
Bytes SwappedRedGreenProfile();
// A grey profile with a gamma of 1.8 on the D50 white.
Bytes GreyProfile();
// An sRGB profile (version 4) whose D2B0 table chains `matrices` identity 3 x 3 matrices:
// its colours are sRGB's, and linking it costs in proportion to the chain.
Bytes ChainedMatricesProfile(int matrices);

} // namespace tessaly::fixtures
