#include "rewrite/search.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Bytes of lower-cased replication scripts, the most frequent first (counted over scripts of
// all three server versions); a byte not listed is rarer than all of them.
constexpr std::string_view kCommonBytes =
    " etasncri,@do1l\n_pmbh\"\tu\rg02()=[]3w4v8f5y&67k9x:/*.'q>j+-";
// The bytes up to "g" each make about one byte in a hundred or more.
constexpr std::size_t kFrequentRanks = kCommonBytes.find('g') + 1;

// Each byte's rank in kCommonBytes, looked up once per needle byte and search.
constexpr std::array<unsigned char, 256> kRarity = [] {
  std::array<unsigned char, 256> rarity{};
  rarity.fill(static_cast<unsigned char>(kCommonBytes.size()));
  for (std::size_t rank = 0; rank < kCommonBytes.size(); ++rank) {
    rarity[static_cast<unsigned char>(kCommonBytes[rank])] = static_cast<unsigned char>(rank);
  }
  return rarity;
}();

std::size_t Rarity(char byte) { return kRarity[static_cast<unsigned char>(byte)]; }

// Offsets of the needle's two rarest bytes; both 0 for a one-byte needle.
struct Anchors {
  std::size_t rarest = 0;
  std::size_t next = 0;
};

Anchors RarestBytes(std::string_view needle) {
  std::size_t rarest = 0;
  for (std::size_t i = 1; i < needle.size(); ++i) {
    if (Rarity(needle[i]) > Rarity(needle[rarest])) rarest = i;
  }
  std::size_t next = rarest == 0 ? std::min<std::size_t>(1, needle.size() - 1) : 0;
  for (std::size_t i = 0; i < needle.size(); ++i) {
    if (i != rarest && Rarity(needle[i]) > Rarity(needle[next])) next = i;
  }
  return {rarest, next};
}

bool MatchesAt(const char* candidate, std::string_view needle) {
  return std::memcmp(candidate, needle.data(), needle.size()) == 0;
}

// memchr, which every C library makes fast, over a rare byte of the needle; the other anchor
// is tested before the needle is compared.
std::size_t FindByRareByte(std::string_view text, std::string_view needle, std::size_t anchor,
                           std::size_t other) {
  const char* const start = text.data();
  const char* at = start + anchor;
  const char* const end = start + (text.size() - needle.size()) + anchor + 1;  // past the last anchor
  while (at < end) {
    at = static_cast<const char*>(std::memchr(at, needle[anchor], static_cast<std::size_t>(end - at)));
    if (at == nullptr) return kNotFound;
    const char* const candidate = at - anchor;
    if (candidate[other] == needle[other] && MatchesAt(candidate, needle)) {
      return static_cast<std::size_t>(candidate - start);
    }
    ++at;
  }
  return kNotFound;
}

constexpr std::size_t kBlock = 64;

// Whether a position of the block holds `x` with `y` at `distance` after it. A fixed count of
// positions, which the compiler turns into vector code also at -O2.
bool BlockHasPair(const unsigned char* block, std::size_t distance, unsigned char x, unsigned char y) {
  unsigned char any = 0;
  for (std::size_t i = 0; i < kBlock; ++i) {
    any |= static_cast<unsigned char>((block[i] == x) & (block[i + distance] == y));
  }
  return any != 0;
}

// For needles of frequent bytes only (CR LF CR LF, "go"), where memchr would stop on every
// line: blocks are tested for both anchors at once, and only a block that has them is looked
// at position by position.
std::size_t FindByBytePair(std::string_view text, std::string_view needle, Anchors anchors) {
  const std::size_t first = std::min(anchors.rarest, anchors.next);
  const std::size_t second = std::max(anchors.rarest, anchors.next);
  const auto* const bytes = reinterpret_cast<const unsigned char*>(text.data());
  const auto x = static_cast<unsigned char>(needle[first]);
  const auto y = static_cast<unsigned char>(needle[second]);
  const std::size_t distance = second - first;
  const std::size_t starts = text.size() - needle.size() + 1;
  auto matchesAt = [&](std::size_t start) {
    return bytes[start + first] == x && bytes[start + second] == y &&
           MatchesAt(text.data() + start, needle);
  };
  std::size_t start = 0;
  for (; start + kBlock <= starts; start += kBlock) {
    if (!BlockHasPair(bytes + start + first, distance, x, y)) continue;
    for (std::size_t i = start; i < start + kBlock; ++i) {
      if (matchesAt(i)) return i;
    }
  }
  for (; start < starts; ++start) {
    if (matchesAt(start)) return start;
  }
  return kNotFound;
}

}  // namespace

std::size_t FindText(std::string_view text, std::string_view needle) {
  if (needle.empty()) return 0;
  if (needle.size() > text.size()) return kNotFound;
  const Anchors anchors = RarestBytes(needle);
  if (needle.size() == 1 || Rarity(needle[anchors.rarest]) >= kFrequentRanks) {
    return FindByRareByte(text, needle, anchors.rarest, anchors.next);
  }
  return FindByBytePair(text, needle, anchors);
}

std::size_t ForwardSearch::In(std::string_view rest) { return In(rest, nullptr); }

std::size_t ForwardSearch::In(std::string_view rest, Finder find) {
  const char* from = rest.data();
  const bool stillAhead = searchedFrom_ != nullptr && from >= searchedFrom_ &&
                          (match_ == nullptr || from <= match_);
  if (!stillAhead) {
    const std::size_t pos = find != nullptr ? find(rest) : FindText(rest, needle_);
    searchedFrom_ = from;
    match_ = pos == kNotFound ? nullptr : from + pos;
  }
  return match_ == nullptr ? kNotFound : static_cast<std::size_t>(match_ - from);
}

std::size_t BackwardSearch::In(std::string_view text, Finder findLast) {
  const char* from = text.data();
  const char* to = text.data() + text.size();
  const bool kept = searchedTo_ == to && searchedFrom_ != nullptr && from >= searchedFrom_;
  if (!kept) {
    const std::size_t pos = findLast(text);
    searchedFrom_ = from;
    searchedTo_ = to;
    match_ = pos == kNotFound ? nullptr : from + pos;
  }
  // A kept match before the new start leaves none: nothing after it matched.
  if (match_ == nullptr || match_ < from) return kNotFound;
  return static_cast<std::size_t>(match_ - from);
}
