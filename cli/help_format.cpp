#include "cli/help_format.h"

#include <algorithm>
#include <sstream>

namespace ravelin {
namespace {

constexpr size_t kMinimumDescriptionWidth = 30;

// Columns a UTF-8 text takes: its characters, not its bytes.
size_t Columns(const std::string& text) {
  return static_cast<size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

std::string WrapText(const std::string& text, size_t width) {
  std::string out;
  std::istringstream lines(text);
  std::string line;
  bool firstLine = true;
  while (std::getline(lines, line)) {
    if (!firstLine) out += '\n';
    firstLine = false;
    if (line.empty() || Columns(line) <= width) {
      out += line;
      continue;
    }
    // An indented entry ("  3  partial: ...") goes on under its text.
    size_t indent = 0;
    if (line.front() == ' ') {
      const size_t term = line.find_first_not_of(' ');
      const size_t gap = line.find("  ", term);
      const size_t text = gap == std::string::npos ? std::string::npos : line.find_first_not_of(' ', gap);
      indent = text != std::string::npos && text < width / 2 ? text : term;
      out += line.substr(0, indent);
    }
    std::istringstream words(line.substr(indent));
    std::string word;
    size_t used = indent;
    bool lineStart = true;
    while (words >> word) {
      const size_t length = Columns(word);
      if (!lineStart && used + 1 + length > width) {
        out += '\n';
        out.append(indent, ' ');
        used = indent;
        lineStart = true;
      }
      if (!lineStart) {
        out += ' ';
        ++used;
      }
      out += word;
      used += length;
      lineStart = false;
    }
  }
  if (!text.empty() && text.back() == '\n') out += '\n';
  return out;
}

WrappingFormatter::WrappingFormatter(size_t width) : width_(width) {}

size_t WrappingFormatter::DescriptionWidth() const {
  return std::max(kMinimumDescriptionWidth, width_ > get_column_width() ? width_ - get_column_width() : 0);
}

std::string WrappingFormatter::make_option_desc(const CLI::Option* option) const {
  return WrapText(CLI::Formatter::make_option_desc(option), DescriptionWidth());
}

std::string WrappingFormatter::make_subcommand(const CLI::App* sub) const {
  std::stringstream out;
  CLI::detail::format_help(out, sub->get_display_name(true), WrapText(sub->get_description(), DescriptionWidth()),
                           get_column_width());
  return out.str();
}

std::string WrappingFormatter::make_description(const CLI::App* app) const {
  return WrapText(CLI::Formatter::make_description(app), width_);
}

std::string WrappingFormatter::make_footer(const CLI::App* app) const {
  const std::string footer = app->get_footer();
  if (footer.empty()) return {};
  return WrapText(footer, width_) + "\n";
}

}  // namespace ravelin
