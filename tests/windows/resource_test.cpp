// nimbrel-config's Windows resources, compiled by windres into this test
// program exactly as into the program: the version record, the manifest and
// the icon, read back through the Windows API.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<char> OwnVersionInfo() {
  char path[MAX_PATH] = {};
  ::GetModuleFileNameA(nullptr, path, MAX_PATH);
  DWORD ignored = 0;
  std::vector<char> info(::GetFileVersionInfoSizeA(path, &ignored));
  if (info.empty() || !::GetFileVersionInfoA(path, 0, static_cast<DWORD>(info.size()), info.data())) return {};
  return info;
}

std::string StringValue(std::vector<char>& info, const std::string& name) {
  char* value = nullptr;
  UINT length = 0;
  const std::string key = "\\StringFileInfo\\040904B0\\" + name;
  if (!::VerQueryValueA(info.data(), key.c_str(), reinterpret_cast<void**>(&value), &length) || !value) return "(none)";
  return value;
}

TEST(WindowsResources, VersionRecordIs1000) {
  auto info = OwnVersionInfo();
  ASSERT_FALSE(info.empty()) << "no version record";
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(info.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwFileVersionLS, 0u);
  EXPECT_EQ(fixed->dwProductVersionMS, 0x00010000u);
  EXPECT_EQ(fixed->dwProductVersionLS, 0u);
  EXPECT_EQ(StringValue(info, "FileVersion"), "1.0.0.0");
  EXPECT_EQ(StringValue(info, "ProductVersion"), "1.0.0.0");
  EXPECT_EQ(StringValue(info, "OriginalFilename"), "nimbrel-config.exe");
}

TEST(WindowsResources, ManifestAsksForPerMonitorDpiCommonControls6AndTheInvokersRights) {
  HRSRC found = ::FindResourceA(nullptr, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(found, nullptr) << "no manifest";
  const char* bytes = static_cast<const char*>(::LockResource(::LoadResource(nullptr, found)));
  const std::string manifest(bytes, ::SizeofResource(nullptr, found));
  for (const char* wanted : {"<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">True/PM</dpiAware>",
                             ">PerMonitorV2, PerMonitor</dpiAwareness>",
                             "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"",
                             "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"})
    EXPECT_NE(manifest.find(wanted), std::string::npos) << wanted;
}

TEST(WindowsResources, IconIsThere) {
  EXPECT_NE(::FindResourceA(nullptr, "IDI_ICON1", MAKEINTRESOURCEA(14)), nullptr) << "no icon group";  // RT_GROUP_ICON
  EXPECT_NE(::LoadIconA(::GetModuleHandleA(nullptr), "IDI_ICON1"), nullptr);
}

}  // namespace
