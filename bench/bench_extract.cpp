// Extraction speed and memory.
//
//   bench_extract [all | deflate | methods | memory] [ROUNDS]
//   bench_extract make DIR     (writes the deflate data sets as archives)
//
// deflate: 64 MiB entries of four kinds (song text at level 9, mixed text
//   and binary, text and binary coded mostly as literals, already
//   compressed data), each extracted to a file by UnzipMember and, in the
//   same run, by a small zlib extractor (raw inflate to a file with a CRC
//   check); then the same as whole processes: `fretfile-cli extract` against
//   `zlib_extract`. Best of ROUNDS (default 5), wall clock and CPU time.
// methods: output MB/s of every method on the shared test archives
//   (../shared/testdata), per method and for the largest entries.
// memory: peak RSS of a child process extracting a deflated entry of zeros,
//   64 MiB and 1 GiB, to show it does not grow with the entry.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "archive/crc32.h"
#include "archive/unzip_member.h"
#include "archive/zip_find.h"
#include "bench_support.h"
#include "support/temp_dir.h"
#include "support/zip_builder.h"

#ifdef FRETFILE_HAVE_ZLIB
#include <zlib.h>

#include "zlib_peer.h"
#endif

namespace fs = std::filesystem;

namespace {

// Appends `value` to `out` as `width` little-endian bytes.
void PutLe(std::string& out, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// Writes a one-entry archive around an already compressed payload that the
// caller streams into the file between the local header and the directory.
// (The tests' ZipBuilder holds the whole entry in memory, which the 1 GiB
// entry of the memory run must not.)
class ArchiveWriter {
 public:
  explicit ArchiveWriter(const std::string& path) : out_(path, std::ios::binary) {}

  void Begin(const std::string& name, uint16_t method) {
    name_ = name;
    method_ = method;
    std::string h;
    PutLe(h, 0x04034B50, 4);
    PutLe(h, 20, 2);
    PutLe(h, 0, 2);
    PutLe(h, method, 2);
    PutLe(h, 0x5A216000, 4);
    PutLe(h, 0, 4);  // CRC and sizes are patched at the end
    PutLe(h, 0, 4);
    PutLe(h, 0, 4);
    PutLe(h, static_cast<uint32_t>(name.size()), 2);
    PutLe(h, 0, 2);
    h += name;
    out_.write(h.data(), static_cast<std::streamsize>(h.size()));
  }
  void Payload(const char* data, size_t n) {
    out_.write(data, static_cast<std::streamsize>(n));
    compressed_ += n;
  }
  void End(uint32_t crc, uint64_t size) {
    std::string c;
    const uint32_t central = static_cast<uint32_t>(30 + name_.size() + compressed_);
    PutLe(c, 0x02014B50, 4);
    PutLe(c, 20, 2);
    PutLe(c, 20, 2);
    PutLe(c, 0, 2);
    PutLe(c, method_, 2);
    PutLe(c, 0x5A216000, 4);
    PutLe(c, crc, 4);
    PutLe(c, static_cast<uint32_t>(compressed_), 4);
    PutLe(c, static_cast<uint32_t>(size), 4);
    PutLe(c, static_cast<uint32_t>(name_.size()), 2);
    PutLe(c, 0, 4);
    PutLe(c, 0, 4);
    PutLe(c, 0x20, 4);
    PutLe(c, 0, 4);
    c += name_;
    const uint32_t centralSize = static_cast<uint32_t>(c.size());
    PutLe(c, 0x06054B50, 4);
    PutLe(c, 0, 4);
    PutLe(c, 1, 2);
    PutLe(c, 1, 2);
    PutLe(c, centralSize, 4);
    PutLe(c, central, 4);
    PutLe(c, 0, 2);
    out_.write(c.data(), static_cast<std::streamsize>(c.size()));
    std::string sizes;
    PutLe(sizes, crc, 4);
    PutLe(sizes, static_cast<uint32_t>(compressed_), 4);
    PutLe(sizes, static_cast<uint32_t>(size), 4);
    out_.seekp(14);
    out_.write(sizes.data(), 12);
    out_.close();
  }
  uint64_t compressed() const { return compressed_; }

 private:
  std::ofstream out_;
  std::string name_;
  uint16_t method_ = 0;
  uint64_t compressed_ = 0;
};

std::string MixedData(size_t n) {
  std::mt19937 gen(12345);
  static const char* words[] = {"the ", "chord ", "of ", "G ", "minor ", "and ", "a ", "verse\n", "chorus ",
                                "bridge ", "Am ", "F ", "C ", "Em ", "capo ", "strum ", "down ", "up "};
  std::string s;
  s.reserve(n + 512);
  while (s.size() < n) {
    const uint32_t pick = gen() % 16;
    if (pick < 12) {
      for (int i = 0; i < 16; ++i) s += words[gen() % 18];
    } else if (pick < 14) {
      for (int i = 0; i < 128; ++i) s.push_back(static_cast<char>(gen() & 0x3F));  // low-entropy binary
    } else if (pick < 15) {
      for (int i = 0; i < 64; ++i) s.push_back(static_cast<char>(gen()));  // noise
    } else {
      const size_t back = 1 + gen() % std::min<size_t>(s.size() + 1, 30000);
      const size_t len = 8 + gen() % 200;
      const size_t from = s.size() >= back ? s.size() - back : 0;
      for (size_t i = 0; i < len && from + i < s.size(); ++i) s.push_back(s[from + i]);
    }
  }
  s.resize(n);
  return s;
}

#ifdef FRETFILE_HAVE_ZLIB
// Deflates `n` bytes produced by `next` (called with a buffer to fill) into
// the archive writer, raw, at `level`. Returns the CRC.
template <typename Producer>
uint32_t DeflateInto(ArchiveWriter& writer, uint64_t n, int level, Producer next) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<char> in(1 << 20), out(1 << 20);
  uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
  uint64_t left = n;
  int flush = Z_NO_FLUSH;
  do {
    const size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, in.size()));
    next(in.data(), chunk);
    crc = static_cast<uint32_t>(crc32(crc, reinterpret_cast<Bytef*>(in.data()), static_cast<uInt>(chunk)));
    left -= chunk;
    flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
    z.next_in = reinterpret_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(chunk);
    do {
      z.next_out = reinterpret_cast<Bytef*>(out.data());
      z.avail_out = static_cast<uInt>(out.size());
      deflate(&z, flush);
      writer.Payload(out.data(), out.size() - z.avail_out);
    } while (z.avail_out == 0);
  } while (flush != Z_FINISH);
  deflateEnd(&z);
  return crc;
}

