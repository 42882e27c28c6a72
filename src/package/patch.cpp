#include "package/patch.h"

#include <cstring>

void WritePatchHeader(const TPatchHeader& header, uint8_t* out) {
  std::memcpy(out, kPatchMagic, 4);
  std::memcpy(out + 4, &header, sizeof header);
}

TPatchDecoder::TPatchDecoder(TPatchTarget& target)
    : target_(target), out_(new uint8_t[kPatchBufferSize]) {}

TPatchState TPatchDecoder::Fail(const char* why) {
  error_ = why;
  state_ = TPatchState::Failed;
  return state_;
}

// Hands the final bytes on; only called with no old bytes pending.
bool TPatchDecoder::Flush() {
  if (outFill_ && !target_.Write(out_.get(), outFill_)) return false;
  outFill_ = readEnd_ = 0;
  return true;
}

// The copy's pairs have reached the end of the old bytes read so far: the
// next ones of the copy come behind them.
const char* TPatchDecoder::ReadOld() {
  if (readEnd_ == kPatchBufferSize && !Flush()) return "new file unwritable";
  size_t piece = kPatchBufferSize - readEnd_;
  if (piece > copyLeft_) piece = static_cast<size_t>(copyLeft_);
  if (!target_.ReadOld(oldPos_, out_.get() + readEnd_, piece)) return "old file unreadable";
  oldPos_ += piece;
  copyLeft_ -= piece;
  readEnd_ += piece;
  return nullptr;
}

// Takes `count` old bytes of the copy unchanged.
const char* TPatchDecoder::Pass(uint64_t count) {
  if (count > readEnd_ - outFill_ + copyLeft_) return "gap beyond the copy";
  for (;;) {
    const size_t ready = readEnd_ - outFill_;
    if (count <= ready) break;
    count -= ready;
    outFill_ = readEnd_;
    if (const char* why = ReadOld()) return why;
  }
  outFill_ += static_cast<size_t>(count);
  return nullptr;
}

// The copy is whole: the old position moves by the seek, then the extra
// bytes follow, if any.
const char* TPatchDecoder::EndCopy() {
  const uint64_t moved = oldPos_ + (seek_ & 1 ? ~(seek_ >> 1) : seek_ >> 1);
  if (moved > header_.OldSize) return "seek beyond the old file";
  oldPos_ = moved;
  field_ = extra_ ? kBytes : kCopy;
  ended_ = !extra_ && promised_ == header_.NewSize;
  return nullptr;
}

const char* TPatchDecoder::OnNumber(uint64_t value) {
  const uint64_t room = header_.NewSize - promised_;
  switch (field_) {
    case kCopy:
      if (value > room || value > header_.OldSize - oldPos_) return "copy beyond a file";
      copyLeft_ = value;
      break;
    case kExtra:
      if (value > room) return "extra beyond the new file";
      extra_ = value;
      break;
    case kSeek:
      seek_ = value;
      field_ = kGap;
      return copyLeft_ ? nullptr : EndCopy();
    default:
      if (const char* why = Pass(value)) return why;
      field_ = kValue;
      return outFill_ == readEnd_ && !copyLeft_ ? EndCopy() : nullptr;
  }
  promised_ += value;
  ++field_;
  return nullptr;
}

// Done is never stored: the patch is done once its records made the whole
// new file, and any byte after that is a fault.
TPatchState TPatchDecoder::Feed(const uint8_t* data, size_t size) {
  if (state_ == TPatchState::Failed) return state_;
  const uint8_t* const end = data + size;
  while (data < end) {
    const size_t left = static_cast<size_t>(end - data);
    const char* why = nullptr;
    if (headFill_ < kPatchHeaderSize) {
      // The magic, then the header's bytes as they lie.
      if (headFill_ < 4) {
        magic_[headFill_] = static_cast<char>(*data);
      } else {
        reinterpret_cast<uint8_t*>(&header_)[headFill_ - 4] = *data;
      }
      ++data;
      if (++headFill_ < kPatchHeaderSize) continue;
      if (std::memcmp(magic_, kPatchMagic, 4) != 0) return Fail("not a patch");
      if (!target_.Begin(header_)) return Fail("old file differs");
      ended_ = header_.NewSize == 0;
    } else if (ended_) {
      why = "data behind the end";
    } else if (field_ == kBytes) {
      size_t piece = left < extra_ ? left : static_cast<size_t>(extra_);
      if (outFill_ == kPatchBufferSize && !Flush()) return Fail("new file unwritable");
      if (piece > kPatchBufferSize - outFill_) piece = kPatchBufferSize - outFill_;
      std::memcpy(out_.get() + outFill_, data, piece);
      readEnd_ = outFill_ += piece;
      data += piece;
      extra_ -= piece;
      if (!extra_) {
        field_ = kCopy;
        ended_ = promised_ == header_.NewSize;
      }
    } else if (field_ == kValue) {
      if (outFill_ == readEnd_) why = ReadOld();
      if (!why) {
        out_[outFill_++] += *data++;
        field_ = kGap;
        if (outFill_ == readEnd_ && !copyLeft_) why = EndCopy();
      }
    } else if (shift_ == 63 && *data > 1) {
      why = "number too long";
    } else {
      // LEB128: seven bits a byte, the lowest first.
      number_ |= static_cast<uint64_t>(*data & 0x7F) << shift_;
      shift_ += 7;
      if (!(*data++ & 0x80)) {
        const uint64_t value = number_;
        number_ = 0;
        shift_ = 0;
        why = OnNumber(value);
      }
    }
    if (why) return Fail(why);
  }
  if (!ended_) return state_;
  if (!Flush()) return Fail("new file unwritable");
  return TPatchState::Done;
}

TPatchState TPatchDecoder::Finish() {
  if (state_ == TPatchState::Failed) return state_;
  return ended_ ? TPatchState::Done : Fail("patch ends early");
}
