// The zlib side of the extraction benchmarks: one entry of an archive
// extracted to a file by a small zlib extractor, the way `fretfile-cli
// extract` does it (read the local header, create the file, inflate, write,
// check the CRC-32). Input is read 64 KiB at a time and output written
// 128 KiB at a time; the CRC is zlib's own. Header-only and free of the
// program's code, so that the peer program zlib_extract links zlib alone.
#pragma once

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace bench {

inline uint32_t LittleEndian(const unsigned char* p, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = (value << 8) | p[i];
  return value;
}

inline bool WriteAll(int fd, const unsigned char* data, size_t n) {
  while (n > 0) {
    const ssize_t done = ::write(fd, data, n);
    if (done <= 0) return false;
    data += done;
    n -= static_cast<size_t>(done);
  }
  return true;
}

// Extracts the deflated entry whose local header is at `headerOffset` of
// `archivePath` to `target`; true when the stream ended and its CRC matched
// the header's. A failed target is removed.
inline bool ZlibExtractAt(const char* archivePath, uint32_t headerOffset, const char* target) {
  const int in = ::open(archivePath, O_RDONLY);
  if (in < 0) return false;
  unsigned char header[30];
  if (::pread(in, header, 30, headerOffset) != 30 || LittleEndian(header, 4) != 0x04034B50 ||
      LittleEndian(header + 8, 2) != 8) {
    ::close(in);
    return false;
  }
  const uint32_t expectedCrc = LittleEndian(header + 14, 4);
  uint32_t left = LittleEndian(header + 18, 4);
  const off_t data = headerOffset + 30 + LittleEndian(header + 26, 2) + LittleEndian(header + 28, 2);
  const int out = ::open(target, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (out < 0 || ::lseek(in, data, SEEK_SET) != data) {
    ::close(in);
    if (out >= 0) ::close(out);
    return false;
  }
  z_stream z{};
  inflateInit2(&z, -15);
  std::vector<unsigned char> input(1 << 16), output(1 << 17);
  uLong crc = crc32(0, nullptr, 0);
  int status = Z_OK;
  while (status != Z_STREAM_END) {
    if (z.avail_in == 0) {
      const ssize_t got = ::read(in, input.data(), std::min<size_t>(input.size(), left));
      if (got <= 0) break;
      left -= static_cast<uint32_t>(got);
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(got);
    }
    z.next_out = output.data();
    z.avail_out = static_cast<uInt>(output.size());
    status = inflate(&z, Z_NO_FLUSH);
    if (status != Z_OK && status != Z_STREAM_END) break;
    const size_t produced = output.size() - z.avail_out;
    crc = crc32(crc, output.data(), static_cast<uInt>(produced));
    if (!WriteAll(out, output.data(), produced)) status = Z_ERRNO;
  }
  inflateEnd(&z);
  ::close(in);
  const bool ok = ::close(out) == 0 && status == Z_STREAM_END && crc == expectedCrc;
  if (!ok) ::unlink(target);
  return ok;
}

}  // namespace bench
