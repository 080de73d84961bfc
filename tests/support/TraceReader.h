// Test support: read a start-up trace back (ZQExtensionKit::SetTraceFile(),
// ZQEXT_TRACE) and check the properties every trace must have.
//
// ReadTrace() parses the file with the kit's strict JSON reader and returns
// its events: the complete events ("ph": "X") as spans, and the names the
// metadata events give the process's threads. TraceProblems() lists what is
// wrong with a trace as a viewer would see it: a complete event without
// pid, tid, ts or dur, a negative duration, or two spans of one thread that
// overlap without one holding the other. Header-only; uses GoogleTest only
// through the values it returns.

#ifndef TESTS_SUPPORT_TRACEREADER_H_
#define TESTS_SUPPORT_TRACEREADER_H_

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/json/json_reader.h"
#include "base/values.h"

namespace zqextensionkit {
namespace test {

struct TraceSpan {
  std::string name;
  std::string category;
  int tid = 0;
  // In nanoseconds, read from the microseconds of the file.
  int64_t ts = 0;
  int64_t dur = 0;
  std::map<std::string, std::string> args;  // Numbers as their text.

  std::string Arg(const std::string& key) const {
    auto it = args.find(key);
    return it == args.end() ? std::string() : it->second;
  }
  bool Holds(const TraceSpan& other) const {
    return tid == other.tid && ts <= other.ts &&
           other.ts + other.dur <= ts + dur;
  }
};

struct Trace {
  bool parsed = false;
  std::string error;             // Why it did not parse.
  std::vector<TraceSpan> spans;  // In file order.
  std::map<int, std::string> thread_names;
  std::string process_name;
  // Complete events lacking pid, tid, ts or dur, by index in traceEvents.
  std::vector<size_t> incomplete;

  std::vector<const TraceSpan*> Named(const std::string& name) const {
    std::vector<const TraceSpan*> found;
    for (const TraceSpan& span : spans) {
      if (span.name == name)
        found.push_back(&span);
    }
    return found;
  }
  // The innermost span that holds `span`, or null. A span ends after the
  // spans it holds, so of two spans of the same extent the later in the
  // file holds the earlier.
  const TraceSpan* Parent(const TraceSpan& span) const {
    const TraceSpan* parent = nullptr;
    for (const TraceSpan& other : spans) {
      const bool holds =
          other.Holds(span) && (other.dur > span.dur || &other > &span);
      if (holds && (!parent || other.dur < parent->dur))
        parent = &other;
    }
    return parent;
  }
  std::string ThreadName(int tid) const {
    auto it = thread_names.find(tid);
    return it == thread_names.end() ? std::string() : it->second;
  }
};

// "12.345" microseconds as 12345 nanoseconds (what the kit writes); false
// for anything that is not a number.
inline bool MicrosecondsToNs(const base::Value& value, int64_t* ns) {
  double number = 0;
  if (!value.GetAsDouble(&number))
    return false;
  *ns = static_cast<int64_t>(number * 1000 + (number < 0 ? -0.5 : 0.5));
  return true;
}

inline Trace ReadTrace(const std::string& path) {
  Trace trace;
  std::ifstream in(path, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)),
                         std::istreambuf_iterator<char>());
  if (!in && text.empty()) {
    trace.error = "cannot read " + path;
    return trace;
  }
  int code = 0;
  std::string message;
  std::unique_ptr<base::Value> root = base::JSONReader::ReadAndReturnError(
      text, base::JSON_PARSE_RFC, &code, &message);
  const base::DictionaryValue* dict = nullptr;
  const base::ListValue* events = nullptr;
  if (!root || !root->GetAsDictionary(&dict) ||
      !dict->GetList("traceEvents", &events)) {
    trace.error = "not a trace: " + message;
    return trace;
  }
  trace.parsed = true;
  for (size_t i = 0; i < events->GetSize(); ++i) {
    const base::DictionaryValue* event = nullptr;
    std::string ph;
    if (!events->GetDictionary(i, &event) || !event->GetString("ph", &ph))
      continue;
    int tid = 0;
    int pid = 0;
    const bool has_ids =
        event->GetInteger("tid", &tid) && event->GetInteger("pid", &pid);
    if (ph == "M") {
      std::string kind;
      std::string name;
      event->GetString("name", &kind);
      event->GetString("args.name", &name);
      if (kind == "thread_name")
        trace.thread_names[tid] = name;
      else if (kind == "process_name")
        trace.process_name = name;
      continue;
    }
    if (ph != "X")
      continue;
    TraceSpan span;
    span.tid = tid;
    event->GetString("name", &span.name);
    event->GetString("cat", &span.category);
    const base::Value* ts = nullptr;
    const base::Value* dur = nullptr;
    if (!has_ids || !event->Get("ts", &ts) || !event->Get("dur", &dur) ||
        !MicrosecondsToNs(*ts, &span.ts) ||
        !MicrosecondsToNs(*dur, &span.dur) || span.dur < 0) {
      trace.incomplete.push_back(i);
    }
    const base::DictionaryValue* args = nullptr;
    if (event->GetDictionary("args", &args)) {
      for (base::DictionaryValue::Iterator it(*args); !it.IsAtEnd();
           it.Advance()) {
        std::string value;
        int number = 0;
        if (!it.value().GetAsString(&value) &&
            it.value().GetAsInteger(&number)) {
          value = std::to_string(number);
        }
        span.args[it.key()] = value;
      }
    }
    trace.spans.push_back(std::move(span));
  }
  return trace;
}

// What is wrong with `trace`, one line each; empty for a sound trace.
inline std::vector<std::string> TraceProblems(const Trace& trace) {
  std::vector<std::string> problems;
  if (!trace.parsed)
    return {trace.error};
  for (size_t index : trace.incomplete) {
    problems.push_back("complete event " + std::to_string(index) +
                       " lacks pid, tid, ts or dur");
  }
  // Per thread, in order of start (the longer first at equal starts):
  // each span ends before the next starts, or holds it.
  std::map<int, std::vector<const TraceSpan*>> by_thread;
  for (const TraceSpan& span : trace.spans)
    by_thread[span.tid].push_back(&span);
  for (auto& [tid, spans] : by_thread) {
    std::stable_sort(spans.begin(), spans.end(),
                     [](const TraceSpan* a, const TraceSpan* b) {
                       return a->ts != b->ts ? a->ts < b->ts : a->dur > b->dur;
                     });
    std::vector<const TraceSpan*> open;
    for (const TraceSpan* span : spans) {
      while (!open.empty() && open.back()->ts + open.back()->dur <= span->ts)
        open.pop_back();
      if (!open.empty() && !open.back()->Holds(*span)) {
        problems.push_back("on thread " + std::to_string(tid) + ", " +
                           span->name + " overlaps " + open.back()->name +
                           " without nesting in it");
      }
      open.push_back(span);
    }
  }
  return problems;
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_TRACEREADER_H_