// The peer: the small zlib extractor of zlib_peer.h.
bool ZlibExtract(const std::string& archivePath, const std::string& target) {
  archive::ZipSearchRec rec;
  if (archive::ZipFindFirst(archivePath, rec) != 0) return false;
  const uint32_t offset = rec.HeaderOffset;
  archive::ZipFindClose(rec);
  return bench::ZlibExtractAt(archivePath.c_str(), offset, target.c_str());
}
#endif

int Extract(const std::string& archivePath, const std::string& target, const std::string& entry = "") {
  archive::ZipSearchRec rec;
  int r = archive::ZipFindFirst(archivePath, rec);
  while (r == 0 && !entry.empty() && entry != rec.FileName) r = archive::ZipFindNext(rec);
  if (r != 0) return 100 + r;
  const uint32_t offset = rec.HeaderOffset;
  const uint16_t attributes = rec.Attributes;
  archive::ZipFindClose(rec);
  return archive::UnzipMember(archivePath, target, attributes, offset, nullptr, 0);
}

// Text of made-up words and binary records with few repeats, so that most
// of the output is coded as literals: the case where the literal path alone
// sets the pace.
std::string LiteralHeavyData(size_t n) {
  static const char letters[] = "eeeeeeeeeeeetttttttttaaaaaaaaooooooooiiiiiiinnnnnnnsssssshhhhhhrrrrrrdddllllcccuuummwwffggyyppbbvkjxqz";
  std::mt19937 gen(777);
  std::string s;
  s.reserve(n + 512);
  while (s.size() < n) {
    if (gen() % 4 != 0) {
      for (int w = 0; w < 12; ++w) {
        const int length = 2 + static_cast<int>(gen() % 8);
        for (int i = 0; i < length; ++i) s.push_back(letters[gen() % (sizeof letters - 1)]);
        s.push_back(gen() % 9 == 0 ? '\n' : ' ');
      }
    } else {
      for (int i = 0; i < 96; ++i) {
        const uint32_t r = gen();
        s.push_back(static_cast<char>((r & 0x3F) | ((r >> 8) % 5 == 0 ? 0x80 : 0)));
      }
    }
  }
  s.resize(n);
  return s;
}

double CpuSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Best wall-clock and best CPU seconds over several runs.
struct Best {
  double wall = 1e9;
  double cpu = 1e9;
  void Add(double w, double c) {
    wall = std::min(wall, w);
    cpu = std::min(cpu, c);
  }
};

// Runs a program to the end with its output discarded; its wall and CPU
// time go to `best`. False when it failed.
bool RunProcess(const std::vector<std::string>& argv, Best& best) {
  const bench::ProcessTimes times = bench::RunProgram(argv, "/dev/null");
  best.Add(times.wall, times.cpu);
  return times.ok;
}

std::string Sibling(const std::string& relative) {
  return (fs::read_symlink("/proc/self/exe").parent_path() / relative).lexically_normal().string();
}

void PrintPair(const char* label, const char* oursName, const Best& ours, const char* peerName, const Best& peer,
               double bytes) {
  std::printf("  %-13s %-12s %.3f s (cpu %.3f s, %4.0f MB/s)  %-12s %.3f s (cpu %.3f s)  ratio %.2fx (cpu %.2fx)\n",
              label, oursName, ours.wall, ours.cpu, bytes / ours.wall / 1e6, peerName, peer.wall, peer.cpu,
              ours.wall / peer.wall, ours.cpu / peer.cpu);
}

// A data set as a one-entry archive, "set.bin" deflated by zlib at `level`.
void WriteDataSet(const std::string& archivePath, std::string data, int level) {
  testing_support::ZipEntrySpec entry;
  entry.name = "set.bin";
  entry.data = std::move(data);
  entry.method = 8;
  entry.deflateLevel = level;
  testing_support::ZipBuilder().Add(std::move(entry)).WriteTo(archivePath);
}

// One data set: a one-entry archive deflated by zlib at `level`, extracted
// in this process by UnzipMember and by the zlib extractor, then by a whole
// `fretfile-cli extract` process and a whole `zlib_extract` process, each
// pair alternating, best of `rounds`.
void DeflateCase(const std::string& scratch, const char* title, const std::string& data, int level, int rounds) {
  const std::string archivePath = scratch + "set.zip";
  WriteDataSet(archivePath, data, level);
  const double compressed = static_cast<double>(fs::file_size(archivePath));
  std::printf("%s, level %d: %.1f MiB -> %.1f MiB (%.1f%%)\n", title, level,
              static_cast<double>(data.size()) / (1 << 20), compressed / (1 << 20),
              100.0 * compressed / static_cast<double>(data.size()));
  const std::string target = scratch + "set.bin";
  Best ours, peer, oursProcess, peerProcess;
  bool ok = true;
  for (int round = 0; round < rounds; ++round) {
    double w = bench::Now(), c = CpuSeconds();
    ok &= Extract(archivePath, target) == 0;
    ours.Add(bench::Now() - w, CpuSeconds() - c);
    fs::remove(target);
    w = bench::Now();
    c = CpuSeconds();
    ok &= ZlibExtract(archivePath, target);
    peer.Add(bench::Now() - w, CpuSeconds() - c);
    fs::remove(target);
  }
  const std::string cli = Sibling("../tools/fretfile-cli");
  const std::string peerProgram = Sibling("zlib_extract");
  for (int round = 0; round < rounds; ++round) {
    ok &= RunProcess({cli, "extract", archivePath, "set.bin", scratch}, oursProcess);
    fs::remove(target);
    ok &= RunProcess({peerProgram, archivePath, "set.bin", scratch}, peerProcess);
    fs::remove(target);
  }
  if (!ok) std::printf("  AN EXTRACTION FAILED\n");
  const double bytes = static_cast<double>(data.size());
  PrintPair("in process", "UnzipMember", ours, "zlib", peer, bytes);
  PrintPair("whole process", "fretfile-cli", oursProcess, "zlib_extract", peerProcess, bytes);
  std::fflush(stdout);
  fs::remove(archivePath);
}

