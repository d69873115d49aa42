#include "support/record_array.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

namespace kestrune {

void RecordArray::Init(std::uint32_t recordSize, std::int32_t growStep) {
  Destroy();
  m_recordSize = recordSize;
  m_growStep = growStep;
}

bool RecordArray::Configure(std::uint32_t recordSize, std::int32_t growStep) {
  if (growStep >= 0) {
    m_growStep = growStep;
  }
  if (recordSize != 0) {
    if (m_count != 0) {
      return false;
    }
    m_recordSize = recordSize;
  }
  return true;
}

std::uint32_t RecordArray::GrownCapacity(std::uint32_t n) const {
  // Computed wide so that a huge request fails as an allocation failure instead of wrapping.
  const std::uint64_t wanted = std::uint64_t{m_capacity} + n;
  std::uint64_t grown;
  if (m_growStep != 0) {
    const auto step = static_cast<std::uint32_t>(m_growStep);
    grown = (wanted / step + 1) * step;
  } else {
    grown = std::max<std::uint64_t>(wanted * 3 / 2, 16);
  }
  if (grown > UINT32_MAX || std::uint64_t{m_count} + n > grown) {
    throw std::bad_alloc();
  }
  return static_cast<std::uint32_t>(grown);
}

std::uint32_t RecordArray::Insert(const void* records, std::uint32_t index, std::int32_t n) {
  if (index > m_count) {
    index = m_count;
  }
  if (n <= 0) {
    return index;
  }
  const auto added = static_cast<std::uint32_t>(n);
  // Copy the records first: a failed allocation then leaves the array as it was.
  std::vector<std::unique_ptr<std::byte[]>> copies;
  copies.reserve(added);
  const auto* source = static_cast<const std::byte*>(records);
  for (std::uint32_t k = 0; k < added; ++k) {
    copies.push_back(std::make_unique_for_overwrite<std::byte[]>(m_recordSize));
    std::memcpy(copies.back().get(), source + std::size_t{k} * m_recordSize, m_recordSize);
  }
  if (std::uint64_t{m_count} + added <= m_capacity) {
    std::memmove(&m_slots[index + added], &m_slots[index], (m_count - index) * sizeof(std::byte*));
  } else {
    const std::uint32_t capacity = GrownCapacity(added);
    auto slots = std::make_unique<std::byte*[]>(capacity);
    if (m_count != 0) {
      std::memcpy(&slots[0], &m_slots[0], index * sizeof(std::byte*));
      std::memcpy(&slots[index + added], &m_slots[index], (m_count - index) * sizeof(std::byte*));
    }
    m_slots = std::move(slots);
    m_capacity = capacity;
  }
  for (std::uint32_t k = 0; k < added; ++k) {
    m_slots[index + k] = copies[k].release();
  }
  m_count += added;
  return index;
}

void* RecordArray::At(std::uint32_t index) {
  return index < m_count ? m_slots[index] : nullptr;
}

const void* RecordArray::At(std::uint32_t index) const {
  return index < m_count ? m_slots[index] : nullptr;
}

const void* RecordArray::GetCopy(std::uint32_t index, void* out) const {
  if (index >= m_count || out == nullptr) {
    return nullptr;
  }
  std::memcpy(out, m_slots[index], m_recordSize);
  return m_slots[index];
}

void RecordArray::Sort(const Compare& compare, std::int32_t first, std::int32_t end,
                       bool descending) {
  if (first < 0) {
    first = 0;
  }
  if (first >= static_cast<std::int64_t>(m_count)) {
    return;
  }
  if (static_cast<std::uint32_t>(end) > m_count) {
    end = static_cast<std::int32_t>(m_count);
  }
  // Fewer than two records: nothing to compare.
  if (first >= end - 1) {
    return;
  }
  const auto c = [&](std::int32_t a, std::int32_t b) {
    const int result = compare(*this, a, b);
    return descending ? -result : result;
  };
  // The longer part is always the one deferred, so fewer than log2(2^31) ranges are ever pending.
  std::array<std::pair<std::int32_t, std::int32_t>, 30> deferred;
  std::size_t pending = 0;
  std::int32_t lo = first;
  std::int32_t hi = end - 1;
  for (;;) {
    SwapSlots((lo + hi) >> 1, lo);
    std::int32_t i = lo;
    std::int32_t j = hi + 1;
    for (;;) {
      do {
        ++i;
      } while (i <= hi && c(i, lo) <= 0);
      do {
        --j;
      } while (j > lo && c(j, lo) >= 0);
      if (j < i) {
        break;
      }
      SwapSlots(i, j);
    }
    SwapSlots(lo, j);
    const bool leftLong = lo + 1 < j;
    const bool rightLong = i < hi;
    std::pair<std::int32_t, std::int32_t> left{lo, j - 1};
    std::pair<std::int32_t, std::int32_t> right{i, hi};
    bool haveNext = false;
    std::pair<std::int32_t, std::int32_t> next;
    if (j - 1 - lo < hi - i) {
      if (rightLong) {
        deferred[pending++] = right;
      }
      if (leftLong) {
        next = left;
        haveNext = true;
      }
    } else {
      if (leftLong) {
        deferred[pending++] = left;
      }
      if (rightLong) {
        next = right;
        haveNext = true;
      }
    }
    if (!haveNext) {
      if (pending == 0) {
        return;
      }
      next = deferred[--pending];
    }
    lo = next.first;
    hi = next.second;
  }
}

void RecordArray::Destroy() {
  for (std::uint32_t k = 0; k < m_count; ++k) {
    delete[] m_slots[k];
  }
  m_slots.reset();
  m_count = 0;
  m_capacity = 0;
}

}  // namespace kestrune
