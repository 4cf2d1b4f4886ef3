// What the module lets out, and the application object it brings.
#include "tests/plugin/ModuleFixture.h"
#include "win/Afx.h"

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> DefinedDynamicSymbols(const std::string& path) {
  std::vector<std::string> names;
  const std::string command = "nm -DC --defined-only '" + path + "' 2>/dev/null";
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) return names;
  char line[4096];
  while (std::fgets(line, sizeof line, pipe.get()) != nullptr) {
    std::string text(line);
    if (!text.empty() && text.back() == '\n') text.pop_back();
    // "address type name": the name starts after the second space.
    const std::size_t first = text.find(' ');
    const std::size_t second = first == std::string::npos ? first : text.find(' ', first + 1);
    if (second != std::string::npos) names.push_back(text.substr(second + 1));
  }
  return names;
}

bool Allowed(const std::string& name) {
  if (name == "registerEffects" || name == "createEffect") return true;
  for (const char* prefix : {"stdfx::", "stdfx2d::", "vtable for stdfx", "typeinfo for stdfx",
                             "typeinfo name for stdfx"}) {
    if (name.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

TEST(ModuleExports, OnlyEntryPointsAndSupportLibrary) {
  const std::vector<std::string> names = DefinedDynamicSymbols(mattix::test::ModulePath());
  if (names.empty()) GTEST_SKIP() << "nm (binutils) is not available";
  bool sawRegister = false;
  bool sawCreate = false;
  for (const std::string& name : names) {
    EXPECT_TRUE(Allowed(name)) << "exported: " << name;
    sawRegister = sawRegister || name == "registerEffects";
    sawCreate = sawCreate || name == "createEffect";
  }
  EXPECT_TRUE(sawRegister);
  EXPECT_TRUE(sawCreate);
}

TEST(ModuleApplication, ConstructedWithTheModule) {
  const void* entry = reinterpret_cast<const void*>(mattix::test::Module()->CreateEntry());
  AFX_MODULE_STATE* state = AfxFindModuleState(entry);
  ASSERT_NE(state, nullptr) << "the module holds no application object";
  ASSERT_NE(state->m_pCurrentWinApp, nullptr);
  EXPECT_EQ(state->m_lpszCurrentAppName, nullptr);  // no application name
  EXPECT_EQ(state->m_pCurrentWinApp->m_pszAppName, nullptr);

  Dl_info info{};
  ASSERT_NE(dladdr(entry, &info), 0);
  EXPECT_EQ(static_cast<void*>(state->m_hCurrentInstanceHandle), info.dli_fbase);
  EXPECT_EQ(state->m_hCurrentResourceHandle, state->m_hCurrentInstanceHandle);

  // The test program holds no application of its own.
  EXPECT_EQ(AfxGetStaticModuleState(), AfxGetProcessModuleState());
  EXPECT_EQ(AfxGetApp(), nullptr);
  {
    AFX_MANAGE_STATE(state);
    EXPECT_EQ(AfxGetApp(), state->m_pCurrentWinApp);
    EXPECT_EQ(static_cast<void*>(AfxGetInstanceHandle()), info.dli_fbase);
  }
  EXPECT_EQ(AfxGetApp(), nullptr);
}

}  // namespace
