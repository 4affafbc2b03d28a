// Times the script transformer from file to file against a plain copy of the same bytes
// (read whole, write whole), the physical limit of a program that reads its input whole and
// writes its output; and measures the transformer's peak resident memory. Each transform and
// each copy runs in a child process of its own; the median of the runs is reported.
//
//   transform_bench [--runs N] [--sizes 1,16,256] [--dir DIR] [--keep]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <unistd.h>

#include "bench/child_run.h"
#include "bench/script_generator.h"
#include "rewrite/script_file.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

struct Options {
  int runs = 5;
  std::vector<int> sizesMiB = {1, 16, 256};
  int oneLineMiB = 16;
  std::filesystem::path dir;
  bool keep = false;
};

struct Case {
  std::string label;
  ScriptOptions script;
};

struct Result {
  std::string label;
  GeneratedScript script;
  double copySeconds = 0;
  double transformSeconds = 0;
  double pairedRatio = 0;  // median over the runs of transform time / copy time of the same run
  double peakMiB = 0;
  double overBaselineMiB = 0;
  std::size_t framed = 0;  // procedures that got a drop preamble
  bool ok = true;
};

// Read whole, write whole: what any program that holds its input in memory must do. The
// buffer is left uninitialised, as the transformer leaves its own.
bool CopyWhole(const std::string& from, const std::string& to) {
  std::ifstream in(from, std::ios::binary);
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (!in || size < 0) return false;
  const std::unique_ptr<char[]> bytes(new char[static_cast<std::size_t>(size)]);
  in.read(bytes.get(), size);
  std::ofstream out(to, std::ios::binary | std::ios::trunc);
  out.write(bytes.get(), size);
  out.close();
  return in.gcount() == size && !out.fail();
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
    for (std::size_t at = text.find(kPreamble); at != std::string::npos; at = text.find(kPreamble, at + 1)) ++count;
    carry = text.substr(text.size() - std::min(text.size(), kPreamble.size() - 1));
  }
  return count;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

Result Measure(const Case& c, const Options& options, double baselineMiB) {
  Result result;
  result.label = c.label;
  const std::string input = (options.dir / "input.sql").string();
  const std::string output = (options.dir / "output.sql").string();
  {
    std::ofstream file(input, std::ios::binary | std::ios::trunc);
    result.script = WriteReplicationScript(c.script, file);
  }
  std::vector<double> copies, transforms, ratios, peaks;
  for (int run = 0; run < options.runs; ++run) {
    std::filesystem::remove(output);
    const ChildRun copy = RunInChild([&] { return CopyWhole(input, output); });
    std::filesystem::remove(output);
    const NoIdentityTableSet& tables = result.script.noIdentityTables;
    const ChildRun transform = RunInChild([&] { return TransformScript(input, tables, output) == TransformOutcome::kDone; });
    result.ok = result.ok && copy.ok && transform.ok;
    copies.push_back(copy.seconds);
    transforms.push_back(transform.seconds);
    ratios.push_back(transform.seconds / copy.seconds);
    peaks.push_back(transform.peakMiB);
  }
  result.framed = CountFramed(output);
  std::filesystem::remove(output);
  result.copySeconds = Median(copies);
  result.transformSeconds = Median(transforms);
  result.pairedRatio = Median(ratios);
  result.peakMiB = Median(peaks);
  result.overBaselineMiB = result.peakMiB - baselineMiB;
  return result;
}

double InputMiB(const Result& r) { return static_cast<double>(r.script.bytes) / kMiB; }
double SecondsPerMiB(const Result& r) { return r.transformSeconds / InputMiB(r); }

void PrintTable(const std::vector<Result>& results) {
  std::printf("| script | MiB | procedures | framed | copy MiB/s | transform MiB/s | transform / copy "
              "| peak RSS MiB | over baseline MiB |\n");
  std::printf("|---|--:|--:|--:|--:|--:|--:|--:|--:|\n");
  for (const Result& r : results) {
    const double mib = InputMiB(r);
    std::printf("| %s%s | %.1f | %zu | %zu | %.0f | %.0f | %.2f | %.0f | %.0f |\n", r.label.c_str(),
                r.ok ? "" : " (FAILED)", mib, r.script.procedures, r.framed, mib / r.copySeconds,
                mib / r.transformSeconds, r.pairedRatio, r.peakMiB,
                r.overBaselineMiB);
  }
}

