// The peer of `fretfile-cli extract` in the whole-process figures of
// bench_extract: a small extractor built on zlib (zlib_peer.h), doing the
// same job with nothing else in the process.
//
//   zlib_extract ARCHIVE ENTRY DIR      exit 0 when the CRC matched
//
// The entry is found by walking the local headers from the start, which is
// enough for the one-entry archives the benchmark makes (sizes in the
// headers).
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "zlib_peer.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: zlib_extract ARCHIVE ENTRY DIR\n");
    return 2;
  }
  const std::string wanted = argv[2];
  const int in = ::open(argv[1], O_RDONLY);
  if (in < 0) return 2;
  unsigned char header[30];
  off_t at = 0;
  for (;;) {
    if (::pread(in, header, 30, at) != 30 || bench::LittleEndian(header, 4) != 0x04034B50) return 2;
    const uint32_t nameLength = bench::LittleEndian(header + 26, 2);
    std::string name(nameLength, '\0');
    if (::pread(in, name.data(), nameLength, at + 30) != static_cast<ssize_t>(nameLength)) return 2;
    if (name == wanted) break;
    at += 30 + nameLength + bench::LittleEndian(header + 28, 2) + bench::LittleEndian(header + 18, 4);
  }
  ::close(in);
  const std::string target = std::string(argv[3]) + "/" + wanted;
  return bench::ZlibExtractAt(argv[1], static_cast<uint32_t>(at), target.c_str()) ? 0 : 1;
}
