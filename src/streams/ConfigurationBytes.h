// Writing single fields of a configuration record by byte position.
//
// The SDK takes each configuration back by value; every byte the viewer does not mean to change
// must return exactly as getConfiguration gave it, padding included. Writing through memcpy at
// fixed offsets touches only the bytes named, whatever the record's field types.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

template <class Record, class Value>
void writeConfigurationBytes(Record& record, std::size_t offset, Value value) {
  static_assert(std::is_trivially_copyable<Record>::value, "configuration records are plain data");
  static_assert(std::is_integral<Value>::value, "configuration fields are written as integers");
  static_assert(sizeof(Value) <= sizeof(Record), "field wider than the record");
  std::memcpy(reinterpret_cast<unsigned char*>(&record) + offset, &value, sizeof(Value));
}
