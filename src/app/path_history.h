#pragma once
// The firmware path box's history: filled from the store at start, stored back when a run starts.
// The box's list holds the paths most recent first; the store keeps them between runs.

#include <cstddef>
#include <optional>
#include <string>

#include "app/front_end_services.h"
#include "app/window.h"

namespace kestrune {

// A list item holds at most this many characters; longer ones are cut when added.
inline constexpr std::size_t kMaxListItemLength = 255;
// Paths kept besides the current one.
inline constexpr std::size_t kMaxHistoryItems = 15;

// Empties combo box `id` and fills it from the stored history, its text from the marked current
// path. Returns the path that becomes the current one (the marked path, otherwise the first
// item), or nothing when no history was found, which leaves the box as it was.
std::optional<std::string> LoadPathHistory(Window& window, int id, PathHistoryStore& store);

// Stores the box's text (or, when that is empty, its selected item) first, then up to 15 other
// non-empty items of its list. When no item is selected (the path was typed, dropped or chosen in
// the file dialog), the list becomes the stored one, so the path heads it. Returns how many paths
// were stored, 0 when the box holds no path or the store failed.
std::size_t SavePathHistory(Window& window, int id, PathHistoryStore& store);

}  // namespace kestrune
