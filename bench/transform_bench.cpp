// Times the script transformer from file to file against two programs every user knows, on
// the same generated script in the same run: `cp` of the file, and `tr A-Z a-z`, a streaming
// lower-case pass. Each run starts cp, tr and the transform in this order, each in a child
// process of its own, and removes the output after each; the median of the runs is reported,
// with the transform's peak resident memory and the goals it is held to.
//
//   transform_bench [--runs N] [--sizes 1,16,256] [--dir DIR] [--keep]
#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <unistd.h>

#include "bench/child_run.h"
#include "bench/script_generator.h"
#include "rewrite/script_file.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kLargeMiB = 256;  // the goals' large script
constexpr int kSmallMiB = 16;   // the goals' small script, and the size of the one-line one

struct Options {
  int runs = 5;
  std::vector<int> sizesMiB = {1, kSmallMiB, kLargeMiB};
  std::filesystem::path dir;
  bool keep = false;
};

struct Case {
  std::string label;
  ScriptOptions script;
};

// The three measured in each run, in the order they run.
enum Tool { kCp, kTr, kTransform, kToolCount };

struct Result {
  std::string label;
  GeneratedScript script;
  std::array<double, kToolCount> seconds{};  // median of the runs, by Tool
  double peakMiB = 0;      // the transform's peak resident memory, highest of the runs
  std::size_t framed = 0;  // procedures that got a drop preamble
  bool ok = true;
};

std::string RealisticLabel(int mib, bool crLf) {
  return std::string("realistic, ") + (crLf ? "CR LF, " : "LF, ") + std::to_string(mib) + " MiB";
}

std::string OneLineLabel() { return "one line, " + std::to_string(kSmallMiB) + " MiB"; }

std::vector<Case> Cases(const Options& options) {
  std::vector<Case> cases;
  for (int size : options.sizesMiB) {
    cases.push_back({RealisticLabel(size, true),
                     {.targetBytes = static_cast<std::uint64_t>(size) << 20, .crLf = true}});
  }
  const std::uint64_t small = std::uint64_t{kSmallMiB} << 20;
  cases.push_back({RealisticLabel(kSmallMiB, false), {.targetBytes = small, .crLf = false}});
  cases.push_back({OneLineLabel(), {.targetBytes = small, .crLf = false, .oneLine = true}});
  return cases;
}

// How many procedures the transformer framed: the drop preambles in its output, counted
// without holding the file in memory.
std::size_t CountFramed(const std::string& path) {
  constexpr std::string_view kPreamble = "DROP PROCEDURE";
  std::ifstream in(path, std::ios::binary);
  std::string chunk(1 << 20, '\0');
  std::string carry;
  std::size_t count = 0;
  while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) || in.gcount() > 0) {
    const std::string text = carry + chunk.substr(0, static_cast<std::size_t>(in.gcount()));
    for (std::size_t at = text.find(kPreamble); at != std::string::npos;
         at = text.find(kPreamble, at + 1))
      ++count;
    carry = text.substr(text.size() - std::min(text.size(), kPreamble.size() - 1));
  }
  return count;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

