// The zip writer (see zip_writer.hpp). An archive is laid out as
//
//   for each file:  local header   signature, version needed, flags, method, time, date, CRC-32,
//                                  compressed size, size, name length, extra length (0), name
//                   data           raw deflate or the bytes themselves
//   for each file:  central header signature, version made by, version needed, flags, method,
//                                  time, date, CRC-32, sizes, name/extra/comment lengths, disk,
//                                  attributes, local header's offset, name, zip64 extra when
//                                  that offset does not fit 32 bits
//   when needed:    zip64 end record and its locator (more than 65,535 files, or a central
//                   directory past 4 GiB)
//   end record      signature, disks, counts, central directory's size and offset
//
// with every number little-endian.
#include "formats/zip/zip_writer.hpp"

#include <limits>

#include "io/le_bytes.hpp"

namespace vostrel {

namespace {

constexpr std::uint32_t kLocalHeaderSignature = 0x04034B50;
constexpr std::uint32_t kCentralHeaderSignature = 0x02014B50;
constexpr std::uint32_t kEndSignature = 0x06054B50;
constexpr std::uint32_t kZip64EndSignature = 0x06064B50;
constexpr std::uint32_t kZip64LocatorSignature = 0x07064B50;
// Versions "needed to extract": 2.0 for deflate, 4.5 for the zip64 extensions; made by 2.0 on
// MS-DOS (attributes as DOS keeps them).
constexpr std::uint16_t kVersionDeflate = 20;
constexpr std::uint16_t kVersionZip64 = 45;
// General purpose flag bit 11: the name is UTF-8.
constexpr std::uint16_t kFlagUtf8 = 0x0800;
constexpr std::uint16_t kMethodStored = 0;
constexpr std::uint16_t kMethodDeflate = 8;
// 1 January 1980 in DOS's date format (years since 1980 << 9 | month << 5 | day); time 00:00.
constexpr std::uint16_t kDosDate = (1 << 5) | 1;
constexpr std::uint16_t kDosTime = 0;
// The zip64 extended information extra field's tag, and the value that says "in zip64".
constexpr std::uint16_t kZip64ExtraTag = 0x0001;
constexpr std::uint32_t kInZip64 = 0xFFFFFFFF;
constexpr std::uint16_t kCountInZip64 = 0xFFFF;

std::uint16_t FlagsOf(std::string_view name) {
  for (const char c : name) {
    if (static_cast<unsigned char>(c) >= 0x80) {
      return kFlagUtf8;
    }
  }
  return 0;
}

// A value of 32 bits, or the mark that the zip64 record holds it.
std::uint32_t Or64(std::uint64_t value) {
  return value >= kInZip64 ? kInZip64 : static_cast<std::uint32_t>(value);
}

}  // namespace

// The fields a local header and a central record share, from the flags to the name's length.
void ZipWriter::AppendFileFacts(const Entry& entry) {
  AppendLe16(pending_, FlagsOf(entry.name));
  AppendLe16(pending_, entry.method);
  AppendLe16(pending_, kDosTime);
  AppendLe16(pending_, kDosDate);
  AppendLe32(pending_, entry.crc);
  AppendLe32(pending_, entry.compressedSize);
  AppendLe32(pending_, entry.size);
  AppendLe16(pending_, static_cast<std::uint16_t>(entry.name.size()));
}

ZipWriter::ZipWriter(int level) : compressor_(level, DeflateWrapping::kRaw) {}

bool ZipWriter::Add(std::string_view name, std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= kInZip64 || name.size() > std::numeric_limits<std::uint16_t>::max()) {
    return false;
  }
  Entry entry;
  entry.name = name;
  entry.size = static_cast<std::uint32_t>(bytes.size());
  entry.crc = Crc32(bytes);
  entry.offset = written_;
  std::span<const std::uint8_t> data = compressor_.Compress(bytes);
  entry.method = kMethodDeflate;
  if (data.size() >= bytes.size()) {
    data = bytes;
    entry.method = kMethodStored;
  }
  entry.compressedSize = static_cast<std::uint32_t>(data.size());

  const std::size_t start = pending_.size();
  AppendLe32(pending_, kLocalHeaderSignature);
  AppendLe16(pending_, kVersionDeflate);
  AppendFileFacts(entry);
  AppendLe16(pending_, 0);
  pending_.insert(pending_.end(), name.begin(), name.end());
  pending_.insert(pending_.end(), data.begin(), data.end());
  written_ += pending_.size() - start;
  entries_.push_back(std::move(entry));
  return true;
}

bool ZipWriter::Finish(std::size_t pendingAtMost) {
  if (!finishing_) {
    finishing_ = true;
    directoryAt_ = written_;
  }
  for (; directoryWritten_ < entries_.size(); ++directoryWritten_) {
    if (pending_.size() >= pendingAtMost) {
      return false;
    }
    const Entry& entry = entries_[directoryWritten_];
    const std::size_t start = pending_.size();
    const bool farOffset = entry.offset >= kInZip64;
    AppendLe32(pending_, kCentralHeaderSignature);
    AppendLe16(pending_, kVersionDeflate);
    AppendLe16(pending_, farOffset ? kVersionZip64 : kVersionDeflate);
    AppendFileFacts(entry);
    AppendLe16(pending_, farOffset ? 12 : 0);  // the zip64 extra: tag, size, the offset
    AppendLe16(pending_, 0);                   // comment
    AppendLe16(pending_, 0);                   // disk
    AppendLe16(pending_, 0);                   // internal attributes
    AppendLe32(pending_, 0);                   // external attributes
    AppendLe32(pending_, Or64(entry.offset));
    pending_.insert(pending_.end(), entry.name.begin(), entry.name.end());
    if (farOffset) {
      AppendLe16(pending_, kZip64ExtraTag);
      AppendLe16(pending_, 8);
      AppendLe64(pending_, entry.offset);
    }
    written_ += pending_.size() - start;
  }
  const std::uint64_t directoryAt = directoryAt_;
  const std::uint64_t directorySize = written_ - directoryAt;
  const std::uint64_t count = entries_.size();
  if (count >= kCountInZip64 || directoryAt >= kInZip64 || directorySize >= kInZip64) {
    const std::uint64_t recordAt = written_;
    AppendLe32(pending_, kZip64EndSignature);
    AppendLe64(pending_, 44);  // the record's size after this field
    AppendLe16(pending_, kVersionZip64);
    AppendLe16(pending_, kVersionZip64);
    AppendLe32(pending_, 0);  // this disk
    AppendLe32(pending_, 0);  // the directory's disk
    AppendLe64(pending_, count);
    AppendLe64(pending_, count);
    AppendLe64(pending_, directorySize);
    AppendLe64(pending_, directoryAt);
    AppendLe32(pending_, kZip64LocatorSignature);
    AppendLe32(pending_, 0);  // the record's disk
    AppendLe64(pending_, recordAt);
    AppendLe32(pending_, 1);  // disks
  }
  AppendLe32(pending_, kEndSignature);
  AppendLe16(pending_, 0);  // this disk
  AppendLe16(pending_, 0);  // the directory's disk
  const std::uint16_t shortCount =
      count >= kCountInZip64 ? kCountInZip64 : static_cast<std::uint16_t>(count);
  AppendLe16(pending_, shortCount);
  AppendLe16(pending_, shortCount);
  AppendLe32(pending_, Or64(directorySize));
  AppendLe32(pending_, Or64(directoryAt));
  AppendLe16(pending_, 0);  // comment
  entries_.clear();
  return true;
}

}  // namespace vostrel
