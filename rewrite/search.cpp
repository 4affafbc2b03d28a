#include "rewrite/search.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
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

bool MatchesAt(const char* candidate, std::string_view needle) {
  for (std::size_t i = 0; i < needle.size(); ++i) {
    if (LowerCaseByte(candidate[i]) != needle[i]) return false;
  }
  return true;
}

// memchr, which every C library makes fast, over a rare byte of the needle (not a letter);
// the check byte is tested before the needle is compared.
std::size_t FindByRareByte(std::string_view text, std::string_view needle, std::size_t anchor,
                           std::size_t check) {
  const char* const start = text.data();
  const char* at = start + anchor;
  const char* const end =
      start + (text.size() - needle.size()) + anchor + 1;  // past the last anchor
  while (at < end) {
    at = static_cast<const char*>(
        std::memchr(at, needle[anchor], static_cast<std::size_t>(end - at)));
    if (at == nullptr) return kNotFound;
    const char* const candidate = at - anchor;
    if (LowerCaseByte(candidate[check]) == needle[check] && MatchesAt(candidate, needle)) {
      return static_cast<std::size_t>(candidate - start);
    }
    ++at;
  }
  return kNotFound;
}

// The bytes of a needle that a window search tests first, at their offsets in the needle.
struct Window {
  const std::size_t* offsets;
  const unsigned char* bytes;
  const unsigned char* folds;  // 0x20 for a letter: (byte | fold) matches both cases
  const Bytes16* byteLanes;    // each byte in every lane
  const Bytes16* foldLanes;
};

template <std::size_t K>
bool HasWindowAt(const unsigned char* at, const Window& window) {
  for (std::size_t k = 0; k < K; ++k) {
    if ((at[window.offsets[k]] | window.folds[k]) != window.bytes[k]) return false;
  }
  return true;
}

// The candidate positions tested together: four parts of sixteen.
constexpr std::size_t kBlockBytes = 64;

// The lanes as two words: lane i in byte i % 8 of word i / 8, counted from the low end.
struct LaneWords {
  explicit LaneWords(Bytes16 lanes) {
    std::memcpy(words, &lanes, sizeof words);
    if constexpr (std::endian::native == std::endian::big) {
      for (std::uint64_t& word : words) word = __builtin_bswap64(word);
    }
  }
  bool Any() const { return (words[0] | words[1]) != 0; }
  std::uint64_t words[2];
};

// The window of a needle as lanes: each of its K bytes in every lane, with its fold.
template <std::size_t K>
struct WindowLanes {
  explicit WindowLanes(const Window& window)
      : offsets(window.offsets), bytes(window.byteLanes), folds(window.foldLanes) {}
  // All bits of lane i set where the window stands for a needle at at[i].
  Bytes16 At(const unsigned char* at) const {
    Bytes16 all = (Load16(at + offsets[0]) | folds[0]) == bytes[0];
    for (std::size_t k = 1; k < K; ++k) all &= (Load16(at + offsets[k]) | folds[k]) == bytes[k];
    return all;
  }
  const std::size_t* offsets;
  const Bytes16* bytes;
  const Bytes16* folds;
};

// For needles of letters and frequent bytes (CR LF CR LF, "go", "\nend"), where memchr would
// stop on every line or cannot look for both cases: sixteen candidate positions at a time are
// tested for the needle's window of K bytes, four such parts in a row, and only the positions
// that have the window are compared.
template <std::size_t K>
std::size_t FindByWindow(std::string_view text, std::string_view needle, const Window& window) {
  const auto* const windows = reinterpret_cast<const unsigned char*>(text.data());  // by candidate
  const std::size_t starts = text.size() - needle.size() + 1;
  constexpr std::size_t kPart = sizeof(Bytes16);
  // The first candidate of the part at `base` whose lane is set, from `from` on, where the
  // whole needle stands.
  auto firstMatch = [&](Bytes16 hits, std::size_t base, std::size_t from) {
    if (!AnyLane(hits)) return kNotFound;
    const LaneWords lanes(hits);
    for (std::size_t word = 0; word < 2; ++word) {
      for (std::uint64_t bits = lanes.words[word]; bits != 0;) {
        const int bit = std::countr_zero(bits);
        bits &= ~(std::uint64_t{0xff} << (bit & ~7));
        const std::size_t candidate = base + word * 8 + static_cast<std::size_t>(bit / 8);
        if (candidate >= from && MatchesAt(text.data() + candidate, needle)) return candidate;
      }
    }
    return kNotFound;
  };
  const WindowLanes<K> lanes(window);
  std::size_t start = 0;
  for (; start + kBlockBytes <= starts; start += kBlockBytes) {
    Bytes16 hits[kBlockBytes / kPart];
    Bytes16 any{};
    for (std::size_t part = 0; part < std::size(hits); ++part) {
      hits[part] = lanes.At(windows + start + part * kPart);
      any |= hits[part];
    }
    if (!LaneWords(any).Any()) continue;
    for (std::size_t part = 0; part < std::size(hits); ++part) {
      const std::size_t found = firstMatch(hits[part], start + part * kPart, start);
      if (found != kNotFound) return found;
    }
  }
  for (; start + kPart <= starts; start += kPart) {
    const std::size_t found = firstMatch(lanes.At(windows + start), start, start);
    if (found != kNotFound) return found;
  }
  if (start == starts) return kNotFound;
  // Fewer positions than a part are left: the part that ends with them is tested again, and a
  // short text is looked at position by position; nothing past the text is read.
  if (starts >= kPart) return firstMatch(lanes.At(windows + starts - kPart), starts - kPart, start);
  for (; start < starts; ++start) {
    if (HasWindowAt<K>(windows + start, window) && MatchesAt(text.data() + start, needle))
      return start;
  }
  return kNotFound;
}

}  // namespace

