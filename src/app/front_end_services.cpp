#include "app/front_end_services.h"

namespace kestrune {
namespace {

class NullPathHistoryStore final : public PathHistoryStore {
 public:
  std::optional<PathHistory> Load() override { return std::nullopt; }
  bool Save(const PathHistory&) override { return false; }
};

class NullBrowseDecoration final : public BrowseButtonDecoration {
 public:
  void Decorate(int) override {}
};

class NullFileDrop final : public FileDropAttachment {
 public:
  void Attach(int) override {}
};

}  // namespace

// Stateless, so one instance serves every dialog on every thread.
PathHistoryStore& NoPathHistory() {
  static NullPathHistoryStore store;
  return store;
}

BrowseButtonDecoration& NoBrowseDecoration() {
  static NullBrowseDecoration decoration;
  return decoration;
}

FileDropAttachment& NoFileDrop() {
  static NullFileDrop drop;
  return drop;
}

}  // namespace kestrune
