#include "console/command_tree.h"

#include <ifaddrs.h>
#include <netinet/in.h>
#include <arpa/inet.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iomanip>
#include <map>
#include <memory>
#include <ostream>
#include <sstream>
#include <vector>

#include "console/ping.h"
#include "console/remterm_manager.h"
#include "fed/fed.h"
#include "federation/federate_handle_set.h"
#include "federation/federation_listing.h"
#include "federation/federation_manager.h"
#include "federation/status_query_monitor.h"
#include "federation/syncpoint_manager.h"
#include "frame/callback_queue.h"
#include "frame/debugging_events.h"
#include "frame/ldm_error.h"
#include "frame/local_distribution_manager.h"
#include "messages/user_tag.h"
#include "message_stats.h"
#include "millisecond_clock.h"
#include "objects/ddb.h"
#include "objects/object_manager.h"
#include "objects/subscription_agent.h"
#include "pools.h"
#include "regions/filter_space.h"
#include "regions/region.h"
#include "rid.h"
#include "scheduler.h"
#include "sparse_bit_vector.h"
#include "stream_manager.h"
#include "time/time_manager.h"

namespace varnel {

using namespace brindle;
using parser::arg_kind;
using parser::parse_arg;
using parser::parse_keyword;
using parser::table_ptr;
using values = std::vector<parser::parse_value>;

namespace {

// What a handler gets: its terminal, the terminal's output and the parsed arguments.
using action = std::function<void(console_terminal&, std::ostream&, const values&)>;

parser::parse_handler run(action act) {
  return [act = std::move(act)](parser::parse_context& context, const values& args) {
    auto& terminal = static_cast<console_terminal&>(context);
    try {
      act(terminal, terminal.out(), args);
    } catch (const ldm_exception& e) {
      terminal.out() << "Refused: " << e.detail() << "\n";
    }
  };
}

parse_keyword command(std::string name, std::string help, std::vector<parse_arg> args, action act) {
  return {std::move(name), std::move(help), nullptr, nullptr, std::move(args), run(std::move(act))};
}

parse_keyword group(std::string name, std::string help, table_ptr sub) {
  return {std::move(name), std::move(help), std::move(sub), nullptr, {}, nullptr};
}

table_ptr table(std::string heading, std::vector<parse_keyword> keywords) {
  return std::make_shared<parser::parse_table>(parser::parse_table{std::move(heading), std::move(keywords)});
}

parse_arg number(std::string help, bool optional = false) { return {arg_kind::number, std::move(help), {}, optional}; }
parse_arg text(std::string help, bool optional = false) { return {arg_kind::string, std::move(help), {}, optional}; }
parse_arg choice(std::string help, std::vector<std::string> choices, bool optional = true) {
  return {arg_kind::choice, std::move(help), std::move(choices), optional};
}
parse_arg detail_choice() { return choice("level of detail", {"summary", "normal", "details"}); }

// The position of a detail choice: summary 0, normal 1 (also when left out), details 2.
int64_t detail_of(const parser::parse_value& v) { return v.present ? v.number : 1; }

// Most handlers need the join-time managers.
bool joined(console_terminal& t, std::ostream& out) {
  if (t.ldm().is_joined()) return true;
  out << "Not joined to a federation.\n";
  return false;
}

// Text a FILE*-printing function writes, for the terminal's own output.
void print_via_file(std::ostream& out, const std::function<void(FILE*)>& print) {
  char* buffer = nullptr;
  size_t size = 0;
  FILE* file = open_memstream(&buffer, &size);
  if (!file) return;
  print(file);
  std::fclose(file);
  out.write(buffer, std::streamsize(size));
  std::free(buffer);
}

// A number when the word is one, else the handle that lookup finds for the name.
unsigned number_or(const std::string& word, const std::function<unsigned(const char*)>& lookup) {
  char* end = nullptr;
  const unsigned long value = std::strtoul(word.c_str(), &end, 0);
  if (!word.empty() && *end == 0) return unsigned(value);
  return lookup(word.c_str());
}

// ---- print

void print_federation(console_terminal& t, std::ostream& out, const values& v) {
  const federation_manager& fm = t.ldm().get_federation_manager();
  switch (v[0].present ? v[0].number : 0) {
    case 2: return print_federation_totals(fm, out);
    case 3: return print_federations(fm, out);
    case 1:
      if (!v[1].present) {
        if (const federation_record* f = fm.get_joined_federation()) return print_federates(*f, out);
        out << "Not joined to a federation.\n";
        return;
      }
      break;
    default:
      if (!v[1].present) return print_joined_federates(fm, out);
  }
  const unsigned handle = find_federate(t.ldm(), v[1].text);
  const federate_record* f = handle ? fm.find_by_handle(handle) : nullptr;
  if (!f) {
    out << "Unable to find federate " << v[1].text << "\n";
    return;
  }
  out << "Federate " << f->handle << " (" << f->name << ") on " << f->host_name << ": " << f->local_objects
      << " local and " << f->remote_objects << " remote objects\n";
}

// The keys objects are sorted and grouped by, in the order of the choices.
const std::vector<std::string> object_orders = {"by_id", "by_class", "by_federate", "by_stream", "by_transport"};

std::string object_key(local_distribution_manager& ldm, const object_entry& o, int64_t order) {
  const FED& fed = *ldm.get_fed();
  switch (order) {
    case 1: return fed.get_object_class_name(o.object_class->handle);
    case 2: return std::to_string(o.has_local && !o.has_remote ? ldm.get_federate_id() : o.last_sender);
    case 3: return std::to_string(o.stream.empty() ? no_stream : o.stream.front());
    case 4: {
      const uint32_t transport = o.transport.empty() ? o.object_class->default_transport.front() : o.transport.front();
      const char* name = fed.get_transport_name(transport);
      return name ? name : "?";
    }
    default: return std::to_string(o.handle);
  }
}

// The objects, filtered by the first key's value when one is given, sorted by both keys.
std::vector<const object_entry*> objects_by(console_terminal& t, const values& v, int64_t first, int64_t second) {
  local_distribution_manager& ldm = t.ldm();
  const ddb& db = *ldm.get_ddb();
  std::vector<const object_entry*> objects;
  for (uint32_t handle : db.object_handles()) {
    const object_entry* o = db.object(handle);
    if (o && (!v[2].present || object_key(ldm, *o, first) == v[2].text)) objects.push_back(o);
  }
  auto key = [&](const object_entry* o, int64_t order) {
    return order == 0 ? std::string(10 - std::min<size_t>(10, std::to_string(o->handle).size()), '0') +
                            std::to_string(o->handle)
                      : object_key(ldm, *o, order);
  };
  std::stable_sort(objects.begin(), objects.end(), [&](const object_entry* a, const object_entry* b) {
    return std::make_pair(key(a, first), key(a, second)) < std::make_pair(key(b, first), key(b, second));
  });
  return objects;
}

void print_all_objects(console_terminal& t, std::ostream& out, const values& v, bool counts_only) {
  if (!joined(t, out)) return;
  const int64_t first = v[0].present ? v[0].number : 0;
  const int64_t second = v[1].present ? v[1].number : 0;  // "none" sorts by handle
  const std::vector<const object_entry*> objects = objects_by(t, v, first, second);
  if (counts_only) {
    std::map<std::string, size_t> counts;
    for (const object_entry* o : objects) ++counts[object_key(t.ldm(), *o, first)];
    for (const auto& [key, count] : counts) out << "  " << object_orders[size_t(first)] << " " << key << ": " << count << "\n";
    out << objects.size() << " objects\n";
    return;
  }
  for (const object_entry* o : objects)
    out << "  " << o->handle << " " << o->name << " class " << object_key(t.ldm(), *o, 1) << " federate "
        << object_key(t.ldm(), *o, 2) << " stream " << object_key(t.ldm(), *o, 3) << " transport "
        << object_key(t.ldm(), *o, 4) << (o->has_local ? " local" : "") << (o->has_remote ? " remote" : "") << "\n";
  out << objects.size() << " objects\n";
}

const object_entry* find_object(console_terminal& t, const std::string& word) {
  const ddb& db = *t.ldm().get_ddb();
  if (const object_entry* named = db.object_named(word)) return named;
  return db.object(number_or(word, [](const char*) { return invalid_handle; }));
}

void print_object(console_terminal& t, std::ostream& out, const values& v) {
  if (!joined(t, out)) return;
  const object_entry* o = find_object(t, v[0].text);
  if (!o) {
    out << "No object " << v[0].text << "\n";
    return;
  }
  const FED& fed = *t.ldm().get_fed();
  const uint32_t object_class = o->object_class->handle;
  out << "Object " << o->handle << " \"" << o->name << "\" of class " << fed.get_object_class_name(object_class)
      << (o->has_local ? ", local" : "") << (o->has_remote ? ", remote" : "") << ", last sender " << o->last_sender << "\n";
  for (uint32_t a = 0; a < o->object_class->attribute_count; ++a) {
    const ddb& db = *t.ldm().get_ddb();
    out << "  " << std::left << std::setw(24) << fed.get_attribute_name(a, object_class) << std::right
        << (o->is_local(a) ? " owned" : " remote") << " stream " << db.get_stream(o->handle, a) << " transport "
        << db.get_transport_type(o->handle, a) << " order " << db.get_order_type(o->handle, a) << "\n";
  }
}

void print_class_entry(console_terminal& t, std::ostream& out, uint32_t object_class, bool streams) {
  const FED& fed = *t.ldm().get_fed();
  const object_class_entry* c = t.ldm().get_ddb()->object_class(object_class);
  if (!c) return;
  out << "Class " << object_class << " " << fed.get_object_class_name(object_class) << ": "
      << (c->is_published() ? "published" : "not published") << ", "
      << (c->is_subscribed() ? "subscribed" : "not subscribed") << ", " << c->locals << " local and " << c->remotes
      << " remote objects, stream " << t.ldm().get_subscription_agent()->plan().object_class_stream(object_class)
      << "\n";
  if (!streams) return;
  for (const auto& [stream, count] : c->streams) out << "  stream " << stream << ": " << count << " subscriptions\n";
}

void print_interaction_entry(console_terminal& t, std::ostream& out, uint32_t interaction, bool streams) {
  const FED& fed = *t.ldm().get_fed();
  const interaction_class_entry* c = t.ldm().get_ddb()->interaction_class(interaction);
  if (!c) return;
  out << "Interaction " << interaction << " " << fed.get_interaction_class_name(interaction) << ": "
      << (c->published ? "published" : "not published") << ", "
      << (c->is_subscribed() ? "subscribed" : "not subscribed") << ", transport "
      << fed.get_transport_name(c->transport) << ", order " << fed.get_order_name(c->order) << ", stream "
      << t.ldm().get_subscription_agent()->plan().interaction_stream(interaction) << "\n";
  if (!streams) return;
  for (const auto& [stream, count] : c->streams) out << "  stream " << stream << ": " << count << " subscriptions\n";
}

// One keyword per entry of the joined federation's FED; empty while not joined.
table_ptr fed_table(console_terminal& t, uint32_t (FED::*count)() const, const char* (FED::*name)(uint32_t) const,
                     const std::function<parse_keyword(const std::string&, uint32_t)>& make) {
  auto built = table("", {});
  const FED* fed = t.ldm().get_fed();
  if (!fed) return built;
  for (uint32_t i = 0; i < (fed->*count)(); ++i)
    if (const char* n = (fed->*name)(i)) built->keywords.push_back(make(n, i));
  return built;
}

parse_keyword class_keyword(const std::string& name, uint32_t handle, bool interaction) {
  return command(name, "", {choice("what to show", {"class", "streams"})},
                 [handle, interaction](console_terminal& t, std::ostream& out, const values& v) {
                   if (!joined(t, out)) return;
                   const bool streams = v[0].present && v[0].number == 1;
                   if (interaction)
                     print_interaction_entry(t, out, handle, streams);
                   else
                     print_class_entry(t, out, handle, streams);
                 });
}

parse_keyword print_classes(bool interaction) {
  parse_keyword k = command(interaction ? "interaction" : "class",
                            interaction ? "- print data regarding one or all interactions"
                                        : "- print data regarding one or all object classes",
                            {}, [interaction](console_terminal& t, std::ostream& out, const values&) {
                              if (!joined(t, out)) return;
                              const FED& fed = *t.ldm().get_fed();
                              const uint32_t n = interaction ? fed.num_interaction_classes() : fed.num_object_classes();
                              for (uint32_t i = 0; i < n; ++i) {
                                if (interaction)
                                  print_interaction_entry(t, out, i, false);
                                else
                                  print_class_entry(t, out, i, false);
                              }
                            });
  k.build = [interaction](parser::parse_context& c) {
    auto& t = static_cast<console_terminal&>(c);
    auto make = [interaction](const std::string& name, uint32_t i) { return class_keyword(name, i, interaction); };
    return interaction ? fed_table(t, &FED::num_interaction_classes, &FED::get_interaction_class_name, make)
                       : fed_table(t, &FED::num_object_classes, &FED::get_object_class_name, make);
  };
  return k;
}

parse_keyword print_transport() {
  parse_keyword k = group("transport", "- print transport data", nullptr);
  k.build = [](parser::parse_context& c) {
    auto& t = static_cast<console_terminal&>(c);
    return fed_table(t, &FED::num_transport_types, &FED::get_transport_name, [](const std::string& name, uint32_t id) {
      return command(name, "", {text("object name or id", true)},
                     [id](console_terminal& t, std::ostream& out, const values& v) {
                       if (!joined(t, out)) return;
                       const FED& fed = *t.ldm().get_fed();
                       out << "Transport " << id << " " << fed.get_transport_name(id) << ": implementation "
                           << fed.get_transport_implementation(id) << "\n";
                       const ddb& db = *t.ldm().get_ddb();
                       for (uint32_t handle : db.object_handles()) {
                         const object_entry* o = db.object(handle);
                         if (!o || (v[0].present && o != find_object(t, v[0].text))) continue;
                         for (uint32_t a = 0; a < o->object_class->attribute_count; ++a)
                           if (db.get_transport_type(handle, a) == id)
                             out << "  object " << handle << " " << o->name << " attribute "
                                 << fed.get_attribute_name(a, o->object_class->handle) << "\n";
                       }
                     });
    });
  };
  return k;
}

void print_spaces(console_terminal& t, std::ostream& out, const std::function<bool(const filter_space_base&)>& which) {
  if (!joined(t, out)) return;
  for (const auto& [handle, space] : t.ldm().get_subscription_agent()->plan().spaces())
    if (which(*space)) space->print(out);
}

void print_space(console_terminal& t, std::ostream& out, const values& v) {
  if (!joined(t, out)) return;
  const FED& fed = *t.ldm().get_fed();
  for (uint32_t s = 0; s < fed.num_routing_spaces(); ++s) {
    const char* name = fed.get_routing_space_name(s);
    if (v[0].present && v[0].text != name && v[0].text != std::to_string(s)) continue;
    out << "Routing space " << s << " " << name << ":";
    for (uint32_t d = 0; d < fed.num_dimensions(s); ++d) out << " " << fed.get_dimension_name(d, s);
    out << "\n";
    print_spaces(t, out, [s](const filter_space_base& f) { return f.get_space_handle() == s; });
  }
}

const std::vector<std::string> region_selectors = {"stream",    "space",     "subclass", "subinter",
                                                   "substream", "pubobject", "pubstream"};

// The federate's regions, space by space. "stream" and "space" narrow to the space holding a
// stream or named so; the other selectors pick regions: subscribing a class or interaction,
// listening on a stream, associated with an object, or sending on a stream.
bool region_selected(const region_spec& region, int64_t selector, const std::string& wanted) {
  if (wanted.empty() || selector < 2) return true;
  const unsigned long id = std::strtoul(wanted.c_str(), nullptr, 0);
  switch (selector) {
    case 2: return region.object_classes().count(static_cast<uint32_t>(id)) != 0;
    case 3: return region.interaction_classes().count(static_cast<uint32_t>(id)) != 0;
    case 4: {
      sparse_bit_vector streams;
      region.get_sub_streams(streams);
      return id <= UINT32_MAX && streams.get_bit(static_cast<uint32_t>(id));
    }
    case 5: return region.associations().count(static_cast<uint32_t>(id)) != 0;
    default: return region.has_associations() && region.get_pub_stream() == static_cast<int64_t>(id);
  }
}

void print_regions(console_terminal& t, std::ostream& out, const values& v, bool counts_only) {
  if (!joined(t, out)) return;
  const int64_t selector = v[0].present ? v[0].number : -1;
  const std::string wanted = v[1].present ? v[1].text : "";
  auto space_selected = [&](const filter_space_base& f) {
    if (selector == 1 && !wanted.empty()) return wanted == f.get_name() || wanted == std::to_string(f.get_space_handle());
    if (selector == 0 && !wanted.empty()) {
      const unsigned long stream = std::strtoul(wanted.c_str(), nullptr, 0);
      return stream >= f.get_first_stream() && stream < uint64_t{f.get_first_stream()} + f.get_stream_count();
    }
    return true;
  };
  for (const auto& [handle, space] : t.ldm().get_subscription_agent()->plan().spaces()) {
    if (!space_selected(*space)) continue;
    size_t count = 0;
    for (const region_spec* region : space->regions())
      if (region_selected(*region, selector, wanted)) ++count;
    out << "  " << space->get_name() << ": " << count << " regions, " << space->get_stream_count()
        << " streams from " << space->get_first_stream() << "\n";
    if (counts_only) continue;
    space->print(out);
    for (const region_spec* region : space->regions())
      if (region_selected(*region, selector, wanted)) region->print(out);
  }
}

void print_stream(console_terminal& t, std::ostream& out, const values& v) {
  if (!joined(t, out)) return;
  const stream_plan& plan = t.ldm().get_subscription_agent()->plan();
  const FED& fed = *t.ldm().get_fed();
  auto meaning = [&](uint32_t stream) {
    std::string what;
    if (stream == 1) what = "federation management";
    if (stream == 2) what = "control and broadcast";
    for (uint32_t c = 0; c < fed.num_object_classes(); ++c)
      if (plan.object_class_stream(c) == stream) what += std::string(what.empty() ? "" : ", ") + "class " + fed.get_object_class_name(c);
    for (uint32_t i = 0; i < fed.num_interaction_classes(); ++i)
      if (plan.interaction_stream(i) == stream)
        what += std::string(what.empty() ? "" : ", ") + "interaction " + fed.get_interaction_class_name(i);
    for (const auto& [handle, space] : plan.spaces())
      if (stream >= space->get_first_stream() && stream < uint64_t{space->get_first_stream()} + space->get_stream_count())
        what += std::string(what.empty() ? "" : ", ") + "routing space " + space->get_name();
    return what.empty() ? std::string("unused") : what;
  };
  if (v[0].present) {
    out << "Stream " << v[0].number << ": " << meaning(uint32_t(v[0].number)) << "\n";
    return;
  }
  for (uint32_t s = 1; s < plan.end_of_plan(); ++s)
    if (s < 3 || s >= 100) out << "Stream " << s << ": " << meaning(s) << "\n";
}

void print_subscriptions(console_terminal& t, std::ostream& out, const values& v) {
  const vessmark::stream_manager& streams = t.ldm().get_stream_manager();
  if (!v[0].present) return print_via_file(out, [&](FILE* f) { streams.print_joins(f); });
  const int64_t last = v[1].present ? v[1].number : v[0].number;
  out << "Joined streams:";
  for (int64_t s = v[0].number; s <= last && s - v[0].number < 100000; ++s)
    if (streams.is_joined(int(s))) out << " " << s;
  out << "\n";
}

void print_netdevices(std::ostream& out) {
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) {
    out << "print netdevices: getifaddrs() failed\n";
    return;
  }
  for (const ifaddrs* a = list; a; a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
    char address[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a->ifa_addr)->sin_addr, address, sizeof address);
    out << "  " << std::left << std::setw(12) << a->ifa_name << std::right << " " << address << "\n";
  }
  freeifaddrs(list);
}

