#include "app/path_history.h"

#include <vector>

namespace kestrune {
namespace {

void FillList(Window& window, int id, const std::vector<std::string>& items) {
  for (const std::string& item : items) {
    if (!item.empty()) window.AddComboItem(id, item.substr(0, kMaxListItemLength));
  }
}

}  // namespace

std::optional<std::string> LoadPathHistory(Window& window, int id, PathHistoryStore& store) {
  const std::optional<PathHistory> history = store.Load();
  if (!history) return std::nullopt;
  window.ClearComboItems(id);
  window.SetControlText(id, history->current.value_or(""));
  FillList(window, id, history->items);
  if (history->current) return history->current;
  if (!history->items.empty()) return history->items.front();
  return std::nullopt;
}

std::size_t SavePathHistory(Window& window, int id, PathHistoryStore& store) {
  const std::vector<std::string> items = window.ComboItems(id);
  const int selected = window.ComboSelection(id);
  const bool hasSelection = selected >= 0 && static_cast<std::size_t>(selected) < items.size();
  std::string text = window.ControlText(id);
  if (text.empty() && hasSelection) text = items[selected];
  if (text.empty()) return 0;

  PathHistory history{text, {text}};
  for (const std::string& item : items) {
    if (history.items.size() > kMaxHistoryItems) break;
    if (!item.empty() && item != text) history.items.push_back(item);
  }
  if (!hasSelection) {
    window.ClearComboItems(id);
    FillList(window, id, history.items);
  }
  return store.Save(history) ? history.items.size() : 0;
}

}  // namespace kestrune
