#pragma once
#include "stdfx/StdfxApi.h"
#include "win/Windows.h"

namespace stdfx {

// The support library's lock: a Windows critical section, re-entrant for the
// owning thread. A copied lock record is not a working lock, so copying is
// forbidden.
class STDFX_API Critical_Section {
 public:
  Critical_Section();
  ~Critical_Section();
  Critical_Section(const Critical_Section&) = delete;
  Critical_Section& operator=(const Critical_Section&) = delete;

  void acquire();
  void release();

 private:
  CRITICAL_SECTION m_cs;
};

}  // namespace stdfx
