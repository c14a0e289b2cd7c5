// The authoring tool reports every failure as an exception carrying the one-line message the
// user sees; each command turns it into its exit status at the top of its callback.
#pragma once

#include <stdexcept>
#include <string>

// The input file is not an installer we can read, or one of its parts is damaged.
class InstallerError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The stub, the manifest's files or the output could not be used as asked.
class BuildError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