void print_rid(console_terminal& t, std::ostream& out, const values& v) {
  RID& rid = t.ldm().get_rid();
  out << "RID file: " << rid.get_rid_filename() << ", checksum " << rid.get_checksum() << "\n";
  const Document::Element* entry = v[0].present ? rid.get_entry(v[0].text.c_str()) : rid.get_rid_file();
  if (!entry) {
    out << "No RID entry " << v[0].text << "\n";
    return;
  }
  // The document printers write to standard output.
  std::cout.flush();
  if (v[1].present && v[1].number == 1)
    Document::printAsXML(*entry);
  else
    Document::printAsReader(*entry);
  std::cout.flush();
}

void print_ticks(console_terminal& t, std::ostream& out) {
  scheduler& s = t.ldm().get_scheduler();
  static uint64_t last_reset = 0;  // one console per process
  const uint64_t now = s.get_clock().time();
  const uint64_t span = std::max<uint64_t>(now - std::min(now, last_reset), 1);
  const uint64_t ticks = s.get_tick_count();
  const uint64_t busy = s.get_tick_time();
  out << "In the last " << span << "ms (" << std::fixed << std::setprecision(1)
      << (span < 60000 ? span / 1000.0 : span / 60000.0) << (span < 60000 ? "sec" : "min") << ")\n"
      << "  we called tick " << ticks << " times (" << ticks * 1000.0 / double(span) << " ticks/sec)\n"
      << "  the average tick period is " << (ticks ? double(span) / double(ticks) : 0.0) << "ms\n"
      << "  we spent " << busy << "ms in tick (" << 100.0 * double(busy) / double(span) << "%)\n"
      << std::defaultfloat;
  s.reset_tick_stats();
  last_reset = now;
}

