// Throughput of the legacy decompressors (shrink, reduce 1-4, implode) through
// UnzipMember, the way the program extracts an entry: MB/s of output,
// including creating the file, writing it and checking the CRC.
//
// Real data: the PKZIP for DOS archives in ../shared/testdata (TEST.EXE,
// 2.4 MB, and TEST.BMP, 750 KB, in each method). Larger data: about 24 MB
// made from TEST.EXE and generated text, compressed by the test-only
// compressors of tests/archive/legacy_streams.h into one-entry archives.
// Peers in the same run: the program's own Inflate on the same file deflated
// by PKZIP 2.04g, and zlib's inflate into memory (no file, no CRC).
//
// Usage: bench_legacy [TESTDATA_DIR [METHOD]]   (METHOD: run only the rows
// whose label starts with it, e.g. "shrink" or "reduce")
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "../tests/archive/legacy_streams.h"
#include "archive/unzip_member.h"
#include "bench_support.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

#ifdef FRETFILE_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

// The machine is shared with other work, so time is the process's CPU time
// (user + system: decoding, CRC and the writes), not the wall clock.
double CpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

uint32_t Le(const std::string& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

struct Entry {
  uint32_t headerOffset = 0;
  int method = 0;
  uint32_t compressedSize = 0;
  uint32_t uncompressedSize = 0;
};

// Walks the local headers (PKZIP 1.x and older always fill in the sizes).
bool FindEntry(const std::string& archive, const std::string& name, Entry& found) {
  size_t at = 0;
  while (at + 30 <= archive.size() && Le(archive, at, 4) == 0x04034B50) {
    const size_t nameLength = Le(archive, at + 26, 2);
    const size_t extraLength = Le(archive, at + 28, 2);
    const uint32_t compressed = Le(archive, at + 18, 4);
    if (archive.compare(at + 30, nameLength, name) == 0) {
      found = Entry{static_cast<uint32_t>(at), static_cast<int>(Le(archive, at + 8, 2)), compressed,
                    Le(archive, at + 22, 4)};
      return true;
    }
    at += 30 + nameLength + extraLength + compressed;
  }
  return false;
}

// A one-entry archive holding `compressed` as an entry of `method`.
std::string OneEntryArchive(int method, uint16_t flags, const std::string& compressed, const std::string& original) {
  testing_support::ZipEntrySpec entry;
  entry.name = "DATA.BIN";
  entry.data = original;
  entry.method = static_cast<uint16_t>(method);
  entry.raw = compressed;
  entry.flags = flags;
  entry.dosTime = 0;
  entry.dosDate = 0;
  return testing_support::ZipBuilder().Add(std::move(entry)).Build();
}

// Best of three rounds of `once` repeated for at least half a CPU second, in
// MB/s of `bytes` per run (0 when a run fails).
template <typename Once>
double BestRate(uint32_t bytes, Once once) {
  double best = 0;
  for (int round = 0; round < 3; ++round) {
    const double runsPerSecond = bench::RunsPerSecond(0.5, CpuSeconds, once);
    if (runsPerSecond < 0) return 0;
    best = std::max(best, bytes * runsPerSecond / 1e6);
  }
  return best;
}

// Extracts the entry repeatedly for at least half a CPU second, three times, and
// returns the best MB/s of output (0 when an extraction fails).
double Throughput(const std::string& archivePath, const Entry& entry, const std::string& target) {
  return BestRate(entry.uncompressedSize, [&] {
    const int result = archive::UnzipMember(archivePath, target, 0x20, entry.headerOffset, {}, 0);
    if (result != 0) std::fprintf(stderr, "UnzipMember(%s) gave %d\n", archivePath.c_str(), result);
    return result == 0;
  });
}

#ifdef FRETFILE_HAVE_ZLIB
// zlib inflating the raw deflate stream of an entry into memory.
double ZlibThroughput(const std::string& archive, const Entry& entry) {
  const size_t nameLength = Le(archive, entry.headerOffset + 26, 2);
  const size_t extraLength = Le(archive, entry.headerOffset + 28, 2);
  const std::string stream = archive.substr(entry.headerOffset + 30 + nameLength + extraLength, entry.compressedSize);
  std::vector<unsigned char> out(entry.uncompressedSize);
  return BestRate(entry.uncompressedSize, [&] {
    z_stream z{};
    inflateInit2(&z, -15);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
    z.avail_in = static_cast<uInt>(stream.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int status = inflate(&z, Z_FINISH);
    inflateEnd(&z);
    return status == Z_STREAM_END;
  });
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::string data = argc > 1 ? argv[1] : "";
  const std::string only = argc > 2 ? argv[2] : "";
  auto wanted = [&](const char* label) { return std::string(label).rfind(only, 0) == 0; };
  if (data.empty()) data = testing_support::SharedTestData();
  data += "/pkzip-dos/";
  if (!std::filesystem::is_directory(data)) {
    std::fprintf(stderr, "test data not found: %s\n", data.c_str());
    return 1;
  }
  const testing_support::TempDir scratch;
  const std::string& dir = scratch.path();
  const std::string target = dir + "out.bin";

  std::printf("%-12s %-10s %-14s %10s %10s %10s\n", "method", "file", "archive", "size", "ratio", "MB/s");
  struct Case {
    const char* label;
    const char* archive;
    const char* file;
  };
  const Case cases[] = {
      {"shrink", "PKZ110ES.ZIP", "TEST.EXE"},  {"shrink", "PKZ110ES.ZIP", "TEST.BMP"},
      {"reduce 1", "PKZ80B1.ZIP", "TEST.EXE"}, {"reduce 1", "PKZ80B1.ZIP", "TEST.BMP"},
      {"reduce 2", "PKZ80B2.ZIP", "TEST.EXE"}, {"reduce 2", "PKZ80B2.ZIP", "TEST.BMP"},
      {"reduce 3", "PKZ80B3.ZIP", "TEST.EXE"}, {"reduce 3", "PKZ80B3.ZIP", "TEST.BMP"},
      {"reduce 4", "PKZ80B4.ZIP", "TEST.EXE"}, {"reduce 4", "PKZ80B4.ZIP", "TEST.BMP"},
      {"implode", "PKZ110.ZIP", "TEST.EXE"},   {"implode", "PKZ110.ZIP", "TEST.BMP"},
      {"deflate", "PKZ204EN.ZIP", "TEST.EXE"}, {"deflate", "PKZ204EN.ZIP", "TEST.BMP"},
  };
  for (const Case& c : cases) {
    if (!wanted(c.label)) continue;
    const std::string path = data + c.archive;
    const std::string bytes = testing_support::ReadFile(path);
    Entry entry;
    if (!FindEntry(bytes, c.file, entry)) continue;
    std::printf("%-12s %-10s %-14s %10u %9.1f%% %10.1f\n", c.label, c.file, c.archive, entry.uncompressedSize,
                100.0 * entry.compressedSize / entry.uncompressedSize, Throughput(path, entry, target));
#ifdef FRETFILE_HAVE_ZLIB
    if (entry.method == 8)
      std::printf("%-12s %-10s %-14s %10u %10s %10.1f\n", "zlib (mem)", c.file, c.archive, entry.uncompressedSize,
                  "", ZlibThroughput(bytes, entry));
#endif
  }

  // Larger data: TEST.EXE and text, about 24 MB, through the test compressors.
  std::string large = testing_support::ReadFile(data + "originals/TEST.EXE");
  for (int i = 0; large.size() < 24'000'000; ++i) {
    large += "Verse " + std::to_string(i) + ": the quick brown fox jumps over the lazy dog\r\n";
    if (i % 5000 == 0) large += testing_support::ReadFile(data + "originals/TEST.BMP");
  }
  struct Made {
    const char* label;
    int method;
    uint16_t flags;
    std::string (*compress)(const std::string&);
  };
  const Made made[] = {
      {"shrink", 1, 0, legacy_streams::Shrink},
      {"reduce 4", 5, 0, legacy_streams::Reduce},
      {"implode", 6, 0x06, legacy_streams::Implode},
  };
  for (const Made& m : made) {
    if (!wanted(m.label)) continue;
    const std::string compressed = m.compress(large);
    const std::string path = dir + "large.zip";
    testing_support::WriteFile(path, OneEntryArchive(m.method, m.flags, compressed, large));
    Entry entry{0, m.method, static_cast<uint32_t>(compressed.size()), static_cast<uint32_t>(large.size())};
    std::printf("%-12s %-10s %-14s %10u %9.1f%% %10.1f\n", m.label, "24 MB mix", "(generated)",
                entry.uncompressedSize, 100.0 * entry.compressedSize / entry.uncompressedSize,
                Throughput(path, entry, target));
  }

  return 0;
}
