// Parse speed of the reader format and of XML on one large generated document holding the
// same tree in both forms, against a plain tokenizing loop over the same bytes in memory; and
// RID lookups per second against a hash map from the same dotted keys to their entries.
//
// Usage: document_bench [elements]   (default 50000 elements, a few megabytes each form)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_map>
#include <vector>

#include "document.h"
#include "rid.h"

using namespace brindle;

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

// One element per object class with a few attribute children, in both formats.
struct generated {
  std::string reader, xml;
};

generated generate(int elements) {
  generated g;
  g.reader = "; generated benchmark document\n(fed\n";
  g.xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<fed>\n";
  char line[512];
  for (int i = 0; i < elements; ++i) {
    std::snprintf(line, sizeof line,
                  "  (class_%d %d 0x%x 1.%d \"label %d\"\n"
                  "    (attribute position reliable receive)\n"
                  "    (attribute velocity best_effort timestamp)\n"
                  "    (space zone (dimension x) (dimension y)))\n",
                  i, i, i, i % 1000, i);
    g.reader += line;
    std::snprintf(line, sizeof line,
                  "  <class_%d a=\"%d\" b=\"0x%x\" c=\"1.%d\" d=\"label %d\">\n"
                  "    <attribute name=\"position\" transport=\"reliable\" order=\"receive\"/>\n"
                  "    <attribute name=\"velocity\" transport=\"best_effort\" order=\"timestamp\"/>\n"
                  "    <space name=\"zone\"><dimension name=\"x\"/><dimension name=\"y\"/></space>\n"
                  "  </class_%d>\n",
                  i, i, i, i % 1000, i, i);
    g.xml += line;
  }
  g.reader += ")\n";
  g.xml += "</fed>\n";
  return g;
}

// The baseline: one pass that splits the bytes into words, strings and punctuation.
size_t count_tokens(const std::string& text) {
  size_t tokens = 0;
  const char* p = text.data();
  const char* end = p + text.size();
  while (p < end) {
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
      ++p;
    } else if (c == '"') {
      ++p;
      while (p < end && *p != '"') ++p;
      ++p;
      ++tokens;
    } else if (std::isalnum(c) || c == '_' || c == '.' || c == '-') {
      while (p < end && (std::isalnum(static_cast<unsigned char>(*p)) || *p == '_' || *p == '.' || *p == '-')) ++p;
      ++tokens;
    } else {
      ++p;
      ++tokens;
    }
  }
  return tokens;
}

// Best of a few rounds, in seconds per megabyte.
template <class F>
double seconds_per_megabyte(const std::string& text, F&& work) {
  double best = 1e9;
  for (int round = 0; round < 5; ++round) {
    auto start = clock_type::now();
    work();
    best = std::min(best, seconds_since(start));
  }
  return best / (text.size() / 1048576.0);
}

void parse_figures(const char* form, const std::string& text, Document& document) {
  size_t sink = 0;
  const double baseline = seconds_per_megabyte(text, [&] { sink += count_tokens(text); });
  const double parse = seconds_per_megabyte(text, [&] {
    Document::Element root;
    if (document.parse(text.data(), text.size(), "benchmark", root) != Document::ok) std::abort();
    sink += root.num_children();
    Document::deallocate(root);
  });
  std::printf("%-7s %7.2f MB  parse %8.2f ms/MB  tokenizing loop %6.2f ms/MB  ratio %5.1fx%s\n", form,
              text.size() / 1048576.0, parse * 1e3, baseline * 1e3, parse / baseline, sink ? "" : " ");
}

void lookup_figures() {
  RID rid;
  struct key {
    const char *section, *tag;
  };
  const std::vector<key> keys = {{"federation", "heartbeat_interval"},     {"queries", "bundle_query_timeout"},
                                 {"connectivity_providers", "multicast.port"}, {"objects", "deletion_memory_length"},
                                 {"connectivity", "receive_buffer_size"},   {"management_objects", "mom_interval"}};
  std::unordered_map<std::string, const Document::Element*> map;
  for (const key& k : keys) map[std::string(k.section) + "." + k.tag] = rid.get_entry(k.section, k.tag, nullptr);

  const int rounds = 200000;
  long sink = 0;
  auto start = clock_type::now();
  for (int i = 0; i < rounds; ++i) {
    const key& k = keys[i % keys.size()];
    sink += rid.get_integer(k.section, k.tag, nullptr);
  }
  const double rid_seconds = seconds_since(start);
  start = clock_type::now();
  for (int i = 0; i < rounds; ++i) {
    const key& k = keys[i % keys.size()];
    sink += map.at(std::string(k.section) + "." + k.tag)->values[0].integer;
  }
  const double map_seconds = seconds_since(start);
  std::printf("RID lookups: %10.0f /s  hash map of dotted keys: %10.0f /s  ratio %4.1fx%s\n", rounds / rid_seconds,
              rounds / map_seconds, rid_seconds / map_seconds, sink ? "" : " ");
}

}  // namespace

int main(int argc, char** argv) {
  const int elements = argc > 1 ? std::atoi(argv[1]) : 50000;
  const generated g = generate(elements);
  std::printf("document: %d classes, each with two attributes and a space of two dimensions\n", elements);
  Document document;
  parse_figures("reader", g.reader, document);
  parse_figures("xml", g.xml, document);
  lookup_figures();
  return 0;
}
