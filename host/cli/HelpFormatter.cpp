#include "host/cli/HelpFormatter.h"

#include <sstream>

namespace mattix::cli {

std::string FlowText(const std::string& text, std::size_t width) {
  std::istringstream words(text);
  std::string out, word;
  std::size_t line = 0;  // characters on the current line
  while (words >> word) {
    if (line > 0 && line + 1 + word.size() > width) {
      out += '\n';
      line = 0;
    } else if (line > 0) {
      out += ' ';
      ++line;
    }
    out += word;
    line += word.size();
  }
  return out;
}

std::string HelpFormatter::make_option_desc(const CLI::Option* option) const {
  return FlowText(CLI::Formatter::make_option_desc(option), kHelpWidth - get_column_width());
}

std::string HelpFormatter::make_subcommand(const CLI::App* sub) const {
  std::stringstream out;
  CLI::detail::format_help(out, sub->get_display_name(true),
                           FlowText(sub->get_description(), kHelpWidth - get_column_width()),
                           get_column_width());
  return out.str();
}

std::string HelpFormatter::make_description(const CLI::App* app) const {
  const std::string text = FlowText(app->get_description(), kParagraphWidth);
  return text.empty() ? text : text + "\n";
}

}  // namespace mattix::cli
