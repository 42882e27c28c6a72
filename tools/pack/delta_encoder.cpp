#include "pack/delta_encoder.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "pack/signer_key.h"
#include "package/patch.h"

#ifdef ORVANE_HAVE_DIVSUFSORT
#include <divsufsort.h>
#endif

namespace {

// A match found by the suffix array starts a new copy only when it takes
// this many more bytes unchanged than the copy running at the current old
// offset would: a new offset costs a record.
constexpr int64_t kNewMatchGain = 8;
// Of the suffixes next to the one found that match as long, this many on
// each side are looked at for the one nearest the running copy's old
// offset: code moved a little keeps its neighbours' offset, and the copy
// then stays in step with them.
constexpr int64_t kNearbySuffixes = 16;

const uint8_t* Bytes(const std::string& text) {
  return reinterpret_cast<const uint8_t*>(text.data());
}

void PutNumber(std::string& out, uint64_t value) {
  for (; value >= 0x80; value >>= 7) out += static_cast<char>(value | 0x80);
  out += static_cast<char>(value);
}

uint64_t ZigZag(int64_t value) {
  return value < 0 ? (static_cast<uint64_t>(~value) << 1 | 1) : static_cast<uint64_t>(value) << 1;
}

int64_t Distance(int64_t a, int64_t b) { return a < b ? b - a : a - b; }

int64_t CommonLength(const uint8_t* a, int64_t aSize, const uint8_t* b, int64_t bSize) {
  const int64_t limit = std::min(aSize, bSize);
  int64_t i = 0;
  while (i < limit && a[i] == b[i]) ++i;
  return i;
}

// The longest prefix of a text that the old file holds, by binary search
// over the old file's sorted suffixes.
class TMatcher {
 public:
  explicit TMatcher(const std::string& old) : old_(Bytes(old)), size_(old.size()), sa_(size_) {
    if (size_ > 0) SuffixSort(old, sa_.data());
  }

  // Length of the longest match of `text` and where it starts in `pos`:
  // of equally long ones, among the nearby suffixes, the one nearest `hint`.
  int64_t Longest(const uint8_t* text, int64_t textSize, int64_t hint, int64_t& pos) const {
    if (size_ == 0) return 0;
    int64_t lo = 0;
    int64_t hi = size_ - 1;
    while (hi - lo > 1) {
      const int64_t mid = lo + (hi - lo) / 2;
      const int64_t start = sa_[mid];
      const int64_t length = std::min(size_ - start, textSize);
      const int order = std::memcmp(old_ + start, text, static_cast<size_t>(length));
      if (order < 0 || (order == 0 && length < textSize)) {
        lo = mid;
      } else {
        hi = mid;
      }
    }
    const int64_t atLo = CommonLength(old_ + sa_[lo], size_ - sa_[lo], text, textSize);
    const int64_t atHi = CommonLength(old_ + sa_[hi], size_ - sa_[hi], text, textSize);
    const int64_t best = std::max(atLo, atHi);
    const int64_t found = atLo >= atHi ? lo : hi;
    pos = sa_[found];
    if (best == 0) return 0;
    for (int64_t step : {-1, 1}) {
      for (int64_t i = found + step, n = 0; i >= 0 && i < size_ && n < kNearbySuffixes;
           i += step, ++n) {
        if (CommonLength(old_ + sa_[i], size_ - sa_[i], text, best) < best) break;
        if (Distance(sa_[i], hint) < Distance(pos, hint)) pos = sa_[i];
      }
    }
    return best;
  }

 private:
  const uint8_t* old_;
  int64_t size_;
  std::vector<int32_t> sa_;
};

// How much a copy grown byte by byte saves over extra bytes, in the patch
// as zlib leaves it: an unchanged byte costs next to nothing, a byte changed
// by the same amount as one of the two changes before it little (code whose
// addresses all moved by one amount), any other change more than an extra
// byte. bsdiff counts every change alike; this weighting made the zlib-9
// patches of a DLL and of a Go program about 1% and 2% smaller.
class TCopyScore {
 public:
  // Adds the next byte's difference; true when the copy ending with it
  // scores best so far.
  bool Add(uint8_t difference) {
    if (difference == 0) {
      score_ += 3;
    } else if (difference != last_[0] && difference != last_[1]) {
      score_ -= 5;
    }
    if (difference != 0) {
      last_[1] = last_[0];
      last_[0] = difference;
    }
    if (score_ <= best_) return false;
    best_ = score_;
    return true;
  }