void Remove(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

// One run: cp, tr and the transform of `input`, each writing `output`, which is removed after
// cp and tr; the transform's output is left for the caller to look at.
std::array<ChildRun, kToolCount> RunOnce(const std::string& input, const std::string& output,
                                         const NoIdentityTableSet& tables) {
  std::array<ChildRun, kToolCount> runs;
  runs[kCp] = RunProgram({"/bin/cp", input, output});
  Remove(output);
  runs[kTr] = RunProgram({"/usr/bin/tr", "A-Z", "a-z"}, input, output);
  Remove(output);
  runs[kTransform] = RunInChild([&] {
    SkippedProcedures skipped;
    return TransformScript(input, tables, output, skipped).ok();
  });
  return runs;
}

Result Measure(const Case& c, const Options& options) {
  Result result;
  result.label = c.label;
  const std::string input = (options.dir / "input.sql").string();
  const std::string output = (options.dir / "output.sql").string();
  {
    std::ofstream file(input, std::ios::binary | std::ios::trunc);
    result.script = WriteReplicationScript(c.script, file);
    result.ok = file.flush().good();
  }
  std::array<std::vector<double>, kToolCount> seconds;
  for (int run = 0; run < options.runs; ++run) {
    const std::array<ChildRun, kToolCount> runs =
        RunOnce(input, output, result.script.noIdentityTables);
    for (int tool = 0; tool < kToolCount; ++tool) {
      result.ok = result.ok && runs[tool].ok;
      seconds[tool].push_back(runs[tool].seconds);
    }
    result.peakMiB = std::max(result.peakMiB, runs[kTransform].peakMiB);
    if (run + 1 == options.runs) result.framed = CountFramed(output);
    Remove(output);
  }
  for (int tool = 0; tool < kToolCount; ++tool) result.seconds[tool] = Median(seconds[tool]);
  return result;
}

double InputMiB(const Result& r) { return static_cast<double>(r.script.bytes) / kMiB; }
double Transform(const Result& r) { return r.seconds[kTransform]; }

void PrintTable(const std::vector<Result>& results) {
  std::printf(
      "| script | MiB | procedures | framed | cp s | tr s | transform s | transform MiB/s "
      "| transform / tr | transform / cp | peak RSS MiB |\n");
  std::printf("|---|--:|--:|--:|--:|--:|--:|--:|--:|--:|--:|\n");
  for (const Result& r : results) {
    std::printf("| %s%s | %.1f | %zu | %zu | %.3f | %.3f | %.3f | %.0f | %.2f | %.2f | %.0f |\n",
                r.label.c_str(), r.ok ? "" : " (FAILED)", InputMiB(r), r.script.procedures,
                r.framed, r.seconds[kCp], r.seconds[kTr], Transform(r), InputMiB(r) / Transform(r),
                Transform(r) / r.seconds[kTr], Transform(r) / r.seconds[kCp], r.peakMiB);
  }
}

const Result* Find(const std::vector<Result>& results, const std::string& label) {
  for (const Result& r : results) {
    if (r.label == label) return &r;
  }
  return nullptr;
}

void PrintGoal(const std::string& what, std::optional<double> value, double limit) {
  if (!value) {
    std::printf("- %s: not measured (at most %.2f)\n", what.c_str(), limit);
    return;
  }
  std::printf("- %s: %.2f (at most %.2f) %s\n", what.c_str(), *value, limit,
              *value <= limit ? "met" : "MISSED");
}

void PrintGoals(const std::vector<Result>& results) {
  const Result* large = Find(results, RealisticLabel(kLargeMiB, true));
  const Result* small = Find(results, RealisticLabel(kSmallMiB, true));
  const Result* smallLf = Find(results, RealisticLabel(kSmallMiB, false));
  const Result* oneLine = Find(results, OneLineLabel());
  const std::string largeName = std::to_string(kLargeMiB) + " MiB";
  const std::string smallName = std::to_string(kSmallMiB) + " MiB";
  auto perMiB = [](const Result* r) { return Transform(*r) / InputMiB(*r); };
  double worstExcess = 0;
  for (const Result& r : results) worstExcess = std::max(worstExcess, r.peakMiB - InputMiB(r));

  std::printf("\nGoals:\n");
  PrintGoal("transform over tr at " + largeName + ", median over median",
            large ? std::optional(Transform(*large) / large->seconds[kTr]) : std::nullopt, 1.5);
  PrintGoal("transform time per MiB at " + largeName + " over that at " + smallName,
            large && small ? std::optional(perMiB(large) / perMiB(small)) : std::nullopt, 1.2);
  PrintGoal("transform peak RSS less the input size, MiB, worst of the scripts", worstExcess, 64);
  PrintGoal(
      "one-line script over the realistic LF script of " + smallName,
      oneLine && smallLf ? std::optional(Transform(*oneLine) / Transform(*smallLf)) : std::nullopt,
      1.5);
}

// A whole number of at least 1 from `text`, or 0.
int Positive(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size() && value > 0 ? value : 0;
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--runs" && hasValue) {
      options.runs = Positive(argv[++i]);
      if (options.runs == 0) return false;
    } else if (arg == "--sizes" && hasValue) {
      options.sizesMiB.clear();
      std::stringstream list(argv[++i]);
      for (std::string item; std::getline(list, item, ',');) {
        if (Positive(item) == 0) return false;
        options.sizesMiB.push_back(Positive(item));
      }
      if (options.sizesMiB.empty()) return false;
    } else if (arg == "--dir" && hasValue) {
      options.dir = argv[++i];
    } else if (arg == "--keep") {
      options.keep = true;
    } else {
      return false;
    }
  }
  return true;
}

void PrintHeading(const Options& options) {
  std::printf(
      "Median of %d runs. Each run copies the script with cp, lower-cases it with\n"
      "tr A-Z a-z and transforms it, in this order, each in a child process. cp and tr\n"
      "are timed from their start to their end; the transform is TransformScript's own\n"
      "time, file to file, with no program start, connection or catalogue query in it.\n"
      "Peak RSS is the transform's child process, highest of the runs.\n\n",
      options.runs);
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: transform_bench [--runs N] [--sizes 1,16,256] [--dir DIR] [--keep]\n");
    return 2;
  }
  const bool ownDir = options.dir.empty();
  if (ownDir) {
    options.dir =
        std::filesystem::temp_directory_path() / ("qtvdbadmin-bench-" + std::to_string(getpid()));
  }
  std::error_code error;
  std::filesystem::create_directories(options.dir, error);
  if (error) {
    std::fprintf(stderr, "transform_bench: cannot create %s: %s\n", options.dir.c_str(),
                 error.message().c_str());
    return 1;
  }

  std::vector<Result> results;
  for (const Case& c : Cases(options)) {
    std::fprintf(stderr, "measuring %s ...\n", c.label.c_str());
    results.push_back(Measure(c, options));
  }
  if (!options.keep) Remove((options.dir / "input.sql").string());
  if (ownDir && !options.keep) Remove(options.dir.string());

  PrintHeading(options);
  PrintTable(results);
  PrintGoals(results);
  const bool ok = std::all_of(results.begin(), results.end(), [](const Result& r) { return r.ok; });
  return ok ? 0 : 1;
}
