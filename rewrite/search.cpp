#include "rewrite/search.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

// Bytes of lower-cased replication scripts, the most frequent first (counted over scripts of
// all three server versions); a byte not listed is rarer than all of them. Only the ranks of
// bytes other than letters are used: a letter stands in the script in two cases.
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

bool IsLetter(char byte) { return byte >= 'a' && byte <= 'z'; }

// Offsets of the needle's rarest byte other than a letter (kNotFound when it has none), and of
// the rarest of its other bytes (the same offset for a one-byte needle).
struct Anchors {
  std::size_t rarest = kNotFound;
  std::size_t next = 0;
};

Anchors RarestBytes(std::string_view needle) {
  Anchors anchors;
  for (std::size_t i = 0; i < needle.size(); ++i) {
    if (IsLetter(needle[i])) continue;
    if (anchors.rarest == kNotFound || Rarity(needle[i]) > Rarity(needle[anchors.rarest])) anchors.rarest = i;
  }
  for (std::size_t i = 0; i < needle.size(); ++i) {
    if (i == anchors.rarest) continue;
    if (anchors.next == anchors.rarest || Rarity(needle[i]) > Rarity(needle[anchors.next])) anchors.next = i;
  }
  return anchors;
}

bool MatchesAt(const char* candidate, std::string_view needle) {
  for (std::size_t i = 0; i < needle.size(); ++i) {
    if (LowerCaseByte(candidate[i]) != needle[i]) return false;
  }
  return true;
}

// memchr, which every C library makes fast, over a rare byte of the needle (not a letter);
// the other anchor is tested before the needle is compared.
std::size_t FindByRareByte(std::string_view text, std::string_view needle, std::size_t anchor,
                           std::size_t other) {
  const char* const start = text.data();
  const char* at = start + anchor;
  const char* const end = start + (text.size() - needle.size()) + anchor + 1;  // past the last anchor
  while (at < end) {
    at = static_cast<const char*>(std::memchr(at, needle[anchor], static_cast<std::size_t>(end - at)));
    if (at == nullptr) return kNotFound;
    const char* const candidate = at - anchor;
    if (LowerCaseByte(candidate[other]) == needle[other] && MatchesAt(candidate, needle)) {
      return static_cast<std::size_t>(candidate - start);
    }
    ++at;
  }
  return kNotFound;
}

constexpr std::size_t kBlock = 64;

// The first K bytes of a needle, and for each the bit that folds an upper-case letter of the
// script onto it: (byte | fold) == prefix for both cases of a letter and only for the byte
// itself otherwise.
template <std::size_t K>
struct Prefix {
  explicit Prefix(std::string_view needle) {
    for (std::size_t k = 0; k < K; ++k) {
      bytes[k] = static_cast<unsigned char>(needle[k]);
      fold[k] = IsLetter(needle[k]) ? 0x20 : 0;
    }
  }
  bool At(const unsigned char* at) const {
    for (std::size_t k = 0; k < K; ++k) {
      if ((at[k] | fold[k]) != bytes[k]) return false;
    }
    return true;
  }
  unsigned char bytes[K];
  unsigned char fold[K];
};

// Whether a position of the block starts with the prefix. A fixed count of positions and
// bytes, which the compiler turns into vector code also at -O2.
template <std::size_t K>
bool BlockHasPrefix(const unsigned char* block, const Prefix<K>& prefix) {
  unsigned char any = 0;
  for (std::size_t i = 0; i < kBlock; ++i) {
    unsigned char all = 1;
    for (std::size_t k = 0; k < K; ++k) {
      all &= static_cast<unsigned char>((block[i + k] | prefix.fold[k]) == prefix.bytes[k]);
    }
    any |= all;
  }
  return any != 0;
}

// For needles of letters and frequent bytes (CR LF CR LF, "go", "\nend"), where memchr would
// stop on every line or cannot look for both cases: blocks are tested for the needle's first K
// bytes at every position at once, and only a block that has them is looked at position by
// position.
template <std::size_t K>
std::size_t FindByPrefix(std::string_view text, std::string_view needle) {
  const auto* const bytes = reinterpret_cast<const unsigned char*>(text.data());
  const Prefix<K> prefix(needle);
  const std::size_t starts = text.size() - needle.size() + 1;
  auto matchesAt = [&](std::size_t start) { return prefix.At(bytes + start) && MatchesAt(text.data() + start, needle); };
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

std::string LowerCased(std::string_view text) {
  std::string lower(text);
  for (char& byte : lower) byte = LowerCaseByte(byte);
  return lower;
}

bool StartsWithLowerCase(std::string_view text, std::string_view lowerCase) {
  return text.size() >= lowerCase.size() && MatchesAt(text.data(), lowerCase);
}

bool EqualsLowerCase(std::string_view text, std::string_view lowerCase) {
  return text.size() == lowerCase.size() && MatchesAt(text.data(), lowerCase);
}

std::size_t FindText(std::string_view text, std::string_view needle) {
  if (needle.empty()) return 0;
  if (needle.size() > text.size()) return kNotFound;
  const Anchors anchors = RarestBytes(needle);
  if (anchors.rarest != kNotFound && (needle.size() == 1 || Rarity(needle[anchors.rarest]) >= kFrequentRanks)) {
    return FindByRareByte(text, needle, anchors.rarest, anchors.next);
  }
  switch (needle.size()) {
    case 1:
      return FindByPrefix<1>(text, needle);
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
