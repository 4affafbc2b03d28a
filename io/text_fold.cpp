#include "io/text_fold.h"

#include <algorithm>

#include "io/text_fold_platform.h"

std::string CaseFoldedName(std::string_view name) {
  const bool ascii = std::all_of(name.begin(), name.end(),
                                 [](char byte) { return static_cast<unsigned char>(byte) < 0x80; });
  std::string folded;
  if (!ascii && FoldLetters(name, folded)) return folded;
  folded.assign(name);
  for (char& byte : folded) {
    if (byte >= 'A' && byte <= 'Z') byte = static_cast<char>(byte - 'A' + 'a');
  }
  return folded;
}