void print_uptime(console_terminal& t, std::ostream& out) {
  const uint64_t up = t.ldm().get_uptime();
  out << "Uptime: " << up << " seconds (" << up / 86400 << " days " << up / 3600 % 24 << " hours " << up / 60 % 60
      << " minutes " << up % 60 << " seconds)\n";
}

table_ptr print_table() {
  const parse_arg object_order = choice("order", object_orders);
  const parse_arg object_group = choice("grouping", {"none", "by_class", "by_federate", "by_stream", "by_transport"});
  const parse_arg region_selector = choice("selector", region_selectors);
  return table(
      "Print Commands",
      {command("federation", "- print federation information",
               {choice("what", {"summary", "details", "count", "federations"}), text("name-or-id", true)},
               print_federation),
       command("all_objects", "- print all objects we know about", {object_order, object_group, text("name-or-id", true)},
               [](console_terminal& t, std::ostream& out, const values& v) { print_all_objects(t, out, v, false); }),
       command("count", "- print count of all objects we know about", {object_order, object_group, text("name-or-id", true)},
               [](console_terminal& t, std::ostream& out, const values& v) { print_all_objects(t, out, v, true); }),
       command("object", "- print data regarding an instantiated object", {text("object id or name")}, print_object),
       print_classes(false),
       print_classes(true),
       command("callqueue", "- print currently queued callbacks", {detail_choice()},
               [](console_terminal& t, std::ostream& out, const values& v) {
                 if (!joined(t, out)) return;
                 t.ldm().get_callback_queue()->print_pending(out, detail_of(v[0]) == 0, detail_of(v[0]) == 2);
               }),
       command("callhistory", "- print previous callbacks", {detail_choice()},
               [](console_terminal& t, std::ostream& out, const values& v) {
                 if (!joined(t, out)) return;
                 t.ldm().get_callback_queue()->print_history(out, detail_of(v[0]) == 0, detail_of(v[0]) == 2);
               }),
       command("syncpoints", "- list all pending synchronization points", {},
               [](console_terminal& t, std::ostream& out, const values&) {
                 if (joined(t, out)) t.ldm().get_syncpoint_manager()->list(out);
               }),
       command("time", "- print time management information", {detail_choice()},
               [](console_terminal& t, std::ostream& out, const values&) {
                 if (joined(t, out)) t.ldm().get_time_manager()->print(out);
               }),
       command("slowest", "- federate that we are waiting to advance time for", {number("threshold in seconds", true)},
               [](console_terminal& t, std::ostream& out, const values& v) {
                 if (!joined(t, out)) return;
                 if (v[0].present) t.ldm().get_time_manager()->set_slowpoke_threshold(uint32_t(std::max<int64_t>(v[0].number, 0)));
                 t.ldm().get_time_manager()->print(out);
               }),
       print_transport(),
       command("space", "- print routing space information", {text("space id or name", true)}, print_space),
       command("region", "- print region information", {region_selector, text("id-or-name", true)},
               [](console_terminal& t, std::ostream& out, const values& v) { print_regions(t, out, v, false); }),
       command("regioncount", "- print region counts", {region_selector, text("id-or-name", true)},
               [](console_terminal& t, std::ostream& out, const values& v) { print_regions(t, out, v, true); }),
       command("stream", "- print meaning of stream", {number("stream number", true)}, print_stream),
       command("subscriptions", "- print streams we are subscribed to",
               {number("first stream", true), number("last stream", true)}, print_subscriptions),
       command("chain", "- print status of network connection", {detail_choice()},
               [](console_terminal& t, std::ostream& out, const values&) {
                 print_via_file(out, [&](FILE* f) { t.ldm().get_stream_manager().print_chain(f); });
               }),
       command("buffers", "- print state of network buffers", {},
               [](console_terminal& t, std::ostream& out, const values&) {
                 print_via_file(out, [&](FILE* f) { t.ldm().get_stream_manager().print_buffers(f); });
               }),
       command("router", "- print current router connections", {},
               [](console_terminal& t, std::ostream& out, const values&) {
                 print_via_file(out, [&](FILE* f) { t.ldm().get_stream_manager().print_router(f); });
               }),
       command("connection", "- per-router-connection commands", {number("connection number"), detail_choice()},
               [](console_terminal& t, std::ostream& out, const values& v) {
                 print_via_file(out, [&](FILE* f) { t.ldm().get_stream_manager().print_router_connection(int(v[0].number), f); });
               }),
       command("netdevices", "- print network devices on this system", {},
               [](console_terminal&, std::ostream& out, const values&) { print_netdevices(out); }),
       command("mempool", "- print memory pooling statistics", {detail_choice()},
               [](console_terminal&, std::ostream&, const values& v) {
                 // The pools print on standard output, which the terminals also receive.
                 if (detail_of(v[0]) == 0)
                   pools::print_totals();
                 else
                   pools::print();
                 std::fflush(stdout);
               }),
       command("rid", "- print RID information", {text("key to look up", true), choice("form", {"rdr", "xml"})}, print_rid),
       command("ticks", "- print number and time of ticking", {},
               [](console_terminal& t, std::ostream& out, const values&) { print_ticks(t, out); }),
       command("status", "- print status of this RTI instance", {},
               [](console_terminal& t, std::ostream& out, const values&) {
                 status_query_monitor::print_snapshot(t.ldm().get_status_query_monitor().snapshot(), out);
               }),
       command("uptime", "- print how long this federate has been running", {},
               [](console_terminal& t, std::ostream& out, const values&) { print_uptime(t, out); }),
       command("version", "- print version banner of RTI", {},
               [](console_terminal& t, std::ostream& out, const values&) {
                 out << t.ldm().get_version_banner() << "\n" << t.ldm().get_build_info() << "\n";
               })});
}

