// WildcardMatch on the inputs the tool meets (user names, database paths) beside glibc
// fnmatch with FNM_CASEFOLD on the same inputs, the classic backtracking traps, and a search
// for the slowest pattern and text of up to 255 characters each.
//
// Before the benchmarks run, main times a family of candidate shapes (and a random
// hill-climb from the slowest of them), prints the slowest it found to stderr, and registers
// the slowest few as BM_SearchWorst/... so that they are measured like every other case.
// --worst_search_ms=N sets the hill-climb's budget (default 3000; 0 skips it).
#include <benchmark/benchmark.h>
#include <fnmatch.h>
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "match/wildcard.h"

namespace {

struct Case {
  const char* name;
  const char* pattern;
  const char* text;
};

// What the tool matches: user names against the include and exclude patterns (defaults "*"
// and empty), database paths and titles against the database pattern.
const Case kTypical[] = {
    {"star/user", "*", "CN=John Smith/OU=Sales/O=Acme"},
    {"empty/user", "", "CN=John Smith/OU=Sales/O=Acme"},
    {"*John*/hit", "*John*", "CN=John Smith/OU=Sales/O=Acme"},
    {"*John*/folded_hit", "*John*", "cn=john smith/ou=sales/o=acme"},
    {"*John*/miss", "*John*", "CN=Jane Doe/OU=Marketing/O=Acme"},
    {"CN=*/O=Acme/hit", "CN=*/O=Acme", "CN=John Smith/OU=Sales/O=Acme"},
    {"CN=*/O=Acme/miss_end", "CN=*/O=Acme", "CN=Jane Doe/OU=Marketing/O=Globex"},
    {"CN=*/O=Acme/miss_start", "CN=*/O=Acme", "OU=Sales/O=Acme"},
    {"mail/*.db/hit", "mail/*.db", "mail/jsmith.db"},
    {"mail/*.db/folded_hit", "mail/*.db", "MAIL/JSmith.DB"},
    {"mail/*.db/miss", "mail/*.db", "apps/sales_pipeline_12.db"},
    {"mail/*.db/title", "mail/*.db", "Mail - John Smith"},
    // Names with characters of more than one byte, compared character by character.
    {"*J?rgen*/utf8_hit", "*J?rgen*", "CN=J\xc3\xbcrgen M\xc3\xbcller/OU=Sales/O=Acme"},
    {"*Smith*/utf8_miss", "*Smith*", "CN=J\xc3\xbcrgen M\xc3\xbcller/OU=Sales/O=Acme"},
};

// A run of n copies of `piece`.
std::string Repeat(const std::string& piece, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += piece;
  return out;
}

// The pieces one after another (appending, which GCC 12's -Wrestrict does not misjudge as it
// does `"literal" + std::string`).
std::string Cat(std::initializer_list<std::string_view> pieces) {
  std::string out;
  for (std::string_view piece : pieces) out.append(piece);
  return out;
}

const std::string kA255 = Repeat("a", 255);

void BM_Wildcard(benchmark::State& state, const char* pattern, const char* text) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(pattern);
    benchmark::DoNotOptimize(text);
    benchmark::DoNotOptimize(WildcardMatch(pattern, text, 0));
  }
}

void BM_Fnmatch(benchmark::State& state, const char* pattern, const char* text) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(pattern);
    benchmark::DoNotOptimize(text);
    benchmark::DoNotOptimize(fnmatch(pattern, text, FNM_CASEFOLD));
  }
}

// A pattern and text pair kept alive for the benchmarks that refer to it.
struct Pair {
  std::string label;
  std::string pattern;
  std::string text;
  double nanoseconds = 0;  // as timed by the search
};

std::vector<Pair>& Kept() {
  static std::vector<Pair> kept;
  kept.reserve(64);  // registered benchmarks hold pointers into the strings
  return kept;
}

// CPU time of this thread in nanoseconds: the machine may be shared, and other work's share
// of the wall clock would otherwise count against the candidate being timed.
double ThreadNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) * 1e9 + static_cast<double>(now.tv_nsec);
}

// Nanoseconds of CPU per call: the best of five rounds of enough calls to fill about 200 µs.
double TimeCall(const std::string& pattern, const std::string& text) {
  const char* p = pattern.c_str();
  const char* t = text.c_str();
  const auto round = [&](int calls) {
    const double start = ThreadNanoseconds();
    for (int i = 0; i < calls; ++i) {
      benchmark::DoNotOptimize(p);
      benchmark::DoNotOptimize(WildcardMatch(p, t, 0));
    }
    return ThreadNanoseconds() - start;
  };
  int calls = 1;
  while (round(calls) < 200000 && calls < (1 << 20)) calls *= 4;
  double best = 1e30;
  for (int i = 0; i < 5; ++i) best = std::min(best, round(calls) / calls);
  return best;
}

