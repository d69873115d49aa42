#pragma once
// Where a verified run is recorded besides the download log: the identity ledger of a line of
// stations. The job knows only this seam; the front end that starts the run provides it.

#include <cstdint>
#include <string>

#include "job/download_log.h"

namespace kestrune {

class RunRecorder {
 public:
  virtual ~RunRecorder() = default;
  // Records the run of `record`, verified at `time` (seconds since 1970). Returns the warning the
  // operator must see when the record could not be made at once (it may wait for a later
  // contact), empty when it was made. Called on the run's worker thread, by several runs at once
  // when several devices are programmed together.
  virtual std::string Record(const DownloadRecord& record, std::int64_t time) = 0;
};

}  // namespace kestrune
