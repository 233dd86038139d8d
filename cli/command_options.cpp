#include "cli/command_options.h"

#include <charconv>

namespace ravelin {

std::string CountProblem(const std::string& text, int64_t minimum, int64_t maximum) {
  std::string range = minimum == maximum ? "exactly " + std::to_string(minimum)
                      : maximum == std::numeric_limits<int32_t>::max() || maximum == std::numeric_limits<int64_t>::max()
                          ? std::to_string(minimum) + " or more"
                          : "from " + std::to_string(minimum) + " to " + std::to_string(maximum);
  const std::string problem = "must be a whole number, " + range + " (not " + (text.empty() ? "empty" : text) + ")";
  int64_t value = 0;
  const char* end = text.data() + text.size();
  const auto parsed = std::from_chars(text.data(), end, value);
  if (text.empty() || parsed.ec != std::errc() || parsed.ptr != end) return problem;
  if (value < minimum || value > maximum) return problem;
  return {};
}

CLI::Option* AddCountOption(CLI::App* cmd, const std::string& name, int64_t& target, const std::string& description,
                            int64_t minimum, int64_t maximum) {
  return cmd
      ->add_option_function<std::string>(
          name,
          [&target, name, minimum, maximum](const std::string& text) {
            if (std::string problem = CountProblem(text, minimum, maximum); !problem.empty())
              throw CLI::ValidationError(name, problem);
            int64_t value = 0;
            std::from_chars(text.data(), text.data() + text.size(), value);
            target = value;
          },
          description)
      ->type_name("N");
}

}  // namespace ravelin
