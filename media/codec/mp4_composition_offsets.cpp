#include "media/codec/mp4_composition_offsets.h"

#include <vector>

#include "media/codec/mp4_box_reader.h"

namespace strevana {

namespace {

// The full-box body of a table: its bytes after version and flags, checked
// to hold `count` entries of `entryBytes` after `headerBytes` of fields.
bool readTable(Mp4BoxReader& reader, const Mp4Box& box, std::vector<uint8_t>& bytes) {
  const int64_t size = box.end - box.body;
  if (size < 8 || size > (int64_t{1} << 31)) return false;
  bytes.resize(static_cast<size_t>(size));
  return reader.read(box.body, bytes.data(), bytes.size());
}

bool holds(const std::vector<uint8_t>& table, size_t headerBytes, uint64_t count,
           size_t entryBytes) {
  return headerBytes <= table.size() && count <= (table.size() - headerBytes) / entryBytes;
}

// The child of [begin, end) with the given type.
bool findChild(Mp4BoxReader& reader, int64_t begin, int64_t end, const char* type, Mp4Box& found) {
  Mp4Box box;
  for (int64_t at = begin; reader.next(at, end, box) == Mp4BoxReader::Next::kBox; at = box.end) {
    if (box.is(type)) {
      found = box;
      return true;
    }
  }
  return false;
}

}  // namespace

Mp4CompositionOffsets readMp4CompositionOffsets(std::FILE* file, int trackIndex) {
  Mp4CompositionOffsets result;
  Mp4BoxReader reader(file);
  Mp4Box moov, trak;
  if (reader.fileBytes() < 0 || !findChild(reader, 0, reader.fileBytes(), "moov", moov))
    return result;
  int index = -1;
  Mp4Box box;
  for (int64_t at = moov.body; reader.next(at, moov.end, box) == Mp4BoxReader::Next::kBox;
       at = box.end) {
    if (box.is("trak") && ++index == trackIndex) {
      trak = box;
      break;
    }
  }
  Mp4Box mdia, minf, stbl;
  if (index != trackIndex || !findChild(reader, trak.body, trak.end, "mdia", mdia) ||
      !findChild(reader, mdia.body, mdia.end, "minf", minf) ||
      !findChild(reader, minf.body, minf.end, "stbl", stbl)) {
    return result;
  }
  Mp4Box ctts, stsc, sizes, chunks;
  if (!findChild(reader, stbl.body, stbl.end, "ctts", ctts)) {
    result.usable = true;  // stored in display order
    return result;
  }
  result.present = true;
  const bool compact = !findChild(reader, stbl.body, stbl.end, "stsz", sizes);
  if (compact && !findChild(reader, stbl.body, stbl.end, "stz2", sizes)) return result;
  const bool wide = !findChild(reader, stbl.body, stbl.end, "stco", chunks);
  if (wide && !findChild(reader, stbl.body, stbl.end, "co64", chunks)) return result;
  if (!findChild(reader, stbl.body, stbl.end, "stsc", stsc)) return result;

  std::vector<uint8_t> cttsTable, stscTable, sizeTable, chunkTable;
  if (!readTable(reader, ctts, cttsTable) || !readTable(reader, stsc, stscTable) ||
      !readTable(reader, sizes, sizeTable) || !readTable(reader, chunks, chunkTable)) {
    return result;
  }
  using R = Mp4BoxReader;
  if (sizeTable.size() < 12) return result;

  // Sample sizes (8.7.3): a uniform size, a table of 32-bit sizes, or a
  // compact table of 4-, 8- or 16-bit fields.
  const uint64_t sampleCount = R::be32(sizeTable.data() + 8);
  if (reader.fileBytes() >= 0 && sampleCount > static_cast<uint64_t>(reader.fileBytes()))
    return result;
  std::vector<uint32_t> sampleSizes(static_cast<size_t>(sampleCount));
  if (!compact) {
    const uint32_t uniform = R::be32(sizeTable.data() + 4);
    if (uniform == 0 && !holds(sizeTable, 12, sampleCount, 4)) return result;
    for (size_t i = 0; i < sampleSizes.size(); ++i) {
      sampleSizes[i] = uniform ? uniform : R::be32(sizeTable.data() + 12 + 4 * i);
    }
  } else {
    const unsigned field = sizeTable[7];
    if ((field != 4 && field != 8 && field != 16) ||
        (sizeTable.size() - 12) * 8 / field < sampleCount)
      return result;
    for (size_t i = 0; i < sampleSizes.size(); ++i) {
      const uint8_t* p = sizeTable.data() + 12;
      if (field == 16) sampleSizes[i] = (uint32_t{p[2 * i]} << 8) | p[2 * i + 1];
      if (field == 8) sampleSizes[i] = p[i];
      if (field == 4) sampleSizes[i] = (p[i / 2] >> (i % 2 ? 0 : 4)) & 0xF;
    }
  }

  // Composition offsets (8.6.1.3), run-length coded; version 1 allows
  // negative ones.
  const bool signedOffsets = cttsTable[0] == 1;
  const uint64_t runs = R::be32(cttsTable.data() + 4);
  if (!holds(cttsTable, 8, runs, 8)) return result;
  std::vector<int64_t> offsets;
  offsets.reserve(sampleSizes.size());
  for (uint64_t r = 0; r < runs && offsets.size() < sampleSizes.size(); ++r) {
    const uint8_t* e = cttsTable.data() + 8 + 8 * r;
    const uint32_t count = R::be32(e);
    const uint32_t raw = R::be32(e + 4);
    const int64_t offset =
        signedOffsets ? static_cast<int64_t>(static_cast<int32_t>(raw)) : int64_t{raw};
    if (offset < 0) return result;
    for (uint32_t k = 0; k < count && offsets.size() < sampleSizes.size(); ++k)
      offsets.push_back(offset);
  }
  offsets.resize(sampleSizes.size(), 0);

  // Where each sample lies (8.7.4, 8.7.5): chunks hold runs of samples.
  const uint64_t chunkCount = R::be32(chunkTable.data() + 4);
  const size_t chunkBytes = wide ? 8 : 4;
  const uint64_t stscEntries = R::be32(stscTable.data() + 4);
  if (!holds(chunkTable, 8, chunkCount, chunkBytes) || !holds(stscTable, 8, stscEntries, 12))
    return result;
  result.byPosition.reserve(sampleSizes.size());
  size_t sample = 0;
  for (uint64_t e = 0; e < stscEntries && sample < sampleSizes.size(); ++e) {
    const uint8_t* entry = stscTable.data() + 8 + 12 * e;
    const uint64_t first = R::be32(entry);
    const uint64_t perChunk = R::be32(entry + 4);
    const uint64_t next = e + 1 < stscEntries ? R::be32(entry + 12) : chunkCount + 1;
    if (first < 1 || next <= first || next > chunkCount + 1) return result;
    for (uint64_t c = first; c < next && sample < sampleSizes.size(); ++c) {
      const uint8_t* p = chunkTable.data() + 8 + chunkBytes * (c - 1);
      int64_t position = wide ? static_cast<int64_t>(R::be64(p)) : int64_t{R::be32(p)};
      for (uint64_t k = 0; k < perChunk && sample < sampleSizes.size(); ++k, ++sample) {
        result.byPosition.emplace(position, offsets[sample]);
        position += sampleSizes[sample];
      }
    }
  }
  result.usable = sample == sampleSizes.size();
  return result;
}

}  // namespace strevana
