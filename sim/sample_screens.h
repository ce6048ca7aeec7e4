// Sample hardcopies as a tester shows its screens: title line, grid, a trace, markers with
// labels, softkey labels on the right and a settings line below the grid.
#pragma once

#include <string>
#include <vector>

namespace qlxsim {

struct SampleFile {
    std::string name;
    std::string bytes;
};

// Four hardcopies in 640x480, 800x600 and 1024x768 logical units (one with a lower-case name)
// and one text file that is not a hardcopy.
std::vector<SampleFile> sampleFiles();

} // namespace qlxsim
