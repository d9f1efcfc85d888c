// The peer of `fretfile-cli extract` in the whole-process figures of
// bench_extract: a small extractor built on zlib, doing the same job the
// same way (find the entry, create the file, inflate, write, check the
// CRC-32) with nothing else in the process.
//
//   zlib_extract ARCHIVE ENTRY DIR      exit 0 when the CRC matched
//
// The entry is found by walking the local headers from the start, which is
// enough for the one-entry archives the benchmark makes (sizes in the
// headers). Input is read 64 KiB at a time, output goes out 128 KiB at a
// time, and the CRC is zlib's own.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

uint32_t Le(const unsigned char* p, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

bool WriteAll(int fd, const unsigned char* data, size_t n) {
  while (n > 0) {
    const ssize_t done = ::write(fd, data, n);
    if (done <= 0) return false;
    data += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

}  // namespace

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
  uint32_t compressed = 0, expectedCrc = 0;
  uint16_t method = 0;
  for (;;) {
    if (::pread(in, header, 30, at) != 30 || Le(header, 4) != 0x04034B50) return 2;
    const uint32_t nameLength = Le(header + 26, 2), extraLength = Le(header + 28, 2);
    std::string name(nameLength, '\0');
    if (::pread(in, name.data(), nameLength, at + 30) != static_cast<ssize_t>(nameLength)) return 2;
    compressed = Le(header + 18, 4);
    at += 30 + nameLength + extraLength;
    if (name == wanted) {
      expectedCrc = Le(header + 14, 4);
      method = static_cast<uint16_t>(Le(header + 8, 2));
      break;
    }
    at += compressed;
  }
  if (method != 8 || ::lseek(in, at, SEEK_SET) != at) return 2;

  const std::string target = std::string(argv[3]) + "/" + wanted;
  const int out = ::open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0) return 2;
  z_stream z{};
  inflateInit2(&z, -15);
  std::vector<unsigned char> ibuf(1 << 16), obuf(1 << 17);
  uLong crc = crc32(0, nullptr, 0);
  uint32_t left = compressed;
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    if (z.avail_in == 0) {
      const ssize_t got = ::read(in, ibuf.data(), std::min<size_t>(ibuf.size(), left));
      if (got <= 0) break;
      left -= static_cast<uint32_t>(got);
      z.next_in = ibuf.data();
      z.avail_in = static_cast<uInt>(got);
    }
    z.next_out = obuf.data();
    z.avail_out = static_cast<uInt>(obuf.size());
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    const size_t produced = obuf.size() - z.avail_out;
    crc = crc32(crc, obuf.data(), static_cast<uInt>(produced));
    if (!WriteAll(out, obuf.data(), produced)) rc = Z_ERRNO;
  }
  inflateEnd(&z);
  ::close(in);
  const bool ok = ::close(out) == 0 && rc == Z_STREAM_END && crc == expectedCrc;
  if (!ok) ::unlink(target.c_str());
  return ok ? 0 : 1;
}