 private:
  int64_t score_ = 0;
  int64_t best_ = 0;
  uint8_t last_[2] = {};
};

// One record: `Copy` bytes of the new file at `NewAt` made from the old
// bytes at `OldAt`, then `Extra` new bytes as they are, then the seek.
struct TRecord {
  int64_t NewAt = 0;
  int64_t OldAt = 0;
  int64_t Copy = 0;
  int64_t Extra = 0;
  int64_t Seek = 0;
};

class TDiffer {
 public:
  TDiffer(const std::string& oldBytes, const std::string& newBytes)
      : old_(Bytes(oldBytes)),
        new_(Bytes(newBytes)),
        oldSize_(oldBytes.size()),
        newSize_(newBytes.size()),
        matcher_(oldBytes) {}

  std::vector<TRecord> Records() {
    int64_t scan = 0;
    int64_t length = 0;
    int64_t pos = 0;
    while (scan < newSize_) {
      int64_t oldScore = 0;
      int64_t scored = scan += length;
      for (; scan < newSize_; ++scan) {
        length = matcher_.Longest(new_ + scan, newSize_ - scan, scan + lastOffset_, pos);
        for (; scored < scan + length; ++scored) oldScore += SameAtLastOffset(scored);
        if ((length == oldScore && length != 0) || length > oldScore + kNewMatchGain) break;
        oldScore -= SameAtLastOffset(scan);
      }
      if (length != oldScore || scan == newSize_) Emit(scan, pos);
    }
    return records_;
  }

 private:
  int SameAtLastOffset(int64_t at) const {
    const int64_t oldAt = at + lastOffset_;
    return oldAt >= 0 && oldAt < oldSize_ && old_[oldAt] == new_[at] ? 1 : 0;
  }

  // Ends the copy running from lastScan_ and starts the next one at the
  // match (scan, pos): the running copy grows forward and the match
  // backward as far as TCopyScore finds it pays.
  void Emit(int64_t scan, int64_t pos) {
    int64_t forward = 0;
    TCopyScore forwardScore;
    for (int64_t i = 0; lastScan_ + i < scan && lastPos_ + i < oldSize_; ++i) {
      if (forwardScore.Add(new_[lastScan_ + i] - old_[lastPos_ + i])) forward = i + 1;
    }
    int64_t backward = 0;
    TCopyScore backwardScore;
    if (scan < newSize_) {
      for (int64_t i = 1; scan >= lastScan_ + i && pos >= i; ++i) {
        if (backwardScore.Add(new_[scan - i] - old_[pos - i])) backward = i;
      }
    }
    const int64_t overlap = lastScan_ + forward - (scan - backward);
    if (overlap > 0) {
      int64_t split = 0;
      for (int64_t i = 0, same = 0, best = 0; i < overlap; ++i) {
        same += new_[lastScan_ + forward - overlap + i] == old_[lastPos_ + forward - overlap + i];
        same -= new_[scan - backward + i] == old_[pos - backward + i];
        if (same > best) {
          best = same;
          split = i + 1;
        }
      }
      forward += split - overlap;
      backward -= split;
    }
    TRecord record;
    record.NewAt = lastScan_;
    record.OldAt = lastPos_;
    record.Copy = forward;
    record.Extra = scan - backward - (lastScan_ + forward);
    // The last record needs no seek; any other moves to the next copy.
    record.Seek = scan < newSize_ ? (pos - backward) - (lastPos_ + forward) : 0;
    Add(record);
    lastScan_ = scan - backward;
    lastPos_ = pos - backward;
    lastOffset_ = pos - scan;
  }

  // A record that writes nothing only moves the old position: its seek
  // joins the one before.
  void Add(const TRecord& record) {
    if (record.Copy == 0 && record.Extra == 0 && !records_.empty()) {
      records_.back().Seek += record.Seek;
      return;
    }
    if (record.Copy == 0 && record.Extra == 0 && record.Seek == 0) return;
    records_.push_back(record);
  }

