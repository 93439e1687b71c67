#include "platform/machine/hive_merge.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace plat::machine {
namespace {

struct Section {
  std::string header;              // "[\Registry\...]", empty for the lines before any key
  std::vector<std::string> lines;  // value lines, comments and blank lines
};

std::string Trim(std::string_view line) {
  const auto begin = line.find_first_not_of(" \t\r");
  if (begin == std::string_view::npos) return {};
  const auto end = line.find_last_not_of(" \t\r");
  return std::string(line.substr(begin, end - begin + 1));
}

std::string Folded(std::string_view text) {
  std::string folded(text);
  std::transform(folded.begin(), folded.end(), folded.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return folded;
}

std::vector<Section> Sections(std::string_view text) {
  std::vector<Section> sections(1);
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string line = Trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.front() == '[') {
      sections.push_back({line, {}});
    } else {
      sections.back().lines.push_back(line);
    }
  }
  return sections;
}

// The quoted name that starts a value line, folded; empty for other lines.
std::string ValueName(const std::string& line) {
  if (line.empty() || line.front() != '"') return {};
  for (std::size_t i = 1; i < line.size(); ++i) {
    if (line[i] == '\\') {
      ++i;
    } else if (line[i] == '"') {
      return Folded(line.substr(0, i + 1));
    }
  }
  return {};
}

}  // namespace

std::string MergeHiveText(std::string_view base, std::string_view overrides) {
  std::vector<Section> merged = Sections(base);
  for (const Section& change : Sections(overrides)) {
    if (change.header.empty()) continue;
    auto target = std::find_if(merged.begin(), merged.end(), [&](const Section& s) {
      return Folded(s.header) == Folded(change.header);
    });
    if (target == merged.end()) {
      merged.push_back(change);
      continue;
    }
    for (const std::string& line : change.lines) {
      const std::string name = ValueName(line);
      if (name.empty()) continue;
      auto same = std::find_if(target->lines.begin(), target->lines.end(),
                               [&](const std::string& l) { return ValueName(l) == name; });
      if (same != target->lines.end()) {
        *same = line;
      } else {
        target->lines.push_back(line);
      }
    }
  }
  std::string text;
  for (const Section& section : merged) {
    if (!section.header.empty()) text += section.header + "\n";
    for (const std::string& line : section.lines) text += line + "\n";
  }
  return text;
}

}  // namespace plat::machine
