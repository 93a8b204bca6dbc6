// The database readers side by side on one generated 65,535-entry database held in memory:
// the stand-in's fast reader, its exact reader, and the same extraction written on two
// general JSON libraries, a SAX reader and a SIMD on-demand parser. Every candidate feeds
// the same log builder and date-time reader, so only the parsing differs; each is checked
// once to keep the same entries as the fast reader before it is timed.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "bench_data.h"
#include "database_file.h"
#include "fast_database_reader.h"
#include "log_builder.h"
#include "standin_internal.h"

#if USETRAIL_BENCH_RAPIDJSON
#define RAPIDJSON_SSE2
#include <rapidjson/reader.h>
#endif
#if USETRAIL_BENCH_SIMDJSON
#include <simdjson.h>
#endif

namespace fs = std::filesystem;

namespace {

using benchdata::kNow;

// The bytes of one generated database, followed by the readers' zero padding.
const std::vector<char>& Bytes() {
  static std::vector<char> bytes = [] {
    // The generator's first database keeps no log.
    const fs::path dir = benchdata::Prepare("loader", 2, 65535, true, 0);
    fs::path largest;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (entry.path().extension() == ".db" &&
          (largest.empty() || fs::file_size(entry.path()) > fs::file_size(largest))) {
        largest = entry.path();
      }
    }
    std::ifstream file(largest, std::ios::binary);
    std::vector<char> content((std::istreambuf_iterator<char>(file)),
                              std::istreambuf_iterator<char>());
    content.resize(content.size() + standin::kReadPadding, '\0');
    return content;
  }();
  return bytes;
}

size_t Size() { return Bytes().size() - standin::kReadPadding; }

// The entries and summary the fast reader keeps, for checking the others.
const standin::DatabaseContent& Expected() {
  static standin::DatabaseContent content = [] {
    standin::DatabaseContent out;
    if (!standin::ReadDatabaseFast(Bytes().data(), Size(), standin::LoadMode::kFull, kNow, &out)) {
      std::fprintf(stderr, "the fast reader declines the bench data\n");
      std::exit(1);
    }
    return out;
  }();
  return content;
}

bool SameAsExpected(const standin::DatabaseContent& got) {
  const standin::DatabaseContent& want = Expected();
  return got.title == want.title && got.entries.names == want.entries.names &&
         got.entries.records == want.entries.records &&
         std::memcmp(&got.summary, &want.summary, sizeof got.summary) == 0;
}

// Runs `read` once to check it, then times it.
template <typename Read>
void Measure(benchmark::State& state, Read read) {
  standin::DatabaseContent check;
  if (!read(&check) || !SameAsExpected(check)) {
    state.SkipWithError("keeps other entries than the fast reader");
    return;
  }
  for (auto _ : state) {
    standin::DatabaseContent out;
    benchmark::DoNotOptimize(read(&out));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Size()));
  state.counters["entries"] = static_cast<double>(Expected().entries.records.size());
}

void BM_FastReader(benchmark::State& state) {
  Measure(state, [](standin::DatabaseContent* out) {
    return standin::ReadDatabaseFast(Bytes().data(), Size(), standin::LoadMode::kFull, kNow, out);
  });
}
BENCHMARK(BM_FastReader)->Unit(benchmark::kMillisecond);

// The title read of a directory search: the whole file checked, no entries kept.
void BM_FastReaderTitleOnly(benchmark::State& state) {
  for (auto _ : state) {
    standin::DatabaseContent out;
    benchmark::DoNotOptimize(
        standin::ReadDatabaseFast(Bytes().data(), Size(), standin::LoadMode::kTitle, kNow, &out));
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * Size()));
}
BENCHMARK(BM_FastReaderTitleOnly)->Unit(benchmark::kMillisecond);

void BM_ExactReader(benchmark::State& state) {
  Measure(state, [](standin::DatabaseContent* out) {
    return standin::LoadDatabaseBytesExactly(Bytes().data(), Size(), "bench.db",
                                             standin::LoadMode::kFull, kNow, out) == 0;
  });
}
BENCHMARK(BM_ExactReader)->Unit(benchmark::kMillisecond);

