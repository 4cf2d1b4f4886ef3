// The application object and module states of the MFC layer, seen from a
// program that holds an application of its own.
#include "win/Afx.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <thread>

namespace {

// This program's application, constructed with the program's static data
// as a module's is.
CWinApp g_app("AfxTest");

void* ProgramBase() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<const void*>(&ProgramBase), &info) == 0) return nullptr;
  return info.dli_fbase;
}

TEST(Afx, ApplicationRegistersTheModuleThatConstructsIt) {
  ASSERT_NE(ProgramBase(), nullptr);
  EXPECT_EQ(static_cast<void*>(g_app.m_hInstance), ProgramBase());
  AFX_MODULE_STATE* state = AfxFindModuleState(reinterpret_cast<const void*>(&ProgramBase));
  ASSERT_EQ(state, g_app.GetModuleState());
  EXPECT_EQ(state->m_pCurrentWinApp, &g_app);
  EXPECT_EQ(state->m_hCurrentResourceHandle, g_app.m_hInstance);
  // Data of the module finds it as well as code.
  EXPECT_EQ(AfxFindModuleState(&g_app), state);
  EXPECT_EQ(AfxGetStaticModuleState(), state);
  // Addresses outside any application's module, the layer's own among them.
  int onTheStack = 0;
  for (const void* p : {static_cast<const void*>(&onTheStack), static_cast<const void*>(nullptr),
                        reinterpret_cast<const void*>(&AfxGetApp)})
    EXPECT_EQ(AfxFindModuleState(p), nullptr);
}

TEST(Afx, ManageStateSwitchesAndRestoresNested) {
  EXPECT_EQ(AfxGetModuleState(), AfxGetProcessModuleState());
  EXPECT_EQ(AfxGetApp(), nullptr);
  {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    EXPECT_EQ(AfxGetApp(), &g_app);
    EXPECT_EQ(AfxGetResourceHandle(), g_app.m_hInstance);
    EXPECT_STREQ(AfxGetAppName(), "AfxTest");
    {
      AFX_MANAGE_STATE(AfxGetProcessModuleState());
      EXPECT_EQ(AfxGetApp(), nullptr);
    }
    EXPECT_EQ(AfxGetApp(), &g_app);
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
}

TEST(Afx, CurrentStateBelongsToEachThread) {
  AFX_MANAGE_STATE(g_app.GetModuleState());
  CWinApp* seen = &g_app;
  std::thread other([&seen] { seen = AfxGetApp(); });
  other.join();
  EXPECT_EQ(seen, nullptr);
  EXPECT_EQ(AfxGetApp(), &g_app);
}

}  // namespace
