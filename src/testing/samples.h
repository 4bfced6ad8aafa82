// Sample values shared by the unit tests and the fuzzers: no test framework
// is needed to use them.
#ifndef OLVIX_TESTING_SAMPLES_H_
#define OLVIX_TESTING_SAMPLES_H_

#include <ctime>
#include <utility>

#include "config/records.h"
#include "manager/letter.h"

namespace olvix::testing {

// A local time as a date is written: TimeOf(2002, 3, 5) is 5 March 2002.
inline std::tm TimeOf(int year, int month, int day, int hour = 0, int min = 0, int sec = 0) {
  std::tm tm{};
  tm.tm_year = year - 1900;
  tm.tm_mon = month - 1;
  tm.tm_mday = day;
  tm.tm_hour = hour;
  tm.tm_min = min;
  tm.tm_sec = sec;
  return tm;
}

// A letter from 2:100/10 to the point 2:100/1.3 with every text field set.
inline EchoMessage SampleMessage() {
  EchoMessage m;
  m.origin = {2, 100, 10, 0};
  m.destination = {2, 100, 1, 3};
  m.from_name = "Olvix";
  m.to_name = "Sysop";
  m.subject = "Status changes";
  m.tear_line = "--- Olvix 1.01.08g-Linux";
  m.pid = "Olvix 1.01.08g-Linux";
  m.origin_text = "My station";
  m.attributes = kLetterAttributes;
  return m;
}

// Fileechoes for the purge index: one limited in size, one in age, a
// passthrough one with both limits, one without limits and a short tag.
inline AreaTable PurgeAreas() {
  AreaTable t;
  const struct {
    const char* tag;
    const char* flags;
    int size, age;
  } areas[] = {{"SIZED", "", 100, 0},
               {"AGED", "", 0, 7},
               {"PASS", "P", 100, 7},
               {"PLAIN", "", 0, 0},
               {"A", "", 1, 1}};
  for (const auto& a : areas) {
    AreaRecord r;
    r.tag = a.tag;
    r.flags = a.flags;
    r.size_limit = a.size;
    r.age_limit = a.age;
    t.Add(std::move(r));
  }
  return t;
}

}  // namespace olvix::testing

#endif  // OLVIX_TESTING_SAMPLES_H_
