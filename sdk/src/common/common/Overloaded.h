// std::visit with one lambda per alternative.
#pragma once

namespace CamSdk {

template <class... F>
struct Overloaded : F... {
  using F::operator()...;
};
template <class... F>
Overloaded(F...) -> Overloaded<F...>;

}  // namespace CamSdk
