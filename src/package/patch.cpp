#include "package/patch.h"

#include <cstring>

void WritePatchHeader(const TPatchHeader& header, uint8_t* out) {
  std::memcpy(out, kPatchMagic, 4);
  std::memcpy(out + 4, &header, sizeof header);
}

TPatchDecoder::TPatchDecoder(TPatchTarget& target)
    : target_(target), out_(new uint8_t[kPatchBufferSize]) {}

TPatchHeader TPatchDecoder::Header() const {
  TPatchHeader header;
  std::memcpy(&header, p_.head + 4, sizeof header);
  return header;
}

TPatchState TPatchDecoder::Fail(const char* why) {
  p_.error = why;
  p_.state = TPatchState::Failed;
  return p_.state;
}

// Hands the final bytes on; only called with no old bytes pending.
bool TPatchDecoder::Flush() {
  if (p_.outFill && !target_.Write(out_.get(), p_.outFill)) return false;
  p_.outFill = p_.readEnd = 0;
  return true;
}

// The copy's pairs have reached the end of the old bytes read so far: the
// next ones of the copy come behind them.
const char* TPatchDecoder::ReadOld() {
  if (p_.readEnd == kPatchBufferSize && !Flush()) return "new file unwritable";
  size_t piece = kPatchBufferSize - p_.readEnd;
  if (piece > p_.copyLeft) piece = static_cast<size_t>(p_.copyLeft);
  if (!target_.ReadOld(p_.oldPos, out_.get() + p_.readEnd, piece)) return "old file unreadable";
  p_.oldPos += piece;
  p_.copyLeft -= piece;
  p_.readEnd += piece;
  return nullptr;
}

// Takes `count` old bytes of the copy unchanged.
const char* TPatchDecoder::Pass(uint64_t count) {
  if (count > p_.readEnd - p_.outFill + p_.copyLeft) return "gap beyond the copy";
  for (;;) {
    const size_t ready = p_.readEnd - p_.outFill;
    if (count <= ready) break;
    count -= ready;
    p_.outFill = p_.readEnd;
    if (const char* why = ReadOld()) return why;
  }
  p_.outFill += static_cast<size_t>(count);
  return nullptr;
}

// The copy is whole: the old position moves by the seek, then the extra
// bytes follow, if any.
const char* TPatchDecoder::EndCopy() {
  const uint64_t moved = p_.oldPos + (p_.seek & 1 ? ~(p_.seek >> 1) : p_.seek >> 1);
  if (moved > p_.oldSize) return "seek beyond the old file";
  p_.oldPos = moved;
  p_.field = p_.extra ? kBytes : kCopy;
  p_.ended = !p_.extra && p_.promised == p_.newSize;
  return nullptr;
}

const char* TPatchDecoder::OnNumber(uint64_t value) {
  const uint64_t room = p_.newSize - p_.promised;
  switch (p_.field) {
    case kCopy:
      if (value > room || value > p_.oldSize - p_.oldPos) return "copy beyond a file";
      p_.copyLeft = value;
      break;
    case kExtra:
      if (value > room) return "extra beyond the new file";
      p_.extra = value;
      break;
    case kSeek:
      p_.seek = value;
      p_.field = kGap;
      return p_.copyLeft ? nullptr : EndCopy();
    default:
      if (const char* why = Pass(value)) return why;
      p_.field = kValue;
      return p_.outFill == p_.readEnd && !p_.copyLeft ? EndCopy() : nullptr;
  }
  p_.promised += value;
  ++p_.field;
  return nullptr;
}

// Done is never stored: the patch is done once its records made the whole
// new file, and any byte after that is a fault.
TPatchState TPatchDecoder::Feed(const uint8_t* data, size_t size) {
  if (p_.state == TPatchState::Failed) return p_.state;
  const uint8_t* const end = data + size;
  while (data < end) {
    const size_t left = static_cast<size_t>(end - data);
    const char* why = nullptr;
    if (p_.headFill < kPatchHeaderSize) {
      p_.head[p_.headFill++] = *data++;
      if (p_.headFill < kPatchHeaderSize) continue;
      if (std::memcmp(p_.head, kPatchMagic, 4) != 0) return Fail("not a patch");
      const TPatchHeader header = Header();
      if (!target_.Begin(header)) return Fail("old file differs");
      p_.oldSize = header.OldSize;
      p_.newSize = header.NewSize;
      p_.ended = !header.NewSize;
    } else if (p_.ended) {
      why = "data behind the end";
    } else if (p_.field == kBytes) {
      size_t piece = left < p_.extra ? left : static_cast<size_t>(p_.extra);
      if (p_.outFill == kPatchBufferSize && !Flush()) return Fail("new file unwritable");
      if (piece > kPatchBufferSize - p_.outFill) piece = kPatchBufferSize - p_.outFill;
      std::memcpy(out_.get() + p_.outFill, data, piece);
      p_.readEnd = p_.outFill += piece;
      data += piece;
      p_.extra -= piece;
      if (!p_.extra) {
        p_.field = kCopy;
        p_.ended = p_.promised == p_.newSize;
      }
    } else if (p_.field == kValue) {
      if (p_.outFill == p_.readEnd) why = ReadOld();
      if (!why) {
        out_[p_.outFill++] += *data++;
        p_.field = kGap;
        if (p_.outFill == p_.readEnd && !p_.copyLeft) why = EndCopy();
      }
    } else if (p_.shift == 63 && *data > 1) {
      why = "number too long";
    } else {
      // LEB128: seven bits a byte, the lowest first.
      p_.number |= static_cast<uint64_t>(*data & 0x7F) << p_.shift;
      p_.shift += 7;
      if (!(*data++ & 0x80)) {
        const uint64_t value = p_.number;
        p_.number = 0;
        p_.shift = 0;
        why = OnNumber(value);
      }
    }
    if (why) return Fail(why);
  }
  if (!p_.ended) return p_.state;
  if (!Flush()) return Fail("new file unwritable");
  return TPatchState::Done;
}

TPatchState TPatchDecoder::Finish() {
  if (p_.state == TPatchState::Failed) return p_.state;
  return p_.ended ? TPatchState::Done : Fail("patch ends early");
}
