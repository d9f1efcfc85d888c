// The effects of a rebuild in a test: the question answered Yes, every
// message and status text kept in order, so that a test can tell which
// archives a rebuild read ("Processing <archive>").
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "index/rebuild.h"

namespace testing_support {

class StatusLog : public fretfile::RebuildEffects {
 public:
  bool Confirm(const std::string&) override { return true; }
  void ShowMessage(const std::string& text) override { log.push_back(text); }
  void ShowStatus(const std::string& text) override { log.push_back(text); }
  void SetBusy(bool) override {}
  size_t Count(const std::string& text) const { return static_cast<size_t>(std::count(log.begin(), log.end(), text)); }
  std::vector<std::string> log;
};

}  // namespace testing_support
