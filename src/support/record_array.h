#pragma once
// A growable array of fixed-size records. Every record lives in its own heap block, so a pointer
// to a record stays valid while the array grows or sorts: only the slot pointers move.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>

namespace kestrune {

class RecordArray {
 public:
  // Returns <0, 0 or >0 when the record at position a belongs before, level with or after the
  // record at position b; it reads the records itself through At.
  using Compare = std::function<int(const RecordArray& array, std::int32_t a, std::int32_t b)>;

  RecordArray(std::uint32_t recordSize = 4, std::int32_t growStep = 0) {
    Init(recordSize, growStep);
  }
  ~RecordArray() { Destroy(); }
  RecordArray(const RecordArray&) = delete;
  RecordArray& operator=(const RecordArray&) = delete;

  // Empties the array and sets its record size and grow step.
  void Init(std::uint32_t recordSize, std::int32_t growStep);
  // A negative grow step keeps the current one; a record size of 0 keeps the current one, and a
  // new record size is refused (false) while records are held.
  bool Configure(std::uint32_t recordSize, std::int32_t growStep);
  // Copies n records (back to back in `records`) so that the first lands at `index`; an index
  // beyond the end appends. Returns the index of the first new record.
  std::uint32_t Insert(const void* records, std::uint32_t index, std::int32_t n);
  // The stored record, or null when index >= Count().
  void* At(std::uint32_t index);
  const void* At(std::uint32_t index) const;
  // Copies the record at index into `out` and returns the stored record; null (nothing copied)
  // when the index is out of range or `out` is null.
  const void* GetCopy(std::uint32_t index, void* out) const;
  // Sorts positions first..end-1 (end -1: to the end of the array). Not stable.
  void Sort(const Compare& compare, std::int32_t first, std::int32_t end, bool descending);
  // Frees every record and the slot block.
  void Destroy();

  std::uint32_t Count() const { return m_count; }
  std::uint32_t Capacity() const { return m_capacity; }
  std::uint32_t RecordSize() const { return m_recordSize; }
  std::int32_t GrowStep() const { return m_growStep; }

 private:
  std::uint32_t GrownCapacity(std::uint32_t n) const;
  void SwapSlots(std::int32_t a, std::int32_t b) { std::swap(m_slots[a], m_slots[b]); }

  std::uint32_t m_count = 0;
  std::uint32_t m_recordSize = 4;
  std::int32_t m_growStep = 0;
  std::uint32_t m_capacity = 0;
  std::unique_ptr<std::byte*[]> m_slots;
};

}  // namespace kestrune
