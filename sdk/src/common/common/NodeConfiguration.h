// One node's configuration record with its kind, kept byte for byte, padding included: a
// client is entitled to read back exactly the bytes of the record it set, and a plain struct
// copy may leave padding bytes behind. Every layer passes configurations in this one form.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "camsdk/Exceptions.h"
#include "common/NodeKinds.h"

namespace CamSdk {
namespace detail {

class NodeConfiguration {
 public:
  NodeConfiguration() = default;  // no record: a node of a kind the SDK does not stream

  // Any kind's record converts, so that callers pass their kind's record as it is.
  template <class Configuration, NodeKind kKind = kindConfiguredBy<Configuration>(),
            class = std::enable_if_t<kKind != NodeKind::Other>>
  NodeConfiguration(const Configuration& record)  // NOLINT(google-explicit-constructor)
      : kind_(kKind), bytes_(sizeof record) {
    static_assert(std::is_trivially_copyable<Configuration>::value, "records cross as bytes");
    std::memcpy(bytes_.data(), &record, sizeof record);
  }

  // Nothing when `bytes` are not one record of `kind`.
  static std::optional<NodeConfiguration> fromBytes(NodeKind kind,
                                                    std::vector<std::uint8_t> bytes) {
    std::optional<NodeConfiguration> made;
    withKind(kind, [&](auto tag) {
      if (bytes.size() != sizeof(typename decltype(tag)::Node::Configuration)) return;
      made.emplace();
      made->kind_ = kind;
      made->bytes_ = std::move(bytes);
    });
    return made;
  }

  bool isSet() const { return !bytes_.empty(); }
  NodeKind kind() const { return kind_; }
  const std::vector<std::uint8_t>& bytes() const { return bytes_; }

  // The record as N's; raises InvalidOperationException when it is another kind's.
  template <class N>
  typename N::Configuration as() const {
    if (kind_ != N::nodeKind) {
      throw InvalidOperationException(std::string("a ") + nodeKindName(kind_) +
                                      " configuration is not a " + nodeKindName(N::nodeKind) +
                                      " one");
    }
    typename N::Configuration record;
    std::memcpy(static_cast<void*>(&record), bytes_.data(), sizeof record);
    return record;
  }

  // Calls f(KindTag<N>{}, N's record) for the record's kind; nothing for no record.
  template <class F>
  void visit(F&& f) const {
    withKind(kind_, [&](auto tag) { f(tag, as<typename decltype(tag)::Node>()); });
  }

 private:
  NodeKind kind_ = NodeKind::Other;
  std::vector<std::uint8_t> bytes_;
};

}  // namespace detail
}  // namespace CamSdk