std::string LowerCased(std::string_view text) {
  std::string lower(text.size(), '\0');
  CopyLowerCased(text, lower.data());
  return lower;
}

void CopyLowerCased(std::string_view text, char* to) {
  const auto* const from = reinterpret_cast<const unsigned char*>(text.data());
  std::size_t i = 0;
  for (; i + sizeof(Bytes16) <= text.size(); i += sizeof(Bytes16)) {
    const Bytes16 bytes = Load16(from + i);
    const auto upper =
        reinterpret_cast<Bytes16>(static_cast<Bytes16>(bytes - 'A') < 26);  // 0xff lanes
    const Bytes16 lower = bytes + (upper & ('a' - 'A'));
    std::memcpy(to + i, &lower, sizeof lower);
  }
  for (; i < text.size(); ++i) to[i] = LowerCaseByte(text[i]);
}

Needle::Needle(std::string_view text, std::size_t windowAt, std::size_t windowBytes) : text_(text) {
  // memchr over the rarest byte that is not a letter, when it is rare enough; otherwise blocks
  // are tested for the window.
  rareByte_ = kNotFound;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (!IsLetter(text[i]) && (rareByte_ == kNotFound || Rarity(text[i]) > Rarity(text[rareByte_])))
      rareByte_ = i;
  }
  if (rareByte_ != kNotFound && text.size() > 1 && Rarity(text[rareByte_]) < kFrequentRanks)
    rareByte_ = kNotFound;
  checkByte_ = rareByte_ == 0 && text.size() > 1 ? 1 : 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (i != rareByte_ && Rarity(text[i]) > Rarity(text[checkByte_])) checkByte_ = i;
  }
  windowAt = std::min(windowAt, text.size());
  windowBytes_ = std::min({windowBytes, kWindowBytes, text.size() - windowAt});
  for (std::size_t k = 0; k < windowBytes_; ++k) windowOffsets_[k] = windowAt + k;
  FillWindow();
}

Needle::Needle(std::string_view text) : Needle(text, 0, 0) {
  // The two rarest bytes in scripts, the first of equals, tested at their offsets.
  windowBytes_ = std::min<std::size_t>(2, text.size());
  for (std::size_t k = 0; k < windowBytes_; ++k) {
    std::size_t rarest = kNotFound;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (k == 1 && i == windowOffsets_[0]) continue;
      if (rarest == kNotFound || Rarity(text[i]) > Rarity(text[rarest])) rarest = i;
    }
    windowOffsets_[k] = rarest;
  }
  FillWindow();
}

void Needle::FillWindow() {
  for (std::size_t k = 0; k < windowBytes_; ++k) {
    window_[k] = static_cast<unsigned char>(text_[windowOffsets_[k]]);
    fold_[k] = IsLetter(text_[windowOffsets_[k]]) ? 0x20 : 0;
    windowLanes_[k] = Bytes16{} + window_[k];
    foldLanes_[k] = Bytes16{} + fold_[k];
  }
}

std::size_t FindText(std::string_view text, const Needle& needle) {
  const std::string_view bytes = needle.text_;
  if (bytes.empty()) return 0;
  if (bytes.size() > text.size()) return kNotFound;
  if (needle.rareByte_ != kNotFound)
    return FindByRareByte(text, bytes, needle.rareByte_, needle.checkByte_);
  const Window window{needle.windowOffsets_, needle.window_, needle.fold_, needle.windowLanes_,
                      needle.foldLanes_};
  switch (needle.windowBytes_) {
    case 1:
      return FindByWindow<1>(text, bytes, window);
    case 2:
      return FindByWindow<2>(text, bytes, window);
    case 3:
      return FindByWindow<3>(text, bytes, window);
    default:
      return FindByWindow<4>(text, bytes, window);
  }
}

std::size_t FindBefore(std::string_view text, const Needle& needle, std::size_t limit) {
  const std::size_t reach = limit + needle.Text().size() - 1;  // past the last byte one may take
  const std::size_t found = FindText(text.substr(0, reach < limit ? text.size() : reach), needle);
  return found < limit ? found : kNotFound;
}

std::size_t ForwardSearch::In(std::string_view rest) {
  const char* from = rest.data();
  const bool stillAhead =
      searchedFrom_ != nullptr && from >= searchedFrom_ && (match_ == nullptr || from <= match_);
  if (!stillAhead) {
    const std::size_t pos = FindText(rest, needle_);
    searchedFrom_ = from;
    match_ = pos == kNotFound ? nullptr : from + pos;
  }
  return match_ == nullptr ? kNotFound : static_cast<std::size_t>(match_ - from);
}