  const uint8_t* old_;
  const uint8_t* new_;
  const int64_t oldSize_;
  const int64_t newSize_;
  const TMatcher matcher_;
  std::vector<TRecord> records_;
  int64_t lastScan_ = 0;
  int64_t lastPos_ = 0;
  int64_t lastOffset_ = 0;
};

// The copy's pairs: bytes taken unchanged, then one byte added.
void PutCopy(const uint8_t* oldAt, const uint8_t* newAt, int64_t size, std::string& out) {
  uint64_t same = 0;
  for (int64_t i = 0; i < size; ++i) {
    if (oldAt[i] == newAt[i]) {
      ++same;
      continue;
    }
    PutNumber(out, same);
    out += static_cast<char>(newAt[i] - oldAt[i]);
    same = 0;
  }
  if (same) PutNumber(out, same);
}

}  // namespace

// Prefix doubling: suffixes sorted by their first 2^k bytes, k growing until
// every class differs, each round a counting sort of the classes of the
// suffixes 2^k further on. O(n log n).
void PlainSuffixSort(const std::string& bytes, int32_t* suffixes) {
  const int64_t size = static_cast<int64_t>(bytes.size());
  if (size == 0) return;
  const uint8_t* text = Bytes(bytes);
  std::vector<int32_t> rank(text, text + size);
  std::vector<int32_t> next(size);
  std::vector<int64_t> count(std::max<int64_t>(size, 256) + 1);
  for (int64_t i = 0; i < size; ++i) ++count[text[i] + 1];
  for (size_t c = 1; c < count.size(); ++c) count[c] += count[c - 1];
  for (int64_t i = 0; i < size; ++i) suffixes[count[text[i]]++] = static_cast<int32_t>(i);
  int64_t classes = 256;
  for (int64_t step = 1;; step *= 2) {
    // By the second half: the suffixes without one first, then in order.
    int64_t fill = 0;
    for (int64_t i = std::max<int64_t>(size - step, 0); i < size; ++i)
      next[fill++] = static_cast<int32_t>(i);
    for (int64_t j = 0; j < size; ++j) {
      if (suffixes[j] >= step) next[fill++] = static_cast<int32_t>(suffixes[j] - step);
    }
    // Then, stably, by the first half.
    std::fill(count.begin(), count.begin() + classes + 1, 0);
    for (int64_t i = 0; i < size; ++i) ++count[rank[i] + 1];
    for (int64_t c = 1; c <= classes; ++c) count[c] += count[c - 1];
    for (int64_t j = 0; j < size; ++j) suffixes[count[rank[next[j]]]++] = next[j];
    auto second = [&](int64_t at) { return at + step < size ? rank[at + step] : -1; };
    next[suffixes[0]] = 0;
    classes = 1;
    for (int64_t j = 1; j < size; ++j) {
      const int32_t before = suffixes[j - 1];
      const int32_t at = suffixes[j];
      if (rank[before] != rank[at] || second(before) != second(at)) ++classes;
      next[at] = static_cast<int32_t>(classes - 1);
    }
    rank.swap(next);
    if (classes == size) return;
  }
}

void SuffixSort(const std::string& text, int32_t* suffixes) {
#ifdef ORVANE_HAVE_DIVSUFSORT
  if (!text.empty()) divsufsort(Bytes(text), suffixes, static_cast<int32_t>(text.size()));
#else
  PlainSuffixSort(text, suffixes);
#endif
}

std::string MakePatch(const std::string& oldBytes, const std::string& newBytes,
                      std::string& patch) {
  TPatchHeader header;
  header.OldSize = oldBytes.size();
  header.NewSize = newBytes.size();
  TSha256 oldHash = {};
  TSha256 newHash = {};
  if (!BytesSha256(oldBytes, oldHash) || !BytesSha256(newBytes, newHash))
    return "Cannot hash a file to patch";
  std::memcpy(header.OldSha256, oldHash.data(), 32);
  std::memcpy(header.NewSha256, newHash.data(), 32);
  patch.assign(kPatchHeaderSize, '\0');
  WritePatchHeader(header, reinterpret_cast<uint8_t*>(&patch[0]));

  const std::vector<TRecord> records = TDiffer(oldBytes, newBytes).Records();
  for (const TRecord& record : records) {
    PutNumber(patch, static_cast<uint64_t>(record.Copy));
    PutNumber(patch, static_cast<uint64_t>(record.Extra));
    PutNumber(patch, ZigZag(record.Seek));
    PutCopy(Bytes(oldBytes) + record.OldAt, Bytes(newBytes) + record.NewAt, record.Copy, patch);
    patch.append(newBytes, static_cast<size_t>(record.NewAt + record.Copy),
                 static_cast<size_t>(record.Extra));
  }
  return std::string();
}
