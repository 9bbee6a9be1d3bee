// The SDK's own list type. Its contents live behind a storage interface so that the SDK can
// hand out lists of any origin; the program copies them into standard vectors with
// toStdVector(), which the program itself defines.
#pragma once

#include <memory>
#include <utility>
#include <vector>

namespace CamSdk {

template <class T>
class ListStorage {
 public:
  virtual ~ListStorage() = default;
  virtual int size() const = 0;
  virtual const T& at(int index) const = 0;
};

template <class T>
class VectorListStorage final : public ListStorage<T> {
 public:
  explicit VectorListStorage(std::vector<T> items) : items_(std::move(items)) {}
  int size() const override { return static_cast<int>(items_.size()); }
  const T& at(int index) const override { return items_.at(static_cast<std::size_t>(index)); }

 private:
  std::vector<T> items_;
};

template <class T>
class List {
 public:
  List() = default;
  explicit List(std::vector<T> items)
      : storage_(std::make_shared<VectorListStorage<T>>(std::move(items))) {}
  explicit List(std::shared_ptr<const ListStorage<T>> storage) : storage_(std::move(storage)) {}

  int size() const { return storage_ ? storage_->size() : 0; }
  // Bounds are checked by the storage (std::out_of_range for the vector storage).
  const T& operator[](int index) const { return storage_->at(index); }

  // Every element copied, in index order. Defined by the program, not by the SDK.
  std::vector<T> toStdVector() const;

 private:
  std::shared_ptr<const ListStorage<T>> storage_;
};

}  // namespace CamSdk