// ---- debug

bool file_allowed(console_terminal& t, std::ostream& out, const parser::parse_value& file) {
  if (!file.present || !t.from_network() || file.text == "-" || is_plain_file_name(file.text)) return true;
  out << "debug: a log file named at a network terminal must be a plain name in the working directory: "
      << file.text << "\n";
  return false;
}

// The words after "debug" as the registry reads them.
void debug_command(console_terminal& t, std::ostream& out, std::vector<std::string> words, const values& v) {
  if (!file_allowed(t, out, v[1])) return;
  for (const parser::parse_value& value : v)
    if (value.present) words.push_back(value.text);
  if (!t.ldm().get_debugging_events().console_command(words, t.from_network())) out << "debug: bad arguments\n";
}

std::vector<parse_arg> switch_args() {
  return {choice("switch", {"off", "on", "toggle"}), text("log filename", true)};
}

parse_keyword event_keyword(debugging_events& events, const std::string& name) {
  parse_keyword k = command(name, events.description(name), switch_args(),
                            [name](console_terminal& t, std::ostream& out, const values& v) {
                              debug_command(t, out, {name}, v);
                            });
  const std::vector<std::string> subs = events.sub_events(name);
  if (subs.empty()) return k;
  auto sub_table = table("     Sub-Debugging events", {});
  for (const std::string& sub : subs)
    sub_table->keywords.push_back(command(sub, events.description(sub), switch_args(),
                                          [name, sub](console_terminal& t, std::ostream& out, const values& v) {
                                            debug_command(t, out, {name, sub}, v);
                                          }));
  k.sub = sub_table;
  return k;
}

