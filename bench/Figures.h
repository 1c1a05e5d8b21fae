#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace bench {

// Every benchmark's command line: "--name value" pairs over defaults; anything else prints the usage, exits.
class Options {
 public:
  Options(int argc, char** argv, std::map<std::string, std::string> defaults) : values_(std::move(defaults)) {
    for (int i = 1; i < argc; i += 2) {
      const std::string flag = argv[i];
      const auto it = values_.find(flag.rfind("--", 0) == 0 ? flag.substr(2) : std::string());
      if (it == values_.end() || i + 1 >= argc) {
        std::fprintf(stderr, "usage: %s", argv[0]);
        for (const auto& [name, value] : values_)
          std::fprintf(stderr, " [--%s %s]", name.c_str(), value.c_str());
        std::fprintf(stderr, "\n");
        std::exit(2);
      }
      it->second = argv[i + 1];
    }
  }
  int number(const std::string& name) const { return std::atoi(values_.at(name).c_str()); }
  const std::string& text(const std::string& name) const { return values_.at(name); }

 private:
  std::map<std::string, std::string> values_;
};

struct Percentiles {
  std::size_t count = 0;
  double p50 = 0, p90 = 0, p99 = 0, max = 0;
};

// Nearest-rank percentiles.
inline Percentiles Summarize(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const auto rank = [&](double q) {
    const auto index = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
    return values[std::clamp<std::size_t>(index, 1, values.size()) - 1];
  };
  return {values.size(), rank(0.50), rank(0.90), rank(0.99), values.back()};
}

// A benchmark's named figures (numbers, NAME.p50 and so on, sample series), as the flat JSON the report
// reads.
class Figures {
 public:
  explicit Figures(std::string benchmark) : benchmark_(std::move(benchmark)) {}
  void add(const std::string& name, double value) { entries_.push_back({name, {value}, false}); }
  void add(const std::string& name, const Percentiles& p) {
    add(name + ".count", static_cast<double>(p.count));
    for (const auto& [field, value] :
         {std::pair{".p50", p.p50}, {".p90", p.p90}, {".p99", p.p99}, {".max", p.max}})
      add(name + field, value);
  }
  void addSamples(const std::string& name, std::vector<double> values) {
    entries_.push_back({name, std::move(values), true});
  }

  // Writes nothing, successfully, when `path` is empty.
  bool write(const std::string& path) const {
    if (path.empty()) return true;
    std::ofstream out(path);
    out << "{\"benchmark\": \"" << benchmark_ << "\"";
    for (const Entry& e : entries_) {
      out << ",\n\"" << e.name << "\": " << (e.series ? "[" : "");
      for (std::size_t i = 0; i < e.values.size(); ++i)
        out << (i ? "," : "") << (std::isfinite(e.values[i]) ? e.values[i] : 0.0);
      out << (e.series ? "]" : "");
    }
    out << "}\n";
    return static_cast<bool>(out);
  }

 private:
  struct Entry {
    std::string name;
    std::vector<double> values;
    bool series;
  };
  std::string benchmark_;
  std::vector<Entry> entries_;
};

}  // namespace bench
