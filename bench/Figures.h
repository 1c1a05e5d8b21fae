#pragma once

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace bench {

struct Percentiles {
  std::size_t count = 0;
  double p50 = 0, p90 = 0, p99 = 0, max = 0;
};

// Nearest-rank percentiles.
inline Percentiles Summarize(std::vector<double> values) {
  Percentiles p;
  p.count = values.size();
  if (values.empty()) return p;
  std::sort(values.begin(), values.end());
  const auto rank = [&](double q) {
    const auto index = static_cast<std::size_t>(std::ceil(q * static_cast<double>(values.size())));
    return values[std::min(values.size(), std::max<std::size_t>(index, 1)) - 1];
  };
  p.p50 = rank(0.50);
  p.p90 = rank(0.90);
  p.p99 = rank(0.99);
  p.max = values.back();
  return p;
}

// Named figures of one benchmark, written as a flat JSON object so a report
// can gather several benchmarks' files.
class Figures {
 public:
  explicit Figures(std::string benchmark) : benchmark_(std::move(benchmark)) {}
  void add(const std::string& name, double value) { numbers_.emplace_back(name, value); }
  void add(const std::string& name, const std::string& value) { texts_.emplace_back(name, value); }
  void add(const std::string& name, const Percentiles& p) {
    add(name + ".count", static_cast<double>(p.count));
    add(name + ".p50", p.p50);
    add(name + ".p90", p.p90);
    add(name + ".p99", p.p99);
    add(name + ".max", p.max);
  }

  // Every sample of a series, for histograms.
  void addSamples(const std::string& name, std::vector<double> values) { series_.emplace_back(name, std::move(values)); }

  bool write(const std::string& path) const {
    std::ofstream out(path);
    out << "{\n  \"benchmark\": \"" << benchmark_ << "\"";
    for (const auto& [name, value] : texts_) out << ",\n  \"" << name << "\": \"" << Escaped(value) << "\"";
    for (const auto& [name, value] : numbers_) {
      char text[64];
      std::snprintf(text, sizeof text, "%.4f", value);
      out << ",\n  \"" << name << "\": " << text;
    }
    for (const auto& [name, values] : series_) {
      out << ",\n  \"" << name << "\": [";
      for (std::size_t i = 0; i < values.size(); ++i) {
        char text[32];
        std::snprintf(text, sizeof text, "%.4f", values[i]);
        out << (i ? "," : "") << text;
      }
      out << "]";
    }
    out << "\n}\n";
    return static_cast<bool>(out);
  }

 private:
  static std::string Escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
      if (c == '"' || c == '\\') out += '\\';
      if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
    return out;
  }

  std::string benchmark_;
  std::vector<std::pair<std::string, double>> numbers_;
  std::vector<std::pair<std::string, std::string>> texts_;
  std::vector<std::pair<std::string, std::vector<double>>> series_;
};

}  // namespace bench
