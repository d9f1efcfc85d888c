// fretfile-cli search: the program's search, on DIR/kest.idx.
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "archive/display_name.h"
#include "cli_command.h"
#include "index/collection.h"
#include "index/search.h"
#include "platform/paths.h"

namespace cli {
namespace {

// A cell as the user sees it; plain ASCII needs no conversion, and an index
// without a byte from 0x80 up (asked once) none for any of its cells.
void AppendShown(std::string& out, std::string_view cell, bool plainIndex) {
  if (!plainIndex && archive::HasHighByte(cell)) {
    out.append(archive::DisplayName(cell));
  } else {
    out.append(cell);
  }
}

int RunSearch(const std::vector<std::string>& args) {
  std::string dir = ".";
  fretfile::SearchQuery query;
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!optionsEnded && arg == "--") {
      optionsEnded = true;
    } else if (!optionsEnded && arg == "--dir" && i + 1 < args.size()) {
      dir = args[++i];
    } else if (!optionsEnded && arg == "--exact-artist") {
      query.exactArtist = true;
    } else if (!optionsEnded && arg == "--exact-song") {
      query.exactSong = true;
    } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-' && arg != "-") {
      std::fprintf(stderr, "fretfile-cli search: unknown option '%s'\n", arg.c_str());
      return 2;
    } else {
      positional.push_back(arg);
    }
  }
  if (positional.size() != 2) {
    std::fprintf(stderr, "usage: fretfile-cli search [--dir DIR] [--exact-artist] [--exact-song] [--] ARTIST SONG\n");
    return 2;
  }
  query.artist = positional[0];
  query.song = positional[1];

  dir = platform::WithTrailingSeparator(dir);
  const std::string path = fretfile::IndexPathOf(dir);
  std::error_code missing;
  if (!std::filesystem::exists(path, missing)) {
    std::fprintf(stderr, "No index file exists.\n");
    return 1;
  }
  try {
    const fretfile::IndexText index = fretfile::IndexText::Load(path);
    fretfile::StringGridCells grid;
    const size_t hits = fretfile::FillGridWithHits(index, grid, query);
    const bool plainIndex = !archive::HasHighByte(*index.Bytes());
    std::string out;
    for (size_t row = 1; row <= hits; ++row) {
      AppendShown(out, grid.Cell(0, static_cast<int>(row)), plainIndex);
      out.push_back('\t');
      AppendShown(out, grid.Cell(1, static_cast<int>(row)), plainIndex);
      out.push_back('\n');
      if (out.size() > (1 << 20)) {
        std::fwrite(out.data(), 1, out.size(), stdout);
        out.clear();
      }
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    std::fflush(stdout);
    std::fprintf(stderr, "%s\n", fretfile::SearchStatusText(hits).c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s.\n", error.what());
    return 1;
  }
  return 0;
}

const CliCommandRegistration kSearch{
    {"search", "[--dir DIR] [--exact-artist] [--exact-song] [--] ARTIST SONG", RunSearch}};

}  // namespace
}  // namespace cli