parse_keyword debug_group() {
  parse_keyword k = group("debug", "- debugging output control", nullptr);
  k.build = [](parser::parse_context& c) {
    debugging_events& events = static_cast<console_terminal&>(c).ldm().get_debugging_events();
    auto built = table("     Debugging events", {});
    for (const std::string& name : events.event_names()) built->keywords.push_back(event_keyword(events, name));
    built->keywords.push_back(command("clear", "- turn every event off", {},
                                      [](console_terminal& t, std::ostream& out, const values&) {
                                        debug_command(t, out, {"clear"}, {{}, {}});
                                      }));
    built->keywords.push_back(command("all", "- switch every event", switch_args(),
                                      [](console_terminal& t, std::ostream& out, const values& v) {
                                        debug_command(t, out, {"all"}, v);
                                      }));
    return built;
  };
  return k;
}

// ---- stats

const std::vector<std::string> amounts = {"summarize", "topfive", "topten", "topfifty", "all"};

// A tracker's table in the order asked for, cut to the amount asked for.
void print_tracker(console_terminal& t, std::ostream& out, int tracker, bool bytes, const values& v) {
  message_stats_tracker& stats = t.ldm().get_stats_tracker();
  const int64_t amount = v[1].present ? v[1].number : 4;
  if (amount == 0) return print_via_file(out, [&](FILE* f) { stats.print_summary(f); });
  static const stats_order byte_orders[] = {stats_order::differentiator, stats_order::total_bytes,
                                            stats_order::current_byte_rate, stats_order::max_byte_rate};
  static const stats_order count_orders[] = {stats_order::differentiator, stats_order::total_count,
                                             stats_order::current_count_rate, stats_order::max_count_rate};
  const size_t order = size_t(v[0].present ? v[0].number : 1);
  std::ostringstream table_text;
  print_via_file(table_text, [&](FILE* f) { stats.print(tracker, (bytes ? byte_orders : count_orders)[order], f); });
  const size_t limits[] = {0, 5, 10, 50, SIZE_MAX};
  // The two heading lines, the rows up to the limit, and the total line.
  std::vector<std::string> lines;
  std::istringstream in(table_text.str());
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  for (size_t i = 0; i < lines.size(); ++i)
    if (i < 2 || i + 1 == lines.size() || i - 2 < limits[amount]) out << lines[i] << "\n";
}

