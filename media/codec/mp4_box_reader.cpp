#include "media/codec/mp4_box_reader.h"

namespace strevana {

Mp4BoxReader::Mp4BoxReader(std::FILE* file) : file_(file) {
  if (file_ && fseeko(file_, 0, SEEK_END) == 0) fileBytes_ = static_cast<int64_t>(ftello(file_));
}

bool Mp4BoxReader::read(int64_t offset, void* out, size_t n) {
  if (!file_ || offset < 0 || fseeko(file_, static_cast<off_t>(offset), SEEK_SET) != 0)
    return false;
  return std::fread(out, 1, n, file_) == n;
}

Mp4BoxReader::Next Mp4BoxReader::next(int64_t at, int64_t end, Mp4Box& box) {
  if (at + 8 > end) return Next::kNone;
  if (++boxes_ > kMaxBoxes) return Next::kBroken;
  uint8_t header[16];
  if (!read(at, header, 8)) return Next::kTruncated;
  uint64_t size = be32(header);
  std::memcpy(box.type, header + 4, 4);
  int64_t headerBytes = 8;
  if (size == 1) {
    if (at + 16 > end || !read(at + 8, header + 8, 8)) return Next::kTruncated;
    size = be64(header + 8);
    headerBytes = 16;
  } else if (size == 0) {
    size = static_cast<uint64_t>(end - at);  // to the end of the enclosing box
  }
  if (size < static_cast<uint64_t>(headerBytes)) return Next::kBroken;
  box.begin = at;
  box.body = at + headerBytes;
  if (size > static_cast<uint64_t>(end - at)) {
    box.end = end;
    return Next::kTruncated;
  }
  box.end = at + static_cast<int64_t>(size);
  return Next::kBox;
}

}  // namespace strevana
