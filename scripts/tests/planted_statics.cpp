// A library that breaks the no-mutable-statics rule on purpose, so the
// hygiene check can be seen to catch each kind. Never linked into a product.
#include <cstdint>

int planted_global_counter = 7;           // .data
static std::int64_t planted_file_state;   // .bss
thread_local int planted_thread_state;    // .tbss

// Constant tables are fine, with or without relocations.
extern const int planted_const_table[4];
const int planted_const_table[4] = {1, 2, 3, 4};
extern const char* const planted_const_names[2];
const char* const planted_const_names[2] = {"a", "b"};

int PlantedTouch() {
  static int planted_function_state = 0;  // function-local static
  planted_file_state += planted_const_table[1];
  ++planted_thread_state;
  return ++planted_function_state + planted_const_names[0][0];
}
