// A mid-size host on the in-memory platform, shared by the tests of whole
// runs (crash safety, locking).
#pragma once

#include <string>

#include "support/FakePlatform.h"

namespace extmerge::test {

inline const std::string kSampleTemplate = "C:\\Host\\Data\\Template\\Template.dat";
inline const std::string kSampleBackground = "C:\\Host\\Data\\Backgrnd\\BackGrnd.dat";
inline const std::string kSampleRoot = "C:\\Host\\Data\\ExtContents";

// Key "MyHost" -> C:\Host\ with both catalogues (comments, blank lines,
// marked and unmarked entries) and four content folders Pack0..Pack3 that
// add to existing and new sections; Pack3 repeats Pack0 and adds nothing.
void BuildSampleHost(FakePlatform& sys);

}  // namespace extmerge::test