table_ptr tracker_table(console_terminal& t, bool bytes) {
  auto built = table("", {});
  message_stats_tracker& stats = t.ldm().get_stats_tracker();
  for (int i = 0; const char* name = stats.get_tracker_name(i); ++i)
    built->keywords.push_back(command(name, "", {choice("order", {"numeric", "totals", "current", "max"}), choice("amount", amounts)},
                                      [i, bytes](console_terminal& t, std::ostream& out, const values& v) {
                                        print_tracker(t, out, i, bytes, v);
                                      }));
  return built;
}

parse_keyword stats_group() {
  parse_keyword print_bytes = group("print", "- print bytes commands", nullptr);
  print_bytes.build = [](parser::parse_context& c) { return tracker_table(static_cast<console_terminal&>(c), true); };
  parse_keyword counts = group("counts", "- print counts commands", nullptr);
  counts.build = [](parser::parse_context& c) { return tracker_table(static_cast<console_terminal&>(c), false); };
  return group("stats", "- statistics tracking commands",
               table("Statistics Commands",
                     {command("clear", "- clear all stats tracking", {},
                              [](console_terminal& t, std::ostream&, const values&) { t.ldm().get_stats_tracker().clear_all(); }),
                      command("info", "- print available types of stats", {},
                              [](console_terminal& t, std::ostream& out, const values&) {
                                out << "The following stats are available: ";
                                message_stats_tracker& stats = t.ldm().get_stats_tracker();
                                for (int i = 0; const char* name = stats.get_tracker_name(i); ++i) out << (i ? ", " : "") << name;
                                out << "\n";
                                print_via_file(out, [&](FILE* f) { stats.print_info(f); });
                              }),
                      print_bytes, counts}));
}

// ---- sync, flush, query, cleanup

table_ptr sync_table() {
  std::vector<parse_arg> register_args = {text("label"), text("tag", true)};
  for (int i = 0; i < 11; ++i) register_args.push_back(text("federate name or id", true));
  return table(
      "Synchronization Point Control",
      {command("register", "- register a new synchronization point", register_args,
               [](console_terminal& t, std::ostream& out, const values& v) {
                 if (!joined(t, out)) return;
                 const user_tag tag(v[1].present ? v[1].text.c_str() : "");
                 federate_handle_set federates;
                 for (size_t i = 2; i < v.size(); ++i) {
                   if (!v[i].present) continue;
                   const unsigned handle = find_federate(t.ldm(), v[i].text);
                   if (!handle) {
                     out << "Unable to find federate " << v[i].text << "\n";
                     return;
                   }
                   federates.insert(handle);
                 }
                 if (federates.empty())
                   t.ldm().register_federation_synchronization_point(v[0].text.c_str(), tag);
                 else
                   t.ldm().register_federation_synchronization_point(v[0].text.c_str(), tag, federates);
               }),
       command("list", "- list all pending synchronization points", {},
               [](console_terminal& t, std::ostream& out, const values&) {
                 if (joined(t, out)) t.ldm().get_syncpoint_manager()->list(out);
               }),
       command("force", "- force a synchronization point to be completed", {text("label")},
               [](console_terminal& t, std::ostream& out, const values& v) {
                 if (joined(t, out)) t.ldm().get_syncpoint_manager()->force(v[0].text.c_str());
               })});
}

// The objects a flush or cleanup selector names; all objects for all_remotes and my_objects.
using object_filter = std::function<bool(console_terminal&, const object_entry&, const std::string&)>;

