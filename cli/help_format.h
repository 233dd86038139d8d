// Help texts that fit the terminal: every description is wrapped at word
// boundaries to the width of the terminal on stdout (80 columns when it is
// no terminal), indented under its column.

#ifndef RAVELIN_CLI_HELP_FORMAT_H_
#define RAVELIN_CLI_HELP_FORMAT_H_

#include <CLI/CLI.hpp>
#include <string>

namespace ravelin {

// `text` wrapped to lines of at most `width` columns; its own line breaks
// are kept, and a line that begins with blanks and a term ("  3  partial:
// ...") goes on indented under the text after the term.
std::string WrapText(const std::string& text, size_t width);

class WrappingFormatter : public CLI::Formatter {
 public:
  explicit WrappingFormatter(size_t width);

  std::string make_option_desc(const CLI::Option* option) const override;
  std::string make_subcommand(const CLI::App* sub) const override;
  std::string make_description(const CLI::App* app) const override;
  std::string make_footer(const CLI::App* app) const override;

 private:
  size_t DescriptionWidth() const;

  size_t width_;
};

}  // namespace ravelin

#endif  // RAVELIN_CLI_HELP_FORMAT_H_
