// Shared main() for the benchmark programs: creates the Qt application and,
// after the run, prints the ratio of each registered pair of benchmarks that
// measure the same work, Kalvo's way against Qt's way.
#pragma once

#include <string>

namespace kalvo::bench {

// After the run, prints "<label>: <ours> vs <theirs> = <ratio>x" using the
// real (or manual) time of the two benchmarks named `ours` and `theirs`.
void compare(const std::string &label, const std::string &ours, const std::string &theirs);

} // namespace kalvo::bench