std::vector<uint32_t> selected_objects(console_terminal& t, const object_filter& keep, const std::string& word) {
  std::vector<uint32_t> chosen;
  const ddb& db = *t.ldm().get_ddb();
  for (uint32_t handle : db.object_handles())
    if (const object_entry* o = db.object(handle); o && keep(t, *o, word)) chosen.push_back(handle);
  return chosen;
}

struct selector {
  const char* name;
  const char* argument;  // null: none
  object_filter keep;
};

// The first selector takes every object (flush) or every object of this federate (cleanup).
std::vector<selector> selectors(const char* everything, bool mine) {
  return {
      {everything, nullptr, [mine](console_terminal&, const object_entry& o, const std::string&) { return !mine || o.has_local; }},
      {"federate", "name or id of federate",
       [](console_terminal& t, const object_entry& o, const std::string& w) {
         const unsigned f = find_federate(t.ldm(), w);
         return f && (o.last_sender == f || (f == t.ldm().get_federate_id() && o.has_local));
       }},
      {"class", "name or id of class",
       [](console_terminal& t, const object_entry& o, const std::string& w) {
         return o.object_class->handle ==
                number_or(w, [&](const char* n) { return t.ldm().get_fed()->get_object_class_handle(n); });
       }},
      {"stream", "stream number",
       [](console_terminal&, const object_entry& o, const std::string& w) {
         const long stream = std::strtol(w.c_str(), nullptr, 0);
         return std::find(o.stream.begin(), o.stream.end(), stream) != o.stream.end();
       }},
      {"transport", "name or id of transport",
       [](console_terminal& t, const object_entry& o, const std::string& w) {
         const uint32_t id = number_or(w, [&](const char* n) { return t.ldm().get_fed()->get_transport_id(n); });
         for (uint32_t a = 0; a < o.object_class->attribute_count; ++a)
           if (t.ldm().get_ddb()->get_transport_type(o.handle, a) == id) return true;
         return false;
       }},
      {"object", "name or id of object",
       [](console_terminal& t, const object_entry& o, const std::string& w) { return find_object(t, w) == &o; }},
  };
}

table_ptr object_repair_table(const char* heading, const char* everything, bool cleanup,
                              const std::map<std::string, std::string>& help) {
  std::vector<parse_keyword> keywords;
  for (const selector& s : selectors(everything, cleanup)) {
    std::vector<parse_arg> args;
    if (s.argument) args.push_back(text(s.argument));
    keywords.push_back(command(s.name, help.at(s.name), args,
                               [keep = s.keep, cleanup](console_terminal& t, std::ostream& out, const values& v) {
                                 if (!joined(t, out)) return;
                                 object_manager& om = *t.ldm().get_object_manager();
                                 size_t done = 0;
                                 for (uint32_t object : selected_objects(t, keep, v.empty() ? "" : v[0].text)) {
                                   if (cleanup) {
                                     om.cleanup_object(object);
                                     ++done;
                                   } else if (om.flush_remote_object(object)) {
                                     ++done;
                                   }
                                 }
                                 out << (cleanup ? "Deleted " : "Flushed ") << done << " objects\n";
                               }));
  }
  return table(heading, std::move(keywords));
}

table_ptr flush_table() {
  return object_repair_table(
      "Remote Object Cleanup Commands", "all_remotes", false,
      {{"all_remotes", "- pretend all remote objects were deleted"},
       {"federate", "- pretend all remote objects from a federate were deleted"},
       {"class", "- pretend all remote objects of a class were deleted"},
       {"stream", "- pretend all remote objects on a stream were deleted"},
       {"transport", "- pretend all remote objects with a transport were deleted"},
       {"object", "- pretend a particular remote object was deleted"}});
}

table_ptr query_table() {
  const std::vector<parse_arg> print_args = {number("query number"), choice("form", {"succinct", "detailed"}),
                                             text("regex to search federate names for", true)};
  return table(
      "Federation Status Query Commands",
      {command("query", "- query all federates for status", {},
               [](console_terminal& t, std::ostream& out, const values&) {
                 out << "Query " << t.ldm().get_status_query_monitor().ask() << " sent\n";
               }),
       command("show", "- print all known queries", {},
               [](console_terminal& t, std::ostream& out, const values&) {
                 t.ldm().get_status_query_monitor().print_queries(out);
               }),
       command("print_feds", "- print federate-centric status", print_args,
               [](console_terminal& t, std::ostream& out, const values& v) {
                 status_query_monitor& monitor = t.ldm().get_status_query_monitor();
                 const bool detailed = v[1].present && v[1].number == 1;
                 const status_query_monitor::query* q = monitor.find_query(uint32_t(v[0].number));
                 if (!q) {
                   out << "No query " << v[0].number << "\n";
                   return;
                 }
                 if (detailed && !v[2].present) return monitor.print_answers(q->number, out);
                 for (const status_snapshot& s : q->answers) {
                   if (v[2].present && s.federate_name.find(v[2].text) == std::string::npos) continue;
                   if (detailed)
                     status_query_monitor::print_snapshot(s, out);
                   else
                     out << "  " << s.federate_name << " on " << s.host_name << " in " << s.federation_name << "\n";
                 }
               }),
       command("print_routers", "- print router-centric status", print_args,
               [](console_terminal&, std::ostream& out, const values&) { out << "No router is running.\n"; }),
       command("delete", "- remove results of a status query", {number("query number")},
               [](console_terminal& t, std::ostream& out, const values& v) {
                 if (!t.ldm().get_status_query_monitor().forget_query(uint32_t(v[0].number)))
                   out << "No query " << v[0].number << "\n";
               })});
}

// ---- ping and connect