// Writes the four data sets as one-entry archives into `folder` (for
// profiling one of them on its own).
void MakeDataSets(const std::string& folder) {
#ifdef FRETFILE_HAVE_ZLIB
  const size_t size = size_t{64} << 20;
  auto write = [&](const char* name, std::string data, int level) {
    WriteDataSet(folder + "/" + name, std::move(data), level);
  };
  write("song9.zip", bench::SongText(size, 42), 9);
  const std::string mixed = MixedData(size);
  write("mixed6.zip", mixed, 6);
  write("literals6.zip", LiteralHeavyData(size), 6);
  write("compressed6.zip", testing_support::RawDeflate(mixed, 6), 6);
#else
  (void)folder;
#endif
}

void DeflateBench(const std::string& scratch, int rounds) {
#ifdef FRETFILE_HAVE_ZLIB
  const size_t size = size_t{64} << 20;
  std::printf("deflate: 64 MiB entries; best of %d runs, wall clock and CPU time\n", rounds);
  DeflateCase(scratch, "song text", bench::SongText(size, 42), 9, rounds);
  const std::string mixed = MixedData(size);
  DeflateCase(scratch, "mixed text/binary", mixed, 6, rounds);
  DeflateCase(scratch, "text/binary, mostly literals", LiteralHeavyData(size), 6, rounds);
  // A zip inside a zip: the deflated mixed data, deflated again.
  DeflateCase(scratch, "already compressed (deflate stream)", testing_support::RawDeflate(mixed, 6), 6, rounds);
#else
  (void)scratch;
  (void)rounds;
  std::printf("deflate: built without zlib, skipped\n");
#endif
}

// Extracts one entry repeatedly for at least 0.3 s; returns output bytes/s.
double Throughput(const std::string& archivePath, const std::string& entry, uint64_t size,
                  const std::string& target) {
  const double runsPerSecond =
      bench::RunsPerSecond(0.3, bench::Now, [&] { return Extract(archivePath, target, entry) == 0; });
  return runsPerSecond < 0 ? -1 : static_cast<double>(size) * runsPerSecond;
}

