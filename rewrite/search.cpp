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

// Whether a position of the block starts with the K bytes of `prefix`. A fixed count of
// positions and bytes, which the compiler turns into vector code also at -O2.
template <std::size_t K>
bool BlockHasPrefix(const unsigned char* block, const unsigned char* prefix) {
  unsigned char any = 0;
  for (std::size_t i = 0; i < kBlock; ++i) {
    unsigned char all = 1;
    for (std::size_t k = 0; k < K; ++k) all &= static_cast<unsigned char>(block[i + k] == prefix[k]);
    any |= all;
  }
  return any != 0;
}

// For needles of frequent bytes only (CR LF CR LF, "go", "\nend"), where memchr would stop on
// every line: blocks are tested for the needle's first K bytes at every position at once, and
// only a block that has them is looked at position by position.
template <std::size_t K>
std::size_t FindByPrefix(std::string_view text, std::string_view needle) {
  const auto* const bytes = reinterpret_cast<const unsigned char*>(text.data());
  const auto* const prefix = reinterpret_cast<const unsigned char*>(needle.data());
  const std::size_t starts = text.size() - needle.size() + 1;
  auto matchesAt = [&](std::size_t start) {
    for (std::size_t k = 0; k < K; ++k) {
      if (bytes[start + k] != prefix[k]) return false;
    }
    return MatchesAt(text.data() + start, needle);
  };
  std::size_t start = 0;
  for (; start + kBlock <= starts; start += kBlock) {
    if (!BlockHasPrefix<K>(bytes + start, prefix)) continue;
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
  switch (needle.size()) {
    case 2:
      return FindByPrefix<2>(text, needle);
    case 3:
      return FindByPrefix<3>(text, needle);
    default:
      return FindByPrefix<4>(text, needle);
  }
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
