#include "platform/posix/profile.h"

#include <fstream>
#include <sstream>
#include <vector>

#include "platform/posix/replace_file.h"

namespace platform {
namespace {

std::string Trim(const std::string& text) {
  const auto isBlank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  size_t first = 0;
  size_t last = text.size();
  while (first < last && isBlank(text[first])) ++first;
  while (last > first && isBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    auto upper = [](unsigned char c) { return c >= 'a' && c <= 'z' ? c - 32 : c; };
    if (upper(static_cast<unsigned char>(a[i])) != upper(static_cast<unsigned char>(b[i]))) return false;
  }
  return true;
}

// A line "[name]" names a section; returns false for any other line.
bool SectionName(const std::string& line, std::string* name) {
  const std::string trimmed = Trim(line);
  if (trimmed.size() < 2 || trimmed.front() != '[') return false;
  const auto close = trimmed.find(']');
  if (close == std::string::npos) return false;
  *name = Trim(trimmed.substr(1, close - 1));
  return true;
}

// A line "key=value" inside a section; returns false for any other line.
bool KeyValue(const std::string& line, std::string* key, std::string* value) {
  const auto equals = line.find('=');
  if (equals == std::string::npos) return false;
  *key = Trim(line.substr(0, equals));
  *value = Trim(line.substr(equals + 1));
  return true;
}

// Splits into lines, keeping each line's own ending so a rewrite preserves it.
std::vector<std::string> SplitKeepingEnds(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    auto end = text.find('\n', start);
    end = end == std::string::npos ? text.size() : end + 1;
    lines.push_back(text.substr(start, end - start));
    start = end;
  }
  return lines;
}

std::string StripEnd(const std::string& line) {
  size_t n = line.size();
  while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r')) --n;
  return line.substr(0, n);
}

bool ReadWhole(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  *text = buffer.str();
  return true;
}

}  // namespace

std::string GetPrivateProfileString(const std::string& section, const std::string& key,
                                    const std::string& defaultValue, const std::string& path) {
  std::string text;
  if (!ReadWhole(path, &text)) return defaultValue;
  bool inSection = false;
  for (const auto& raw : SplitKeepingEnds(text)) {
    const std::string line = StripEnd(raw);
    std::string name, k, v;
    if (SectionName(line, &name)) {
      inSection = EqualsIgnoringCase(name, section);
    } else if (inSection && KeyValue(line, &k, &v) && EqualsIgnoringCase(k, key)) {
      return v;
    }
  }
  return defaultValue;
}

bool WritePrivateProfileString(const std::string& section, const std::string& key, const std::string& value,
                               const std::string& path) {
  std::string text;
  ReadWhole(path, &text);
  std::vector<std::string> lines = SplitKeepingEnds(text);
  const std::string newLine = key + "=" + value + "\r\n";

  bool inSection = false;
  bool sectionFound = false;
  size_t insertAt = lines.size();
  bool written = false;
  for (size_t i = 0; i < lines.size() && !written; ++i) {
    const std::string line = StripEnd(lines[i]);
    std::string name, k, v;
    if (SectionName(line, &name)) {
      if (inSection) break;  // end of our section: append the key before the next one
      inSection = EqualsIgnoringCase(name, section);
      if (inSection) {
        sectionFound = true;
        insertAt = i + 1;
      }
    } else if (inSection) {
      if (KeyValue(line, &k, &v) && EqualsIgnoringCase(k, key)) {
        const std::string ending = lines[i].substr(line.size());
        lines[i] = key + "=" + value + (ending.empty() ? "\r\n" : ending);
        written = true;
      } else if (!Trim(line).empty()) {
        insertAt = i + 1;
      }
    }
  }
  if (!written) {
    if (!sectionFound) {
      if (!lines.empty() && lines.back().back() != '\n') lines.back() += "\r\n";
      lines.push_back("[" + section + "]\r\n");
      insertAt = lines.size();
    } else if (insertAt > 0 && lines[insertAt - 1].back() != '\n') {
      lines[insertAt - 1] += "\r\n";
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
  }

  std::string out;
  for (const auto& line : lines) out += line;
  return ReplaceFileContents(path, out);
}

}  // namespace platform
