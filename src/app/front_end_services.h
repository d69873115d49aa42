#pragma once
// What a front end adds to the dialog beyond its window: where the firmware path history is kept,
// the browse button's picture and file drop onto the path box. Each has a null implementation for
// front ends without such a thing (the console, the tests).

#include <optional>
#include <string>
#include <vector>

namespace kestrune {

// The history of firmware paths as it is stored, most recent first.
struct PathHistory {
  // The path that was in the box when the history was stored; nothing when the stored list does
  // not mark one.
  std::optional<std::string> current;
  std::vector<std::string> items;  // the box's list
};

class PathHistoryStore {
 public:
  virtual ~PathHistoryStore() = default;
  // The stored history; nothing when none is stored or it cannot be read.
  virtual std::optional<PathHistory> Load() = 0;
  // Keeps `history` for the next start; false when it could not be stored.
  virtual bool Save(const PathHistory& history) = 0;
};

class BrowseButtonDecoration {
 public:
  virtual ~BrowseButtonDecoration() = default;
  // Gives button `id` its picture.
  virtual void Decorate(int id) = 0;
};

class FileDropAttachment {
 public:
  virtual ~FileDropAttachment() = default;
  // From now on a file dropped onto combo box `id` becomes its text and reaches the dialog as an
  // edit of the box (OnFirmwarePathEdited).
  virtual void Attach(int id) = 0;
};

// Stores nothing and finds nothing.
PathHistoryStore& NoPathHistory();
// Leaves the button as it is.
BrowseButtonDecoration& NoBrowseDecoration();
// Accepts no files.
FileDropAttachment& NoFileDrop();

}  // namespace kestrune