// The structured candidates: for every run length k, the shapes that make a matcher retry
// a long run at many places, or retry many '*'s.
std::vector<Pair> Candidates() {
  std::vector<Pair> out;
  const auto add = [&](std::string label, std::string pattern, std::string text) {
    if (pattern.size() <= 255 && text.size() <= 255) {
      out.push_back({std::move(label), std::move(pattern), std::move(text)});
    }
  };
  for (int k = 1; k <= 253; ++k) {
    // Labels write a run of k copies of x as x{k}; the text follows the slash.
    const std::string n = Cat({"{", std::to_string(k), "}"});
    // A long run that fails on its last character at every place of the text.
    add(Cat({"*a", n, "b* / a{255}"}), Cat({"*", Repeat("a", k), "b*"}), kA255);
    add(Cat({"*?", n, "b* / a{255}"}), Cat({"*", Repeat("?", k), "b*"}), kA255);
    add(Cat({"*a", n, "b*a / a{255}"}), Cat({"*", Repeat("a", k), "b*a"}), kA255);
    add(Cat({"*a", n, "b / a{255}"}), Cat({"*", Repeat("a", k), "b"}), kA255);
    add(Cat({"*a", n, "b* / a{254}b"}), Cat({"*", Repeat("a", k), "b*"}),
        Cat({Repeat("a", 254), "b"}));
    add(Cat({"*(a?)", n, "b* / a{255}"}), Cat({"*", Repeat("a?", k), "b*"}), kA255);
    // Folding on every byte: upper-case pattern, lower-case text.
    add(Cat({"*A", n, "B* / a{255}"}), Cat({"*", Repeat("A", k), "B*"}), kA255);
    // Many stars, each with a short run.
    add(Cat({"(*a)", n, "*b / a{255}"}), Cat({Repeat("*a", k), "*b"}), kA255);
    add(Cat({"(*ab)", n, "* / a{255}"}), Cat({Repeat("*ab", k), "*"}), kA255);
    add(Cat({"(*ab)", n, "* / (ab){127}c"}), Cat({Repeat("*ab", k), "*"}),
        Cat({Repeat("ab", 127), "c"}));
    add(Cat({"(*aaaa)", n, "b* / a{255}"}), Cat({Repeat("*aaaa", k), "b*"}), kA255);
    // A run whose near-misses sit one character apart in the text.
    add(Cat({"*(ab)", n, "c* / (ab){127}a"}), Cat({"*", Repeat("ab", k), "c*"}),
        Cat({Repeat("ab", 127), "a"}));
  }
  add("a{255} / a{254}b", kA255, Cat({Repeat("a", 254), "b"}));
  add("?{255} / a{255}", Repeat("?", 255), kA255);
  return out;
}

// Random changes to the slowest pair found so far, kept when they make it slower.
Pair HillClimb(Pair best, int budgetMs) {
  const std::string start = best.label;
  std::mt19937 random(12345);
  const char alphabet[] = {'a', 'b', '*', '?', 'A'};
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
  while (std::chrono::steady_clock::now() < deadline) {
    Pair next = best;
    std::string& target = random() % 3 == 0 ? next.text : next.pattern;
    const int edits = 1 + static_cast<int>(random() % 4);
    for (int e = 0; e < edits; ++e) {
      const std::size_t at = target.empty() ? 0 : random() % target.size();
      const char c = alphabet[random() % sizeof alphabet];
      switch (random() % 3) {
        case 0:
          if (!target.empty()) target[at] = c;
          break;
        case 1:
          if (target.size() < 255) target.insert(at, 1, c);
          break;
        default:
          if (!target.empty()) target.erase(at, 1);
          break;
      }
    }
    next.nanoseconds = TimeCall(next.pattern, next.text);
    if (next.nanoseconds > best.nanoseconds) {
      next.label = Cat({"hill-climb from ", start, " [", std::to_string(next.pattern.size()), "/",
                        std::to_string(next.text.size()), " chars]"});
      best = next;
    }
  }
  return best;
}

