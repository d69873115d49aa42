#include "app/path_history.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/dialog_fixture.h"

namespace kestrune {
namespace {

using Strings = std::vector<std::string>;
constexpr int kBox = 1000;

TEST(PathHistory, SaveStoresTheCurrentPathFirstAndRefillsAnUnselectedList) {
  struct Case {
    const char* name;
    std::string text;
    Strings list;
    int selected;
    Strings stored;  // empty: nothing stored
    Strings listAfter;
  };
  const Case cases[] = {
      {"typed path heads the list, its old place and empty items go",
       "b",
       {"a", "", "b", "c"},
       -1,
       {"b", "a", "c"},
       {"b", "a", "c"}},
      {"picked from the list: the list stays as it is",
       "c",
       {"a", "b", "c"},
       2,
       {"c", "a", "b"},
       {"a", "b", "c"}},
      {"empty text takes the selected item", "", {"a", "b"}, 1, {"b", "a"}, {"a", "b"}},
      {"no path: nothing stored, list untouched", "", {"a"}, -1, {}, {"a"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testkit::RecordingWindow window;
    RecordingFrontEnd store;
    window.SetControlText(kBox, c.text);
    window.comboItems[kBox] = c.list;
    if (c.selected >= 0) window.comboSelection[kBox] = c.selected;
    EXPECT_EQ(SavePathHistory(window, kBox, store), c.stored.size());
    if (c.stored.empty()) {
      EXPECT_FALSE(store.stored.has_value());
    } else {
      ASSERT_TRUE(store.stored.has_value());
      EXPECT_EQ(store.stored->current, c.stored.front());
      EXPECT_EQ(store.stored->items, c.stored);
    }
    EXPECT_EQ(window.comboItems[kBox], c.listAfter);
  }
}

TEST(PathHistory, SaveKeepsFifteenOthersAndCutsLongItemsInTheList) {
  testkit::RecordingWindow window;
  RecordingFrontEnd store;
  const std::string longPath(300, 'x');
  window.SetControlText(kBox, longPath);
  for (int i = 0; i < 20; ++i) window.comboItems[kBox].push_back("p" + std::to_string(i));
  EXPECT_EQ(SavePathHistory(window, kBox, store), 16u);
  ASSERT_TRUE(store.stored.has_value());
  EXPECT_EQ(store.stored->items.front(), longPath);  // stored whole
  EXPECT_EQ(store.stored->items.back(), "p14");
  EXPECT_EQ(window.comboItems[kBox].front(), longPath.substr(0, 255));
  EXPECT_EQ(window.comboItems[kBox].size(), 16u);

  store.saveFails = true;
  EXPECT_EQ(SavePathHistory(window, kBox, store), 0u);
}

TEST(PathHistory, LoadFillsTheBoxOrLeavesItAsItWas) {
  testkit::RecordingWindow window;
  RecordingFrontEnd store;
  window.SetControlText(kBox, "typed");
  window.comboItems[kBox] = {"old"};
  EXPECT_EQ(LoadPathHistory(window, kBox, store), std::nullopt);
  EXPECT_EQ(window.Text(kBox), "typed");
  EXPECT_EQ(window.comboItems[kBox], Strings{"old"});

  store.stored = PathHistory{"b", {"b", "", "a"}};
  EXPECT_EQ(LoadPathHistory(window, kBox, store), "b");
  EXPECT_EQ(window.Text(kBox), "b");
  EXPECT_EQ(window.comboItems[kBox], (Strings{"b", "a"}));

  // A list without a marked path: the box is emptied, its first item becomes the current path.
  store.stored = PathHistory{std::nullopt, {"c", "d"}};
  EXPECT_EQ(LoadPathHistory(window, kBox, store), "c");
  EXPECT_EQ(window.Text(kBox), "");
  EXPECT_EQ(window.comboItems[kBox], (Strings{"c", "d"}));
}

}  // namespace
}  // namespace kestrune