const Result* Find(const std::vector<Result>& results, const std::string& label) {
  for (const Result& r : results) {
    if (r.label == label) return &r;
  }
  return nullptr;
}

void Goal(const char* what, double value, double limit) {
  std::printf("- %s: %.2f (at most %.2f) %s\n", what, value, limit, value <= limit ? "met" : "MISSED");
}

void PrintGoals(const std::vector<Result>& results, const Options& options) {
  const int largest = *std::max_element(options.sizesMiB.begin(), options.sizesMiB.end());
  const Result* big = Find(results, "realistic, CR LF, " + std::to_string(largest) + " MiB");
  const Result* mid = Find(results, "realistic, CR LF, 16 MiB");
  const Result* oneLine = Find(results, "one line, " + std::to_string(options.oneLineMiB) + " MiB");
  const Result* sameSize = Find(results, "realistic, CR LF, " + std::to_string(options.oneLineMiB) + " MiB");
  std::printf("\nGoals:\n");
  if (big) {
    Goal(("transform / copy at " + std::to_string(largest) + " MiB").c_str(), big->pairedRatio, 3.0);
    Goal(("peak RSS of the " + std::to_string(largest) + " MiB transform, MiB").c_str(), big->peakMiB,
         InputMiB(*big) + 64);
  }
  if (big && mid && big != mid) {
    Goal(("time per MiB, " + std::to_string(largest) + " MiB over 16 MiB").c_str(),
         SecondsPerMiB(*big) / SecondsPerMiB(*mid), 1.5);
  }
  if (oneLine && sameSize) {
    Goal("one-line script over realistic script of the same size", 
         oneLine->transformSeconds / sameSize->transformSeconds, 3.0);
  }
}

bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--runs" && hasValue) {
      options.runs = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--sizes" && hasValue) {
      options.sizesMiB.clear();
      std::stringstream list(argv[++i]);
      for (std::string item; std::getline(list, item, ',');) options.sizesMiB.push_back(std::max(1, std::atoi(item.c_str())));
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

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: transform_bench [--runs N] [--sizes 1,16,256] [--dir DIR] [--keep]\n");
    return 2;
  }
  const bool ownDir = options.dir.empty();
  if (ownDir) {
    options.dir = std::filesystem::temp_directory_path() / ("qtvdbadmin-bench-" + std::to_string(getpid()));
  }
  std::filesystem::create_directories(options.dir);

  std::vector<Case> cases;
  for (int size : options.sizesMiB) {
    cases.push_back({"realistic, CR LF, " + std::to_string(size) + " MiB",
                     {.targetBytes = static_cast<std::uint64_t>(size) * (1 << 20), .crLf = true}});
  }
  const auto lf = static_cast<std::uint64_t>(options.oneLineMiB) << 20;
  cases.push_back({"realistic, LF, " + std::to_string(options.oneLineMiB) + " MiB",
                   {.targetBytes = lf, .crLf = false}});
  cases.push_back({"one line, " + std::to_string(options.oneLineMiB) + " MiB",
                   {.targetBytes = lf, .crLf = false, .oneLine = true}});

  const ChildRun baseline = RunInChild([] { return true; });
  std::vector<Result> results;
  for (const Case& c : cases) {
    std::fprintf(stderr, "measuring %s ...\n", c.label.c_str());
    results.push_back(Measure(c, options, baseline.peakMiB));
  }
  if (!options.keep) std::filesystem::remove(options.dir / "input.sql");
  if (ownDir && !options.keep) std::filesystem::remove(options.dir);

  std::printf("Median of %d runs, each a copy then a transform of the same file; transform / copy is\n"
              "the median of the runs' own ratios. Peak RSS is the transform's child process\n"
              "(baseline %.1f MiB).\n\n",
              options.runs, baseline.peakMiB);
  PrintTable(results);
  PrintGoals(results, options);
  bool ok = true;
  for (const Result& r : results) ok = ok && r.ok;
  return ok ? 0 : 1;
}