void SearchWorst(int budgetMs) {
  std::vector<Pair> all = Candidates();
  for (Pair& pair : all) pair.nanoseconds = TimeCall(pair.pattern, pair.text);
  std::sort(all.begin(), all.end(),
            [](const Pair& a, const Pair& b) { return a.nanoseconds > b.nanoseconds; });

  // The slowest shape of each family, so that one family does not fill the list.
  std::vector<Pair> worst;
  for (const Pair& pair : all) {
    const auto familyOf = [](const std::string& label) {
      const std::size_t brace = label.find('{');
      return label.substr(0, brace) + label.substr(label.find('}', brace) + 1);
    };
    const std::string family = familyOf(pair.label);
    const bool seen = std::any_of(worst.begin(), worst.end(),
                                  [&](const Pair& w) { return familyOf(w.label) == family; });
    if (!seen) worst.push_back(pair);
  }
  std::fprintf(stderr, "worst-case search: %zu candidate pairs timed; slowest per shape:\n",
               all.size());
  for (const Pair& w : worst) {
    std::fprintf(stderr, "  %10.0f ns  %s (pattern %zu, text %zu chars)\n", w.nanoseconds,
                 w.label.c_str(), w.pattern.size(), w.text.size());
  }
  std::vector<Pair>& kept = Kept();
  for (std::size_t i = 0; i < worst.size() && i < 4; ++i) kept.push_back(worst[i]);
  if (budgetMs > 0) {
    Pair climbed = HillClimb(worst.front(), budgetMs);
    std::fprintf(stderr, "  %10.0f ns  %s after %d ms\n    pattern: %s\n    text:    %s\n",
                 climbed.nanoseconds, climbed.label.c_str(), budgetMs, climbed.pattern.c_str(),
                 climbed.text.c_str());
    if (climbed.label != worst.front().label) kept.push_back(climbed);
  }
  for (Pair& pair : kept) {
    std::string name = "BM_SearchWorst/" + pair.label;
    benchmark::RegisterBenchmark(name.c_str(), BM_Wildcard, pair.pattern.c_str(),
                                 pair.text.c_str());
  }
}

}  // namespace

int main(int argc, char** argv) {
  int budgetMs = 3000;
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    if (std::strncmp(argv[i], "--worst_search_ms=", 18) == 0) {
      budgetMs = std::atoi(argv[i] + 18);
    } else {
      rest.push_back(argv[i]);
    }
  }
  int restCount = static_cast<int>(rest.size());

  for (const Case& c : kTypical) {
    benchmark::RegisterBenchmark((std::string("BM_Wildcard/") + c.name).c_str(), BM_Wildcard,
                                 c.pattern, c.text);
    benchmark::RegisterBenchmark((std::string("BM_Fnmatch/") + c.name).c_str(), BM_Fnmatch,
                                 c.pattern, c.text);
  }

  // The traps of plain backtracking, against 255 'a's.
  benchmark::RegisterBenchmark("BM_Wildcard/bad:*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", BM_Wildcard,
                               "*a*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b", kA255.c_str());
  benchmark::RegisterBenchmark("BM_Wildcard/bad:*aaaaaaaaaaaaaaab", BM_Wildcard,
                               "*aaaaaaaaaaaaaaab", kA255.c_str());

  // The same traps over characters of two bytes: 127 of them, 254 bytes.
  static const std::string kU127 = Repeat("\xc3\xbc", 127);
  static const std::string kQuestions = Cat({"*", Repeat("?", 126), "b*"});
  benchmark::RegisterBenchmark("BM_Wildcard/utf8:*?{126}b* / \xc3\xbc{127}", BM_Wildcard,
                               kQuestions.c_str(), kU127.c_str());
  static const std::string kStars = Cat({Repeat("*\xc3\xbc", 15), "*b"});
  benchmark::RegisterBenchmark("BM_Wildcard/utf8:(*\xc3\xbc){15}*b / \xc3\xbc{127}", BM_Wildcard,
                               kStars.c_str(), kU127.c_str());
  static const std::string kRun = Cat({"*", Repeat("\xc3\xbc", 60), "b*"});
  benchmark::RegisterBenchmark("BM_Wildcard/utf8:*\xc3\xbc{60}b* / \xc3\xbc{127}", BM_Wildcard,
                               kRun.c_str(), kU127.c_str());

  benchmark::Initialize(&restCount, rest.data());
  if (benchmark::ReportUnrecognizedArguments(restCount, rest.data())) return 1;
  SearchWorst(budgetMs);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