void start_ping(console_terminal& t, std::ostream& out, int64_t stream, const std::string* federate, const values& v,
                size_t tail) {
  if (!joined(t, out)) return;
  unsigned target = 0;
  if (federate) {
    target = find_federate(t.ldm(), *federate);
    const char* name = target ? t.ldm().get_federate_name(target) : "";
    if (!*name) {
      out << "Unable to find federate " << *federate << "\n";
      return;
    }
  }
  if (stream < 0 || stream > ping_message::max_stream) {
    out << "No stream " << stream << "\n";
    return;
  }
  const uint32_t count = v[tail].present && v[tail].number > 0 ? uint32_t(v[tail].number) : ping::count_for_zero;
  const int64_t asked = v[tail + 1].present ? v[tail + 1].number : ping::min_period_ms;
  const uint32_t period = uint32_t(std::max<int64_t>(asked, ping::min_period_ms));
  char line[160];
  if (!federate)
    std::snprintf(line, sizeof line, "Pinging stream %d : %u x %ums\n", int(stream), count, period);
  else if (tail == 1)
    std::snprintf(line, sizeof line, "Pinging federate %u (%s) : %u x %ums\n", target, t.ldm().get_federate_name(target),
                  count, period);
  else
    std::snprintf(line, sizeof line, "Pinging federate %u (%s) stream %d : %u x %ums\n", target,
                  t.ldm().get_federate_name(target), int(stream), count, period);
  out << line;
  t.ldm().get_ping()->start(int(stream), target, count, period);
}

table_ptr ping_table() {
  const std::vector<parse_arg> tail = {number("count", true), number("period in ms", true)};
  auto with = [&](std::vector<parse_arg> first) {
    first.insert(first.end(), tail.begin(), tail.end());
    return first;
  };
  return table(
      "Ping Commands",
      {command("stream", "- ping all federates on a stream", with({number("stream id")}),
               [](console_terminal& t, std::ostream& out, const values& v) { start_ping(t, out, v[0].number, nullptr, v, 1); }),
       command("federate", "- ping a particular federate", with({text("federate name or id")}),
               [](console_terminal& t, std::ostream& out, const values& v) {
                 start_ping(t, out, ping::reply_stream, &v[0].text, v, 1);
               }),
       command("fedstream", "- ping a particular federate on a stream",
               with({number("stream id"), text("federate name or id")}),
               [](console_terminal& t, std::ostream& out, const values& v) { start_ping(t, out, v[0].number, &v[1].text, v, 2); }),
       command("stop", "- stop pinging", {}, [](console_terminal& t, std::ostream& out, const values&) {
         if (joined(t, out) && !t.ldm().get_ping()->stop()) out << "No ping in progress.\n";
       })});
}

// The table that `rti` opens, before `enable`; built once, its groups shared by every copy.
table_ptr debugging_commands() {
  static const table_ptr commands = table(
      "RTI Debugging Commands",
      {group("print", "- data examination commands", print_table()), debug_group(), stats_group(),
       group("ping", "- connectivity and latency tracking commands", ping_table()),
       group("sync", "- synchronization point commands", sync_table()),
       group("flush", "- remote object flushing commands", flush_table()),
       group("query", "- federation status query commands", query_table()),
       command("connect", "- connect to another federate's command line", {text("federate to connect to")},
               [](console_terminal& t, std::ostream& out, const values& v) {
                 if (joined(t, out)) t.ldm().get_remterm_manager()->connect(t, v[0].text);
               }),
       command("shutdown", "- make all federates in this federation exit", {},
               [](console_terminal& t, std::ostream& out, const values&) {
                 if (joined(t, out)) t.ldm().get_federation_manager().request_shutdown();
               }),
       command("enable", "- make dangerous commands available", {},
               [](console_terminal& t, std::ostream&, const values&) { t.enable(); }),
       command("quit", "- make application exit", {},
               [](console_terminal& t, std::ostream&, const values&) {
                 t.ldm().get_federation_manager().end_process("Exiting on console request.", 0);
               })});
  return commands;
}

}  // namespace

unsigned find_federate(local_distribution_manager& ldm, const std::string& word) {
  return number_or(word, [&](const char* pattern) -> unsigned {
    // Several matches name no one: the leading digits a number parse would take could be anyone.
    if (ldm.get_num_matching_federates(pattern) != 1) return 0;
    unsigned handle = 0;
    ldm.get_matching_federates(pattern, &handle);
    return handle;
  });
}

bool is_plain_file_name(const std::string& name) {
  if (name.empty() || name.size() > 255 || name.front() == '.') return false;
  return std::none_of(name.begin(), name.end(), [](char c) { return c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

console_terminal::console_terminal(local_distribution_manager& ldm, parser::writer_buf::writer out, bool from_network,
                                   parser::writer_buf::writer direct)
    : parser::parse_context(out), ldm_(ldm), from_network_(from_network), direct_(direct ? std::move(direct) : std::move(out)) {}

console_terminal::~console_terminal() {
  if (remterm_manager* remterm = ldm_.get_remterm_manager()) remterm->forget_terminal(*this);
}

void console_terminal::show_direct(const std::string& text) {
  std::lock_guard lock(parser::parse_lock());
  direct_(text.data(), text.size());
}

void console_terminal::start(const std::string& prompt) {
  rti_ = std::make_shared<parser::parse_table>(*debugging_commands());
  parser::ParseInit(*this, table("     Commands", {group("rti", "- rti debug commands", rti_)}), prompt);
}

void console_terminal::enable() {
  static const table_ptr cleanup = object_repair_table(
      "Object Cleanup Commands", "my_objects", true,
      {{"my_objects", "- delete all my objects"},
       {"federate", "- delete all of another federate's objects"},
       {"class", "- delete all objects of a specified class"},
       {"stream", "- delete all objects on a specified stream"},
       {"transport", "- delete all objects with a specified transport"},
       {"object", "- delete an object, regardless of who owns it"}});
  set_enabled(true);
  parser::ParseAddTable(*rti_, group("cleanup", "- object cleanup commands", cleanup));
}

}  // namespace varnel
