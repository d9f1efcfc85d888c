// Builds the seed corpora of the fuzz targets from the real archives in a
// test-data folder: whole archives for the directory and archive targets,
// and every entry's compressed payload (with the control bytes the payload
// targets expect) for the target of its method family.
//
//   make_seed_corpus TESTDATA_DIR OUTPUT_DIR
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "archive/crc32.h"
#include "archive/zip_find.h"
#include "archive/zip_format.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxSeed = 64 * 1024;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

const char* FamilyOf(uint16_t method) {
  switch (method) {
    case 0: return "unzip_stored";
    case 1: return "unzip_shrink";
    case 2: case 3: case 4: case 5: return "unzip_reduce";
    case 6: return "unzip_implode";
    case 8: return "unzip_deflate";
    default: return nullptr;
  }
}

std::string Control(uint16_t method, uint16_t flags, uint32_t size, uint32_t crc) {
  std::string c(8, '\0');
  uint8_t control = static_cast<uint8_t>(flags & 0x06);
  if (method >= 2 && method <= 5) control |= static_cast<uint8_t>((method - 2) << 3);
  c[0] = static_cast<char>(control);
  c[1] = static_cast<char>(size & 0xFF);
  c[2] = static_cast<char>((size >> 8) & 0xFF);
  c[3] = static_cast<char>((size >> 16) & 0x03);
  for (int i = 0; i < 4; ++i) c[4 + i] = static_cast<char>((crc >> (8 * i)) & 0xFF);
  return c;
}

uint32_t CrcOf(const std::string& s) { return archive::Crc32(reinterpret_cast<const uint8_t*>(s.data()), s.size()); }

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seed_corpus TESTDATA_DIR OUTPUT_DIR\n");
    return 2;
  }
  const fs::path testdata = argv[1];
  const fs::path out = argv[2];
  int seeds = 0;
  for (const auto& item : fs::recursive_directory_iterator(testdata)) {
    if (!item.is_regular_file()) continue;
    std::string ext = item.path().extension().string();
    for (auto& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (ext != ".zip") continue;
    const std::string bytes = ReadAll(item.path());
    const std::string base = item.path().stem().string();
    Write(out / "corpus-zip_find" / base, bytes);
    Write(out / "corpus-unzip_archive" / base, bytes);
    Write(out / "corpus-walk" / base, bytes);
    seeds += 3;
    archive::ZipSearchRec rec;
    for (int r = archive::ZipFindFirst(item.path().string(), rec); r == 0; r = archive::ZipFindNext(rec)) {
      const char* family = FamilyOf(rec.PackMethod);
      const size_t offset = rec.HeaderOffset;
      archive::zip::LocalHeader header;
      if (family == nullptr || offset + archive::zip::kLocalHeaderLength > bytes.size() ||
          rec.CompressedSize > kMaxSeed ||
          !archive::zip::ParseLocalHeader(reinterpret_cast<const uint8_t*>(bytes.data()) + offset, header)) {
        continue;
      }
      const size_t dataStart = header.DataOffset(offset);
      if (dataStart + rec.CompressedSize > bytes.size()) continue;
      std::string seed = Control(rec.PackMethod, rec.Flags, rec.Size, rec.Crc) +
                         bytes.substr(dataStart, rec.CompressedSize);
      Write(out / (std::string("corpus-") + family) / (base + "-" + rec.FileName), seed);
      ++seeds;
    }
    archive::ZipFindClose(rec);
  }
  // The raw legacy streams that come without an archive around them.
  const fs::path legacy = testdata / "legacy";
  struct Raw {
    const char* stream;
    const char* expanded;
    uint16_t method;
    size_t zeros;
    const char* family;
  };
  const Raw raws[] = {{"implode_hamlet_256.bin", "implode_hamlet_256.out", 6, 0, "unzip_implode"},
                      {"reduce_hamlet_2048.bin", "implode_hamlet_2048.out", 5, 0, "unzip_reduce"},
                      {"reduce_zero_reduced.bin", "implode_hamlet_2048.out", 5, 1024, "unzip_reduce"}};
  for (const auto& raw : raws) {
    if (!fs::exists(legacy / raw.stream) || !fs::exists(legacy / raw.expanded)) continue;
    const std::string expanded = ReadAll(legacy / raw.expanded) + std::string(raw.zeros, '\0');
    const std::string seed = Control(raw.method, 0, static_cast<uint32_t>(expanded.size()), CrcOf(expanded)) +
                             ReadAll(legacy / raw.stream);
    Write(out / (std::string("corpus-") + raw.family) / raw.stream, seed);
    ++seeds;
  }
  std::printf("%d seeds written to %s\n", seeds, out.string().c_str());
  return 0;
}
