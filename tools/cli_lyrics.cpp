// fretfile-cli lyrics [--dir DIR] [--limit N] [--] QUERY...: the songs of
// DIR/kest.lyrics whose words match the query (the words given, joined by
// spaces), best first. One line per hit: artist TAB song title TAB the
// first matching line of its text (empty when only the names match), each
// in UTF-8; "The query returned N results" on standard error. Exit 0 with
// hits, 1 without, 2 on a bad query or without a lyrics index.
#include <cstdio>
#include <string>
#include <vector>

#include "archive/display_name.h"
#include "cli_command.h"
#include "index/lyrics_database.h"
#include "index/lyrics_query.h"
#include "index/search.h"
#include "platform/posix/paths.h"

namespace cli {
namespace {

constexpr const char* kUsage = "[--dir DIR] [--limit N] [--] QUERY...";

int Usage(const std::string& problem) {
  std::fprintf(stderr, "fretfile-cli lyrics: %s\nusage: fretfile-cli lyrics %s\n", problem.c_str(), kUsage);
  return 2;
}

bool ParseLimit(const std::string& text, size_t& limit) {
  if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
  limit = std::stoul(text);
  return limit > 0;
}

int RunLyrics(const std::vector<std::string>& args) {
  std::string dir = ".";
  size_t limit = 0;
  std::string query;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && (arg == "--dir" || arg == "--limit")) {
      if (i + 1 >= args.size()) return Usage(arg + " needs a value");
      if (arg == "--dir") {
        dir = args[++i];
      } else if (!ParseLimit(args[++i], limit)) {
        return Usage("the limit is a number from 1 to 999999999");
      }
    } else if (!optionsEnded && arg.size() > 1 && arg.starts_with("--")) {
      return Usage("unknown option " + arg);
    } else {
      if (!query.empty()) query.push_back(' ');
      query.append(arg);
    }
  }
  if (query.empty()) return Usage("a query is needed");
  dir = platform::WithTrailingSeparator(dir);

  std::vector<fretfile::LyricsHit> hits;
  try {
    fretfile::ToFtsQuery(query);  // a bad query is told before a missing index
    if (!fretfile::LyricsIndexExists(dir)) {
      std::fprintf(stderr, "%s\n", fretfile::kNoLyricsIndexMessage);
      return 2;
    }
    hits = fretfile::FindLyrics(dir, query, limit);
  } catch (const std::exception& error) {  // a bad query, or an index that cannot be read
    std::fprintf(stderr, "fretfile-cli lyrics: %s\n", error.what());
    return 2;
  }
  std::string out;
  for (const fretfile::LyricsHit& hit : hits) {
    out.append(archive::DisplayName(hit.artist));
    out.push_back('\t');
    out.append(archive::DisplayName(hit.title));
    out.push_back('\t');
    // A tab of the line would read as one more field.
    for (const char c : hit.lineText) out.push_back(c == '\t' ? ' ' : c);
    out.push_back('\n');
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", fretfile::SearchStatusText(hits.size()).c_str());
  return hits.empty() ? 1 : 0;
}

const CliCommandRegistration kRegistration({"lyrics", kUsage, RunLyrics});

}  // namespace
}  // namespace cli