#if USETRAIL_BENCH_RAPIDJSON
// The same walk as the exact reader's, on the SAX reader of the general library.
class RapidHandler : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, RapidHandler> {
 public:
  explicit RapidHandler(standin::DatabaseContent* out) : out_(out), log_(kNow, out) {}
  bool Default() { return Scalar(); }
  bool Bool(bool value) {
    if (depth_ == 1 && key_ == "recordActivity") out_->recordActivity = value;
    return Scalar();
  }
  bool Uint(unsigned value) {
    if (depth_ == 3 && (key_ == "reads" || key_ == "writes")) {
      if (value > 65535) return false;
      (key_ == "reads" ? reads_ : writes_) = static_cast<uint16_t>(value);
    }
    return Scalar();
  }
  bool String(const char* text, rapidjson::SizeType length, bool) {
    const std::string_view value(text, length);
    if (depth_ == 1 && key_ == "title") out_->title.assign(value);
    if (depth_ == 3 && key_ == "time") timeValid_ = times_.Parse(value, &seconds_);
    if (depth_ == 3 && key_ == "user") user_.assign(value);
    return Scalar();
  }
  bool StartObject() {
    ++depth_;
    if (depth_ == 3) {
      timeValid_ = false;
      reads_ = writes_ = 0;
      user_.clear();
    }
    return true;
  }
  bool Key(const char* text, rapidjson::SizeType length, bool) {
    key_.assign(text, length);
    return true;
  }
  bool EndObject(rapidjson::SizeType) {
    if (depth_ == 3) log_.Add(timeValid_, seconds_, reads_, writes_, user_);
    --depth_;
    return true;
  }
  bool StartArray() {
    ++depth_;
    return true;
  }
  bool EndArray(rapidjson::SizeType) {
    --depth_;
    return true;
  }
  void Finish() { log_.Finish(); }

 private:
  bool Scalar() { return true; }
  standin::DatabaseContent* out_;
  standin::LogBuilder log_;
  standin::UtcTextReader times_;
  int depth_ = 0;
  std::string key_;
  std::string user_;
  bool timeValid_ = false;
  int64_t seconds_ = 0;
  uint16_t reads_ = 0;
  uint16_t writes_ = 0;
};

void BM_RapidJsonSax(benchmark::State& state) {
  Measure(state, [](standin::DatabaseContent* out) {
    RapidHandler handler(out);
    rapidjson::Reader reader;
    rapidjson::StringStream stream(Bytes().data());
    const bool ok = !reader.Parse<rapidjson::kParseValidateEncodingFlag>(stream, handler).IsError();
    handler.Finish();
    return ok;
  });
}
BENCHMARK(BM_RapidJsonSax)->Unit(benchmark::kMillisecond);
#endif

#if USETRAIL_BENCH_SIMDJSON
// The SIMD library's on-demand parser over the padded bytes in place.
void BM_SimdJsonOnDemand(benchmark::State& state) {
  static simdjson::ondemand::parser parser;
  Measure(state, [](standin::DatabaseContent* out) {
    standin::LogBuilder log(kNow, out);
    standin::UtcTextReader times;
    simdjson::padded_string_view view(Bytes().data(), Size(), Bytes().size());
    simdjson::ondemand::document doc;
    if (parser.iterate(view).get(doc) != simdjson::SUCCESS) return false;
    simdjson::ondemand::object root;
    if (doc.get_object().get(root) != simdjson::SUCCESS) return false;
    for (auto field : root) {
      std::string_view key;
      if (field.unescaped_key().get(key) != simdjson::SUCCESS) return false;
      if (key == "title") {
        std::string_view title;
        if (field.value().get_string().get(title) != simdjson::SUCCESS) return false;
        out->title.assign(title);
      } else if (key == "recordActivity") {
        bool flag = true;
        if (field.value().get_bool().get(flag) != simdjson::SUCCESS) return false;
        out->recordActivity = flag;
      } else if (key == "activity") {
        simdjson::ondemand::array entries;
        if (field.value().get_array().get(entries) != simdjson::SUCCESS) return false;
        for (auto element : entries) {
          simdjson::ondemand::object entry;
          if (element.get_object().get(entry) != simdjson::SUCCESS) return false;
          bool timeValid = false;
          int64_t seconds = 0;
          uint64_t reads = 0;
          uint64_t writes = 0;
          std::string_view user;
          for (auto member : entry) {
            std::string_view name;
            if (member.unescaped_key().get(name) != simdjson::SUCCESS) return false;
            if (name == "time") {
              std::string_view text;
              timeValid = member.value().get_string().get(text) == simdjson::SUCCESS &&
                          times.Parse(text, &seconds);
            } else if (name == "reads" || name == "writes") {
              uint64_t value = 0;
              if (member.value().get_uint64().get(value) != simdjson::SUCCESS || value > 65535) {
                return false;
              }
              (name == "reads" ? reads : writes) = value;
            } else if (name == "user") {
              if (member.value().get_string().get(user) != simdjson::SUCCESS) return false;
            }
          }
          log.Add(timeValid, seconds, static_cast<uint16_t>(reads), static_cast<uint16_t>(writes),
                  user);
        }
      }
    }
    log.Finish();
    return true;
  });
}
BENCHMARK(BM_SimdJsonOnDemand)->Unit(benchmark::kMillisecond);
#endif

}  // namespace

BENCHMARK_MAIN();
