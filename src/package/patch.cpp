#include "package/patch.h"

#include <cstring>

namespace {

uint64_t ReadLe64(const uint8_t* p) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = value << 8 | p[i];
  return value;
}

void WriteLe64(uint64_t value, uint8_t* p) {
  for (int i = 0; i < 8; ++i, value >>= 8) p[i] = static_cast<uint8_t>(value);
}

}  // namespace

void WritePatchHeader(const TPatchHeader& header, uint8_t* out) {
  std::memcpy(out, kPatchMagic, 4);
  WriteLe64(header.OldSize, out + 4);
  WriteLe64(header.NewSize, out + 12);
  std::memcpy(out + 20, header.OldSha256, 32);
  std::memcpy(out + 52, header.NewSha256, 32);
}

TPatchDecoder::TPatchDecoder(TPatchTarget& target)
    : target_(target), old_(new uint8_t[kPatchBufferSize]), out_(new uint8_t[kPatchBufferSize]) {}

TPatchState TPatchDecoder::Fail(const char* why) {
  if (state_ != TPatchState::Failed) error_ = why;
  state_ = TPatchState::Failed;
  return state_;
}

bool TPatchDecoder::Flush() {
  if (outFill_ && !target_.Write(out_.get(), outFill_)) return false;
  written_ += outFill_;
  outFill_ = 0;
  return true;
}

bool TPatchDecoder::Put(const uint8_t* data, size_t size) {
  while (size) {
    if (outFill_ == kPatchBufferSize && !Flush()) return false;
    size_t piece = kPatchBufferSize - outFill_;
    if (piece > size) piece = size;
    std::memcpy(out_.get() + outFill_, data, piece);
    outFill_ += piece;
    data += piece;
    size -= piece;
  }
  return true;
}

// Makes the old byte at oldPos_ one of the buffer's; every read lies within
// the old file, which the record was checked against.
bool TPatchDecoder::FillOld() {
  if (oldPos_ - oldStart_ < oldFill_) return true;
  oldStart_ = oldPos_;
  const uint64_t left = header_.OldSize - oldPos_;
  oldFill_ = left < kPatchBufferSize ? static_cast<size_t>(left) : kPatchBufferSize;
  return target_.ReadOld(oldStart_, old_.get(), oldFill_);
}

// LEB128: false once the number is complete.
bool TPatchDecoder::TakeNumber(uint8_t byte) {
  number_ |= static_cast<uint64_t>(byte & 0x7F) << shift_;
  if (!(byte & 0x80)) return false;
  shift_ += 7;
  return true;
}

void TPatchDecoder::EndRecord() {
  field_ = TField::Copy;
  if (Written() == header_.NewSize) field_ = TField::End;
}

// The copy is done: the old position moves by the seek, and the extra bytes
// follow.
bool TPatchDecoder::EndCopy() {
  const uint64_t moved = oldPos_ + (seek_ & 1 ? ~(seek_ >> 1) : seek_ >> 1);
  if (moved > header_.OldSize) return false;
  oldPos_ = moved;
  field_ = TField::ExtraBytes;
  if (!extra_) EndRecord();
  return true;
}

void TPatchDecoder::OnNumber() {
  const uint64_t value = number_;
  const uint64_t room = header_.NewSize - Written();
  switch (field_) {
    case TField::Copy:
      copy_ = value;
      if (copy_ > room || copy_ > header_.OldSize - oldPos_) Fail("copy beyond a file");
      field_ = TField::Extra;
      break;
    case TField::Extra:
      extra_ = value;
      if (extra_ > room - copy_) Fail("extra beyond the new file");
      field_ = TField::Seek;
      break;
    case TField::Seek:
      seek_ = value;
      field_ = TField::Gap;
      if (!copy_ && !EndCopy()) Fail("seek beyond the old file");
      break;
    default: {  // a gap: old bytes taken unchanged
      if (value > copy_) {
        Fail("gap beyond the copy");
        return;
      }
      copy_ -= value;
      for (uint64_t left = value; left;) {
        if (!FillOld()) {
          Fail("old file unreadable");
          return;
        }
        uint64_t piece = oldStart_ + oldFill_ - oldPos_;
        if (piece > left) piece = left;
        if (!Put(old_.get() + (oldPos_ - oldStart_), static_cast<size_t>(piece))) {
          Fail("new file unwritable");
          return;
        }
        oldPos_ += piece;
        left -= piece;
      }
      field_ = TField::Value;
      if (!copy_ && !EndCopy()) Fail("seek beyond the old file");
    }
  }
}

TPatchState TPatchDecoder::Feed(const uint8_t* data, size_t size) {
  if (state_ == TPatchState::Done && size) return Fail("data behind the end");
  const uint8_t* const end = data + size;
  while (data < end && state_ == TPatchState::Running) {
    switch (field_) {
      case TField::Header: {
        size_t piece = kPatchHeaderSize - headFill_;
        if (piece > static_cast<size_t>(end - data)) piece = end - data;
        std::memcpy(head_ + headFill_, data, piece);
        headFill_ += piece;
        data += piece;
        if (headFill_ < kPatchHeaderSize) break;
        if (std::memcmp(head_, kPatchMagic, 4) != 0) return Fail("not a patch");
        header_.OldSize = ReadLe64(head_ + 4);
        header_.NewSize = ReadLe64(head_ + 12);
        std::memcpy(header_.OldSha256, head_ + 20, 32);
        std::memcpy(header_.NewSha256, head_ + 52, 32);
        if (!target_.Begin(header_)) return Fail("old file differs");
        EndRecord();
        break;
      }
      case TField::Value: {
        if (!FillOld()) return Fail("old file unreadable");
        const uint8_t byte = static_cast<uint8_t>(old_[oldPos_ - oldStart_] + *data++);
        ++oldPos_;
        if (!Put(&byte, 1)) return Fail("new file unwritable");
        field_ = TField::Gap;
        if (!--copy_ && !EndCopy()) return Fail("seek beyond the old file");
        break;
      }
      case TField::ExtraBytes: {
        size_t piece = static_cast<size_t>(end - data);
        if (piece > extra_) piece = static_cast<size_t>(extra_);
        if (!Put(data, piece)) return Fail("new file unwritable");
        data += piece;
        extra_ -= piece;
        if (!extra_) EndRecord();
        break;
      }
      case TField::End:
        return Fail("data behind the end");
      default:
        if (shift_ > 63 || (shift_ == 63 && *data > 1)) return Fail("number too long");
        if (!TakeNumber(*data++)) {
          OnNumber();
          number_ = 0;
          shift_ = 0;
        }
    }
  }
  if (state_ == TPatchState::Running && field_ == TField::End) {
    if (!Flush()) return Fail("new file unwritable");
    state_ = TPatchState::Done;
  }
  return state_;
}

TPatchState TPatchDecoder::Finish() {
  if (state_ == TPatchState::Running) Feed(nullptr, 0);
  if (state_ == TPatchState::Running) Fail("patch ends early");
  return state_;
}
