// Copying the SDK's lists into standard vectors.
#pragma once

#include <vector>

#include "camsdk/List.h"

namespace CamSdk {

// size() is asked again before every element, so a list that shrinks while it is copied is
// never read past its end; a negative size gives an empty vector. If anything throws, the
// partly filled vector is released with the stack and no partial list reaches the caller.
template <class T>
std::vector<T> List<T>::toStdVector() const {
  std::vector<T> items;
  for (int index = 0; index < size(); ++index) items.push_back((*this)[index]);
  return items;
}

}  // namespace CamSdk
