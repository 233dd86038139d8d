// Options that several commands share, with plain messages for values that
// do not fit.

#ifndef RAVELIN_CLI_COMMAND_OPTIONS_H_
#define RAVELIN_CLI_COMMAND_OPTIONS_H_

#include <CLI/CLI.hpp>
#include <cstdint>
#include <limits>
#include <string>

namespace ravelin {

// A whole-number option (or positional argument) from `minimum` to
// `maximum`. Anything else is a usage error such as "--page: must be a
// whole number, 1 or more (not 0)".
CLI::Option* AddCountOption(CLI::App* cmd, const std::string& name, int64_t& target, const std::string& description,
                            int64_t minimum, int64_t maximum = std::numeric_limits<int32_t>::max());

// The text of the problem with `text` as such a number; empty when it fits.
std::string CountProblem(const std::string& text, int64_t minimum, int64_t maximum);

}  // namespace ravelin

#endif  // RAVELIN_CLI_COMMAND_OPTIONS_H_