void MethodsBench(const std::string& scratch) {
  // Beside the checkout (or $FRETFILE_TESTDATA), as the tests find it.
  const std::string root = testing_support::SharedTestData();
  if (root.empty() || !fs::is_directory(root)) {
    std::printf("methods: no test data at %s, skipped\n", root.c_str());
    return;
  }
  struct Totals {
    uint64_t bytes = 0;
    double seconds = 0;
    int entries = 0;
    std::string biggest;
    uint64_t biggestSize = 0;
    std::string biggestArchive;
  };
  std::map<int, Totals> perMethod;
  const std::string target = scratch + "m.out";
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    std::string ext = item.path().extension().string();
    if (ext != ".zip" && ext != ".ZIP") continue;
    archive::ZipSearchRec rec;
    std::vector<std::tuple<std::string, int, uint64_t>> entries;
    for (int r = archive::ZipFindFirst(item.path().string(), rec); r == 0; r = archive::ZipFindNext(rec)) {
      entries.emplace_back(rec.FileName, rec.PackMethod, rec.Size);
    }
    archive::ZipFindClose(rec);
    for (const auto& [name, method, size] : entries) {
      const double t = bench::Now();
      if (Extract(item.path().string(), target, name) != 0) continue;
      auto& totals = perMethod[method];
      totals.seconds += bench::Now() - t;
      totals.bytes += size;
      ++totals.entries;
      if (size > totals.biggestSize) {
        totals.biggestSize = size;
        totals.biggest = name;
        totals.biggestArchive = item.path().string();
      }
    }
  }
  std::printf("methods (shared test archives; all entries once, then the largest entry repeated):\n");
  std::printf("  %-7s %8s %12s %10s   %-28s %10s\n", "method", "entries", "bytes", "MB/s", "largest entry", "MB/s");
  for (const auto& [method, t] : perMethod) {
    const double big = Throughput(t.biggestArchive, t.biggest, t.biggestSize, target);
    const std::string label = fs::path(t.biggestArchive).filename().string() + ":" + t.biggest;
    std::printf("  %-7d %8d %12llu %10.1f   %-28s %10.1f\n", method, t.entries,
                static_cast<unsigned long long>(t.bytes), static_cast<double>(t.bytes) / t.seconds / 1e6,
                label.c_str(), big / 1e6);
  }
  fs::remove(target);

  // Larger data for the methods we can write ourselves: stored 64 MiB.
  const size_t size = size_t{64} << 20;
  const std::string data = MixedData(size);
  const std::string storedPath = scratch + "stored.zip";
  ArchiveWriter writer(storedPath);
  writer.Begin("s.bin", 0);
  writer.Payload(data.data(), data.size());
  writer.End(archive::Crc32(reinterpret_cast<const uint8_t*>(data.data()), data.size()), size);
  std::printf("  stored 64 MiB entry: %.0f MB/s\n", Throughput(storedPath, "s.bin", size, target) / 1e6);
  fs::remove(storedPath);
  fs::remove(target);
}

// Child mode: extract and report nothing; the parent reads our max RSS.
int ChildExtract(const char* archivePath, const char* target) { return Extract(archivePath, target); }

void MemoryBench(const std::string& scratch) {
#ifdef FRETFILE_HAVE_ZLIB
  std::printf("memory: peak RSS of a process extracting a deflated entry of zeros\n");
  for (uint64_t size : {uint64_t{64} << 20, uint64_t{1} << 30}) {
    const std::string archivePath = scratch + "zeros.zip";
    ArchiveWriter writer(archivePath);
    writer.Begin("zeros.bin", 8);
    const uint32_t crc = DeflateInto(writer, size, 6, [](char* buffer, size_t n) { std::memset(buffer, 0, n); });
    writer.End(crc, size);
    const std::string target = scratch + "zeros.out";
    const double t = bench::Now();
    const pid_t child = fork();
    if (child == 0) {
      execl("/proc/self/exe", "bench_extract", "--child-extract", archivePath.c_str(), target.c_str(), nullptr);
      _exit(127);
    }
    int status = 0;
    struct rusage usage{};
    wait4(child, &status, 0, &usage);
    const double seconds = bench::Now() - t;
    struct stat st{};
    ::stat(target.c_str(), &st);
    std::printf("  %5llu MiB (%.2f MiB compressed): exit %d, output %lld bytes, %.2f s, max RSS %.1f MiB\n",
                static_cast<unsigned long long>(size >> 20), static_cast<double>(writer.compressed()) / (1 << 20),
                WIFEXITED(status) ? WEXITSTATUS(status) : -1, static_cast<long long>(st.st_size), seconds,
                static_cast<double>(usage.ru_maxrss) / 1024);
    fs::remove(target);
    fs::remove(archivePath);
  }
#else
  (void)scratch;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "--child-extract") == 0) return ChildExtract(argv[2], argv[3]);
  if (argc == 3 && std::strcmp(argv[1], "make") == 0) {
    MakeDataSets(argv[2]);
    return 0;
  }
  const std::string what = argc > 1 ? argv[1] : "all";
  const testing_support::TempDir scratchFolder;
  const std::string& scratch = scratchFolder.path();
  if (what == "all" || what == "memory") MemoryBench(scratch);
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  if (what == "all" || what == "deflate") DeflateBench(scratch, rounds);
  if (what == "all" || what == "methods") MethodsBench(scratch);
  return 0;
}
