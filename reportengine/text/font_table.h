// One table of a face, held while it is read; empty when the face has no such table.
#ifndef REPORTENGINE_TEXT_FONT_TABLE_H_
#define REPORTENGINE_TEXT_FONT_TABLE_H_

#include <hb.h>

#include <cstddef>
#include <cstdint>

#include "common/big_endian.h"

namespace re {

// Where numbers that more than one reader takes lie in a face's tables (offsets in bytes), and
// the name table's platforms and language.
namespace ot {
inline constexpr size_t kHheaAscender = 4;
inline constexpr size_t kHheaDescender = 6;
inline constexpr size_t kHheaNumberOfHMetrics = 34;
inline constexpr size_t kOs2WinAscent = 74;
inline constexpr size_t kOs2WinDescent = 76;
inline constexpr uint16_t kPlatformUnicode = 0;
inline constexpr uint16_t kPlatformMac = 1;
inline constexpr uint16_t kPlatformWindows = 3;
inline constexpr uint16_t kWindowsEnglish = 0x0409;
}  // namespace ot

class FontTable {
 public:
  FontTable(hb_face_t* face, hb_tag_t tag) : blob_(hb_face_reference_table(face, tag)) {
    unsigned length = 0;
    data_ = reinterpret_cast<const uint8_t*>(hb_blob_get_data(blob_, &length));
    size_ = length;
  }
  ~FontTable() { hb_blob_destroy(blob_); }
  FontTable(const FontTable&) = delete;
  FontTable& operator=(const FontTable&) = delete;

  size_t size() const { return size_; }
  // Big-endian numbers at `offset`; REQUIRES: they lie inside the table.
  uint8_t U8(size_t offset) const { return data_[offset]; }
  uint16_t U16(size_t offset) const { return common::ReadBe16(data_ + offset); }
  int16_t S16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
  uint32_t U32(size_t offset) const { return common::ReadBe32(data_ + offset); }

 private:
  hb_blob_t* blob_;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace re

#endif  // REPORTENGINE_TEXT_FONT_TABLE_H_
