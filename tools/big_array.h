#pragma once
// A growable array of plain elements in a memory mapping of its own.
//
// The merge holds tens of millions of numbers and lines. A std::vector that
// grows copies itself into a block twice its size, so for a moment it needs
// three times what it holds; here the mapping grows in place or moves with
// mremap, which copies nothing, so the pages in use are all the array ever
// costs. Clear() gives the memory back to the system at once. Failing to map
// raises std::bad_alloc, as new does.

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace tools {

template <typename T>
class BigArray {
  static_assert(std::is_trivially_copyable_v<T> && std::is_trivially_destructible_v<T>);

 public:
  BigArray() = default;
  BigArray(const BigArray&) = delete;
  BigArray& operator=(const BigArray&) = delete;
  BigArray(BigArray&& other) noexcept { Swap(other); }
  BigArray& operator=(BigArray&& other) noexcept {
    if (this != &other) {
      Clear();
      Swap(other);
    }
    return *this;
  }
  ~BigArray() { Clear(); }

  T* data() { return data_; }
  const T* data() const { return data_; }
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T& operator[](std::size_t i) { return data_[i]; }
  const T& operator[](std::size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

  // The bytes of the elements held; what they cost in memory, give or take
  // a page.
  std::size_t Bytes() const { return size_ * sizeof(T); }

  void push_back(const T& value) {
    if (size_ == capacity_) Reserve(size_ + 1);
    data_[size_++] = value;
  }

  // Makes room for `count` more elements and answers where they go; their
  // values are unspecified until written.
  T* Extend(std::size_t count) {
    if (capacity_ - size_ < count) Reserve(size_ + count);
    T* at = data_ + size_;
    size_ += count;
    return at;
  }

  // Elements past the old size are unspecified until written; to a smaller
  // size, the whole pages past it go back to the system.
  void Resize(std::size_t size) {
    if (size > capacity_) Reserve(size);
    if (size < size_) ReturnPagesPast(size);
    size_ = size;
  }

  // Room for at least `capacity` elements: half as much again as asked, so
  // that growing one element at a time costs few remaps.
  void Reserve(std::size_t capacity) {
    if (capacity <= capacity_) return;
    Remap(std::max(capacity, capacity_ + capacity_ / 2));
  }

  // Asks for huge pages for this array from now on: for tables read at
  // random, where a page-table walk for every access would cost as much
  // as the access itself.
  void PreferHugePages() { hugePages_ = true; }

  // Empties the array and returns its memory.
  void Clear() {
    if (data_) ::munmap(data_, mappedBytes_);
    data_ = nullptr;
    size_ = capacity_ = mappedBytes_ = 0;
  }

 private:
  static constexpr std::size_t kPage = 4096;

  void Remap(std::size_t capacity) {
    if (capacity > (~std::size_t{0} - kPage) / sizeof(T)) throw std::bad_alloc();
    const std::size_t bytes = (capacity * sizeof(T) + kPage - 1) / kPage * kPage;
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer does not follow mremap: a moved array's old pages,
    // mapped again elsewhere, would carry their old history.
    void* mapped =
        ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
    if (data_) {
      std::memcpy(mapped, data_, size_ * sizeof(T));
      ::munmap(data_, mappedBytes_);
    }
#else
    void* mapped =
        data_ ? ::mremap(data_, mappedBytes_, bytes, MREMAP_MAYMOVE)
              : ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) throw std::bad_alloc();
#endif
    if (hugePages_) ::madvise(mapped, bytes, MADV_HUGEPAGE);
    data_ = static_cast<T*>(mapped);
    mappedBytes_ = bytes;
    capacity_ = bytes / sizeof(T);
  }

  void ReturnPagesPast(std::size_t size) {
    const std::size_t bytes = (size * sizeof(T) + kPage - 1) / kPage * kPage;
    if (bytes == 0) return Clear();
    if (::mremap(data_, mappedBytes_, bytes, 0) == MAP_FAILED) return;  // then they stay
    mappedBytes_ = bytes;
    capacity_ = bytes / sizeof(T);
  }

  void Swap(BigArray& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
    std::swap(mappedBytes_, other.mappedBytes_);
    std::swap(hugePages_, other.hugePages_);
  }

  T* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
  std::size_t mappedBytes_ = 0;
  bool hugePages_ = false;
};

}  // namespace tools
