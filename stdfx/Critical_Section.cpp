#include "stdfx/Critical_Section.h"

namespace stdfx {

Critical_Section::Critical_Section() { InitializeCriticalSection(&m_cs); }
Critical_Section::~Critical_Section() { DeleteCriticalSection(&m_cs); }
void Critical_Section::acquire() { EnterCriticalSection(&m_cs); }
void Critical_Section::release() { LeaveCriticalSection(&m_cs); }

}  // namespace stdfx
