#include "support/record_array.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

namespace kestrune {
namespace {

std::int32_t ValueAt(const RecordArray& array, std::uint32_t index) {
  std::int32_t value;
  std::memcpy(&value, array.At(index), sizeof value);
  return value;
}

std::vector<std::int32_t> Values(const RecordArray& array) {
  std::vector<std::int32_t> values;
  for (std::uint32_t k = 0; k < array.Count(); ++k) {
    values.push_back(ValueAt(array, k));
  }
  return values;
}

int CompareValues(const RecordArray& array, std::int32_t a, std::int32_t b) {
  const std::int32_t x = ValueAt(array, static_cast<std::uint32_t>(a));
  const std::int32_t y = ValueAt(array, static_cast<std::uint32_t>(b));
  return x < y ? -1 : (x > y ? 1 : 0);
}

TEST(RecordArray, InsertPlacesCopiesAndClampsTheIndex) {
  RecordArray array;
  const std::int32_t first[] = {10, 20, 30};
  EXPECT_EQ(array.Insert(first, 0x7FFFFFFF, 3), 0u);
  const std::int32_t middle[] = {15, 16};
  EXPECT_EQ(array.Insert(middle, 1, 2), 1u);
  const std::int32_t last = 40;
  EXPECT_EQ(array.Insert(&last, 99, 1), 5u);  // beyond the end appends
  EXPECT_EQ(Values(array), (std::vector<std::int32_t>{10, 15, 16, 20, 30, 40}));
  // No records: nothing changes, the clamped index comes back.
  EXPECT_EQ(array.Insert(&last, 99, 0), 6u);
  EXPECT_EQ(array.Insert(&last, 2, -5), 2u);
  EXPECT_EQ(array.Count(), 6u);
}

TEST(RecordArray, GrowsByTheDocumentedSteps) {
  const std::int32_t record = 7;
  std::vector<std::int32_t> sixteen(16, 1);

  RecordArray automatic;  // grow step 0: x1.5, at least 16
  automatic.Insert(&record, 0, 1);
  EXPECT_EQ(automatic.Capacity(), 16u);
  automatic.Insert(sixteen.data(), 0, 15);
  EXPECT_EQ(automatic.Capacity(), 16u);
  automatic.Insert(&record, 0, 1);
  EXPECT_EQ(automatic.Capacity(), 25u);  // (16 + 1) * 3 / 2, from the old capacity

  RecordArray stepped(4, 10);
  stepped.Insert(sixteen.data(), 0, 3);
  EXPECT_EQ(stepped.Capacity(), 10u);
  stepped.Insert(sixteen.data(), 0, 8);
  EXPECT_EQ(stepped.Capacity(), 20u);  // ((10 + 8) / 10 + 1) * 10
  EXPECT_EQ(stepped.Count(), 11u);
}

TEST(RecordArray, StoredRecordsNeverMove) {
  RecordArray array;
  std::vector<std::int32_t> values(100);
  for (std::int32_t k = 0; k < 100; ++k) values[k] = 100 - k;
  array.Insert(values.data(), 0, 1);
  const void* kept = array.At(0);
  array.Insert(values.data() + 1, 0, 99);  // several reallocations of the slot block
  array.Sort(CompareValues, 0, -1, false);
  EXPECT_EQ(array.At(99), kept);
  EXPECT_EQ(ValueAt(array, 99), 100);
}

TEST(RecordArray, ConfigureRefusesANewRecordSizeWhileHoldingRecords) {
  RecordArray array(4, 0);
  EXPECT_TRUE(array.Configure(24, -1));
  EXPECT_EQ(array.RecordSize(), 24u);
  const char record[24] = "abc";
  array.Insert(record, 0, 1);
  EXPECT_FALSE(array.Configure(8, 5));
  EXPECT_EQ(array.RecordSize(), 24u);
  EXPECT_EQ(array.GrowStep(), 5);  // the grow step still takes effect
  EXPECT_TRUE(array.Configure(0, -1));
  EXPECT_EQ(array.GrowStep(), 5);
}

TEST(RecordArray, AtAndGetCopyRejectIndicesOutOfRange) {
  RecordArray array(24, 0);
  char record[24] = "first";
  array.Insert(record, 0, 1);
  char out[24];
  std::memset(out, 'x', sizeof out);
  EXPECT_EQ(array.GetCopy(1, out), nullptr);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(array.GetCopy(0, nullptr), nullptr);
  EXPECT_EQ(array.GetCopy(0, out), array.At(0));
  EXPECT_STREQ(out, "first");
  EXPECT_EQ(array.At(1), nullptr);
  EXPECT_EQ(array.At(0xFFFFFFFFu), nullptr);
}

TEST(RecordArray, SortsAnyInputAscendingAndDescending) {
  std::mt19937 random(5);
  for (int size : {2, 3, 17, 200, 1000}) {
    for (int spread : {3, 1000000}) {  // many duplicates, then mostly distinct
      std::vector<std::int32_t> values(static_cast<std::size_t>(size));
      for (auto& v : values) v = static_cast<std::int32_t>(random() % spread);
      RecordArray array;
      array.Insert(values.data(), 0, size);
      array.Sort(CompareValues, 0, -1, false);
      std::vector<std::int32_t> expected = values;
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(Values(array), expected) << size;
      array.Sort(CompareValues, 0, -1, true);
      std::reverse(expected.begin(), expected.end());
      EXPECT_EQ(Values(array), expected) << size;
    }
  }
  // Already ordered and reversed input, the classic worst cases for a naive pivot.
  std::vector<std::int32_t> ordered(5000);
  for (std::int32_t k = 0; k < 5000; ++k) ordered[k] = k;
  RecordArray array;
  array.Insert(ordered.data(), 0, 5000);
  array.Sort(CompareValues, 0, -1, true);
  array.Sort(CompareValues, 0, -1, false);
  EXPECT_EQ(Values(array), ordered);
}

TEST(RecordArray, SortStaysInsideItsRange) {
  const std::int32_t values[] = {9, 8, 7, 6, 5, 4};
  RecordArray array;
  array.Insert(values, 0, 6);
  array.Sort(CompareValues, 1, 4, false);
  EXPECT_EQ(Values(array), (std::vector<std::int32_t>{9, 6, 7, 8, 5, 4}));
  array.Sort(CompareValues, -3, 2, false);  // a negative first means 0
  EXPECT_EQ(Values(array), (std::vector<std::int32_t>{6, 9, 7, 8, 5, 4}));
}

TEST(RecordArray, SortOfFewerThanTwoRecordsNeverCompares) {
  int calls = 0;
  const RecordArray::Compare counting = [&](const RecordArray&, std::int32_t, std::int32_t) {
    ++calls;
    return 0;
  };
  const std::int32_t values[] = {3, 2, 1};
  RecordArray array;
  array.Sort(counting, 0, -1, false);
  array.Insert(values, 0, 3);
  for (auto [first, end] : std::vector<std::pair<int, int>>{{0, 1}, {2, -1}, {3, -1}, {2, 1}}) {
    array.Sort(counting, first, end, false);
  }
  EXPECT_EQ(calls, 0);
  EXPECT_EQ(Values(array), (std::vector<std::int32_t>{3, 2, 1}));
}

}  // namespace
}  // namespace kestrune
