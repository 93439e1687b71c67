#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "platform/ex/rtlstring.h"
#include "platform/reg/rtlregistry.h"

namespace {

struct Rule {
  const char* what;
  std::function<void()> breach;
  const char* diagnostic;  // the fatal message it must end with
};

NTSTATUS Ignore(PWSTR, ULONG, PVOID, ULONG, PVOID, PVOID) { return 0; }

void QueryWithEntry(RTL_QUERY_REGISTRY_TABLE entry) {
  plat::reg::Registry registry;
  ULONG value = 0;
  entry.Name = const_cast<PWSTR>(u"x");
  entry.EntryContext = &value;
  RTL_QUERY_REGISTRY_TABLE table[] = {entry, {}};
  plat::reg::QueryRegistryValues(registry, RTL_REGISTRY_ABSOLUTE, u"\\Registry\\Machine", table);
}

TEST(ExDiagnostics, EachRuleStopsTheMachineWithItsMessage) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  WCHAR units[4] = {u'a', u'b', u'c', 0};
  const Rule rules[] = {
      {"odd length",
       [&] {
         UNICODE_STRING s{3, 8, units};
         RtlEqualUnicodeString(&s, &s, TRUE);
       },
       R"(FATAL \[unicode-string\]: RtlEqualUnicodeString: odd Length)"},
      {"length above maximum",
       [&] {
         UNICODE_STRING s{6, 4, units};
         RtlAppendUnicodeToString(&s, u"d");
       },
       R"(FATAL \[unicode-string\]: RtlAppendUnicodeToString: Length above MaximumLength)"},
      {"length without a buffer",
       [&] {
         UNICODE_STRING s{2, 2, nullptr};
         ULONG value = 0;
         RtlUnicodeStringToInteger(&s, 10, &value);
       },
       R"(FATAL \[unicode-string\]: RtlUnicodeStringToInteger: Length without a Buffer)"},
      {"query table callback",
       [] {
         QueryWithEntry({Ignore, RTL_QUERY_REGISTRY_DIRECT, nullptr, nullptr, 0, nullptr, 0});
       },
       R"(FATAL \[query-table\]: .*callback form)"},
      {"query table without DIRECT",
       [] {
         QueryWithEntry({nullptr, 0, nullptr, nullptr, 0, nullptr, 0});
       },
       R"(FATAL \[query-table\]: .*callback form)"},
      {"query table subkey entry",
       [] {
         QueryWithEntry({nullptr, RTL_QUERY_REGISTRY_DIRECT | RTL_QUERY_REGISTRY_SUBKEY, nullptr,
                         nullptr, 0, nullptr, 0});
       },
       R"(FATAL \[query-table\]: SUBKEY)"},
  };
  for (const auto& rule : rules) {
    EXPECT_DEATH(rule.breach(), rule.diagnostic) << rule.what;
  }
}

}  // namespace
