// The journal: one JSON object per line for every entry-point call and every
// event of the simulated host, appended and written through at once so that a
// test reading the file sees each line as soon as the call returns. Owned by the
// simulator; not thread-safe on its own.
#pragma once

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include <functional>
#include <string>

namespace clisitef_sim {

using JsonWriter = rapidjson::Writer<rapidjson::StringBuffer>;

class Journal {
 public:
  // An empty path turns the journal off.
  void SetPath(const std::string& path) { FPath = path; }
  const std::string& path() const { return FPath; }

  // Writes {"seq":N,"at":"<local time>", ...members written by `fill`...}.
  void Write(const std::function<void(JsonWriter&)>& fill);

 private:
  std::string FPath;
  long FSeq = 0;
};

// Helpers that keep the call sites short. Strings are UTF-8.
void Member(JsonWriter& w, const char* key, const std::string& value);
void Member(JsonWriter& w, const char* key, int value);

}  // namespace clisitef_sim
