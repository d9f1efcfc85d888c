// An independent reader of spanned sets for the tests, written from the zip
// application note (section 4's records, section 8's spanning) and not from
// the program's own description of the records: the end record on the last
// volume names its volume, the volume and offset where the central
// directory starts; each central header names the volume and the offset on
// it of its local header; data runs on from one volume to the next. Records
// must not be split across volumes. Entries are inflated with zlib and their
// CRC-32 checked.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#ifdef FRETFILE_HAVE_ZLIB
#include <zlib.h>
#endif

namespace testing_support {

struct SpannedEntry {
  std::string name;
  std::string data;
  uint16_t disk = 0;
  uint32_t offset = 0;
};

struct SpannedSet {
  std::vector<SpannedEntry> entries;
  std::string comment;
  uint16_t directoryDisk = 0;
  uint32_t directoryOffset = 0;
  std::string problem;  // empty when the set read back whole
};

namespace spanned_detail {

inline uint32_t Le(const std::string& bytes, size_t at, int width) {
  uint32_t value = 0;
  for (int i = width - 1; i >= 0; --i) value = value << 8 | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
  return value;
}

inline bool Inflate(const std::string& in, size_t expected, std::string& out) {
#ifdef FRETFILE_HAVE_ZLIB
  out.assign(expected, '\0');
  z_stream stream{};
  if (inflateInit2(&stream, -15) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
  stream.avail_in = static_cast<uInt>(in.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&stream, Z_FINISH);
  inflateEnd(&stream);
  return result == Z_STREAM_END && stream.total_out == expected;
#else
  (void)in;
  (void)expected;
  (void)out;
  return false;
#endif
}

inline uint32_t Crc(const std::string& data) {
#ifdef FRETFILE_HAVE_ZLIB
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
#else
  (void)data;
  return 0;
#endif
}

}  // namespace spanned_detail

inline SpannedSet ReadSpannedSet(const std::vector<std::string>& volumes) {
  using spanned_detail::Le;
  SpannedSet set;
  const auto fail = [&](const std::string& why) {
    set.problem = why;
    return set;
  };
  if (volumes.empty()) return fail("no volumes");
  const std::string& first = volumes.front();
  if (first.size() < 8 || Le(first, 0, 4) != 0x08074b50 || Le(first, 4, 4) != 0x04034b50) {
    return fail("the first volume does not start with the spanning signature and a local header");
  }
  const std::string& last = volumes.back();
  size_t end = std::string::npos;
  for (size_t at = last.size() >= 22 ? last.size() - 22 + 1 : 0; at-- > 0;) {
    if (Le(last, at, 4) == 0x06054b50) {
      end = at;
      break;
    }
  }
  if (end == std::string::npos) return fail("no end record on the last volume");
  const uint32_t thisDisk = Le(last, end + 4, 2);
  set.directoryDisk = static_cast<uint16_t>(Le(last, end + 6, 2));
  const uint32_t total = Le(last, end + 10, 2);
  set.directoryOffset = Le(last, end + 16, 4);
  const uint32_t commentLength = Le(last, end + 20, 2);
  if (thisDisk != volumes.size() - 1) return fail("the end record names disk " + std::to_string(thisDisk));
  if (end + 22 + commentLength != last.size()) return fail("the end record and comment do not end the last volume");
  set.comment = last.substr(end + 22, commentLength);

  size_t disk = set.directoryDisk;
  size_t at = set.directoryOffset;
  for (uint32_t i = 0; i < total; ++i) {
    if (disk < volumes.size() && at == volumes[disk].size()) {
      ++disk;
      at = 0;
    }
    if (disk >= volumes.size() || at + 46 > volumes[disk].size()) return fail("central header split or missing");
    const std::string& v = volumes[disk];
    if (Le(v, at, 4) != 0x02014b50) return fail("no central header signature");
    const uint32_t method = Le(v, at + 10, 2);
    const uint32_t crc = Le(v, at + 16, 4);
    const uint32_t compressed = Le(v, at + 20, 4);
    const uint32_t size = Le(v, at + 24, 4);
    const uint32_t nameLength = Le(v, at + 28, 2);
    const uint32_t extraLength = Le(v, at + 30, 2);
    const uint32_t fileCommentLength = Le(v, at + 32, 2);
    SpannedEntry entry;
    entry.disk = static_cast<uint16_t>(Le(v, at + 34, 2));
    entry.offset = Le(v, at + 42, 4);
    const size_t recordLength = 46 + size_t{nameLength} + extraLength + fileCommentLength;
    if (at + recordLength > v.size()) return fail("central record split across volumes");
    entry.name = v.substr(at + 46, nameLength);
    at += recordLength;

    if (entry.disk >= volumes.size()) return fail(entry.name + ": no such disk");
    const std::string& home = volumes[entry.disk];
    if (entry.offset + size_t{30} > home.size() || Le(home, entry.offset, 4) != 0x04034b50) {
      return fail(entry.name + ": no local header where the directory says");
    }
    const size_t localLength = 30 + size_t{Le(home, entry.offset + 26, 2)} + Le(home, entry.offset + 28, 2);
    if (entry.offset + localLength > home.size()) return fail(entry.name + ": local record split across volumes");
    if (home.substr(entry.offset + 30, Le(home, entry.offset + 26, 2)) != entry.name) {
      return fail(entry.name + ": the local header has another name");
    }
    std::string raw;
    size_t dataDisk = entry.disk;
    size_t dataAt = entry.offset + localLength;
    while (raw.size() < compressed) {
      if (dataDisk >= volumes.size()) return fail(entry.name + ": data runs past the last volume");
      const size_t take = std::min<size_t>(compressed - raw.size(), volumes[dataDisk].size() - dataAt);
      raw += volumes[dataDisk].substr(dataAt, take);
      dataAt += take;
      if (raw.size() < compressed) {
        ++dataDisk;
        dataAt = 0;
      }
    }
    if (method == 0) {
      entry.data = raw;
    } else if (method != 8 || !spanned_detail::Inflate(raw, size, entry.data)) {
      return fail(entry.name + ": cannot be inflated");
    }
    if (entry.data.size() != size || spanned_detail::Crc(entry.data) != crc) return fail(entry.name + ": bad CRC");
    set.entries.push_back(std::move(entry));
  }
  return set;
}

}  // namespace testing_support
