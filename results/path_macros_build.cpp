// Builds the path-macro table at start-up from the shell folders, the system folders and the registry.
#include <array>
#include <exception>

#include "platform/platform.h"
#include "registry/win32_registry.h"
#include "results/path_macros.h"

namespace results {
namespace {

using platform::HKEY_CURRENT_USER;
using platform::HKEY_LOCAL_MACHINE;

TMacroTable g_table;
TMacroGroups g_groups;

constexpr std::array<TPathSolveConfig, 45> kFolders = {{
    {-1, "SYSDRIVE"},
    {36, "WINDIR"},
    {-1, "WINDIR2"},
    {37, "SYSDIR"},
    {-1, "SYSDIR2"},
    {20, "FONTS"},
    {3, "CONTROLS"},
    {-1, "SYSCPLDIR"},
    {-1, "PATH"},
    {38, "PROGRAMFILES"},
    {43, "COMMONPROGRAMFILES"},
    {62, "PROFILES"},
    {40, "PROFILE"},
    {26, "APPDATA"},
    {-1, "QUICKLAUNCH"},
    {0, "ADESKTOP"},
    {16, "DESKTOP"},
    {6, "FAVORITES"},
    {-1, "LOCALSETTINGS"},
    {28, "LOCALAPPDATA"},
    {5, "PERSONAL"},
    {12, "MYDOCUMENTS"},
    {13, "MYMUSIC"},
    {14, "MYVIDEO"},
    {19, "NETHOOD"},
    {27, "PRINTHOOD"},
    {8, "RECENT"},
    {9, "SENDTO"},
    {11, "STARTMENU"},
    {2, "PROGRAMS"},
    {29, "ALTSTARTUP"},
    {7, "STARTUP"},
    {21, "TEMPLATES"},
    {35, "COMMONAPPDATA"},
    {-1, "COMMONQUICKLAUNCH"},
    {25, "COMMONDESKTOP"},
    {46, "COMMONDOCUMENTS"},
    {53, "COMMONMUSIC"},
    {55, "COMMONVIDEO"},
    {31, "COMMONFAVORITES"},
    {22, "COMMONSTARTMENU"},
    {23, "COMMONPROGRAMS"},
    {30, "COMMONALTSTARTUP"},
    {24, "COMMONSTARTUP"},
    {45, "COMMONTEMPLATES"},
}};

constexpr const char* kSF = "Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
constexpr const char* kUSF = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
constexpr const char* kCV = "Microsoft\\Windows\\CurrentVersion\\";

constexpr std::array<TPathRegistryUpdaterRecord, 21> kRegistryRecords = {{
    {"<$COMMONDESKTOP>", HKEY_LOCAL_MACHINE, kSF, "Common Desktop", false, false, false, "", ""},
    {"<$COMMONAPPDATA>", HKEY_LOCAL_MACHINE, kSF, "Common AppData", false, false, false, "", ""},
    {"<$COMMONSTARTUP>", HKEY_LOCAL_MACHINE, kSF, "Common Startup", false, false, false, "", ""},
    {"<$COMMONSTARTMENU>", HKEY_LOCAL_MACHINE, kSF, "Common Start Menu", false, false, false, "", ""},
    {"<$COMMONPROGRAMS>", HKEY_LOCAL_MACHINE, kSF, "Common Programs", false, false, false, "", ""},
    {"<$COMMONFAVORITES>", HKEY_LOCAL_MACHINE, kSF, "Common Favorites", false, false, false, "", ""},
    {"<$COMMONTEMPLATES>", HKEY_LOCAL_MACHINE, kSF, "Common Templates", false, false, false, "", ""},
    {"<$COMMONDOCUMENTS>", HKEY_LOCAL_MACHINE, kSF, "Common Documents", false, false, false, "", ""},
    {"<$COMMONPROGRAMFILES>", HKEY_LOCAL_MACHINE, kCV, "CommonFilesDir", false, false, true, "", ""},
    {"<$PROGRAMFILES>", HKEY_LOCAL_MACHINE, kCV, "ProgramFilesDir", false, false, true, "", ""},
    {"<$DESKTOP>", HKEY_CURRENT_USER, kUSF, "Desktop", true, true, false, "", ""},
    {"<$APPDATA>", HKEY_CURRENT_USER, kUSF, "AppData", true, true, false, "", ""},
    {"<$STARTUP>", HKEY_CURRENT_USER, kUSF, "Startup", true, true, false, "", ""},
    {"<$STARTMENU>", HKEY_CURRENT_USER, kUSF, "Start Menu", true, true, false, "", ""},
    {"<$PROGRAMS>", HKEY_CURRENT_USER, kUSF, "Programs", true, true, false, "", ""},
    {"<$FAVORITES>", HKEY_CURRENT_USER, kUSF, "Favorites", true, true, false, "", ""},
    {"<$TEMPLATES>", HKEY_CURRENT_USER, kUSF, "Templates", true, true, false, "", ""},
    {"<$PERSONAL>", HKEY_CURRENT_USER, kUSF, "Personal", true, true, false, "", ""},
    {"<$LOCALAPPDATA>", HKEY_CURRENT_USER, kUSF, "Local AppData", true, true, false, "", ""},
    {"<$LOCALSETTINGS>", HKEY_CURRENT_USER, kUSF, "Local Settings", true, true, false, "", ""},
    {"<$PATH>", HKEY_CURRENT_USER, "Environment\\", "PATH", false, true, false, "", ";"},
}};

constexpr std::array<TTemplateCopyRecord, 5> kTemplateCopies = {{
    {"<$COMMONALTSTARTUP>", "<$COMMONSTARTUP>"},
    {"<$COMMONSTARTMENU>", "<$STARTMENU>"},
    {"<$COMMONPROGRAMS>", "<$PROGRAMS>"},
    {"<$COMMONFAVORITES>", "<$FAVORITES>"},
    {"<$ALTSTARTUP>", "<$STARTUP>"},
}};

constexpr const char* kQuickLaunch = "\\Microsoft\\Internet Explorer\\Quick Launch";
constexpr const char* kShellFoldersKey =
    "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";

std::string ShellFolder(int csidl) {
  return platform::Current().shell.SHGetSpecialFolderPathA(csidl).value_or(std::string());
}

std::string ReadOr(platform::HKEY root, const std::string& key, const char* name, int bitness) {
  std::string text;
  return registry::ReadRegistryString(root, key, name, bitness, text) ? text : std::string();
}

// Fills `macro` from a registry value when it is still empty; a failed read changes nothing.
void FillFromRegistry(const char* macro, const std::string& key, const char* name, int bitness,
                      const char* suffix = "") {
  if (!g_table.Value(macro).empty()) return;
  std::string text;
  if (registry::ReadRegistryString(HKEY_LOCAL_MACHINE, key, name, bitness, text))
    g_table.SetValue(macro, text + suffix);
}

void CopyWhenEmpty(const char* target, const char* source) {
  if (g_table.Value(target).empty()) g_table.SetValue(target, g_table.Value(source));
}

// The folder part of a path: up to and including its last "\" or ":".
std::string FolderPart(const std::string& path) {
  const auto at = path.find_last_of("\\:");
  return at == std::string::npos ? std::string() : path.substr(0, at + 1);
}

std::string WithoutTrailingBackslash(std::string s) {
  if (!s.empty() && s.back() == '\\') s.pop_back();
  return s;
}

void ApplyRecord(const TPathRegistryUpdaterRecord& r, int view, const std::string& softwareRoot) {
  if (r.OnlyIn32BitPass && view != 32) return;
  if (!r.Overwrite && !g_table.Value(r.Macro).empty()) return;
  const std::string key = std::string("\\") + (r.KeyIsAbsolute ? "" : softwareRoot) + r.KeyPath;
  std::string text;
  if (!registry::ReadRegistryString(r.RootKey, key, r.ValueName, r.OnlyIn32BitPass ? 32 : view, text)) return;
  const std::string_view cutAt = r.CutAt;
  if (!cutAt.empty()) {
    const auto at = text.find(cutAt);
    if (at != std::string::npos) text = WithoutTrailingBackslash(text.substr(0, at));
  }
  g_table.SetValue(r.Macro, text + r.Suffix);
}

void BuildPass(int view) {
  auto& k32 = platform::Current().kernel32;
  // 1. Base lines.
  g_table.Append("<$LOCALSETTINGS>", "");
  g_table.Append("<$WINDIR2>", k32.GetWindowsDirectoryA());
  g_table.Append("<$SYSDIR2>", k32.GetSystemDirectoryA());
  g_table.Append("<$QUICKLAUNCH>", MySpecialDir(26) + kQuickLaunch);
  g_table.Append("<$COMMONQUICKLAUNCH>", MySpecialDir(35) + kQuickLaunch);
  // 2. Shell folders.
  for (const auto& f : kFolders) {
    if (f.Csidl < 0) continue;
    try {
      g_table.Append(std::string("<$") + f.Name + ">", MySpecialDir(f.Csidl));
    } catch (const std::exception&) {
    }
  }
  // 3. Where the 32-bit software of a 64-bit system keeps its settings.
  std::string softwareRoot = "Software\\";
  if (view == 32 && registry::RegistryKeyExists(HKEY_LOCAL_MACHINE, "\\Software\\Wow6432Node\\", 0))
    softwareRoot = "Software\\Wow6432Node\\";
  // 4. Registry records; 5. template copies.
  for (const auto& r : kRegistryRecords) ApplyRecord(r, view, softwareRoot);
  for (const auto& t : kTemplateCopies) CopyWhenEmpty(t.Target, t.Source);
  // 6. Drive and profile folders derived from what is known.
  g_table.SetValue("<$SYSDRIVE>", g_table.Value("<$WINDIR>").substr(0, 2));
  for (const auto& [target, source] :
       {std::pair{"<$PROFILE>", "<$DESKTOP>"}, std::pair{"<$PROFILES>", "<$PROFILE>"}}) {
    const std::string folder = FolderPart(g_table.Value(source));
    if (g_table.Value(target).empty() && !folder.empty())
      g_table.SetValue(target, WithoutTrailingBackslash(folder));
  }
  // 7. Fixed fallbacks.
  const std::string nt = "\\Software\\Microsoft\\Windows NT\\CurrentVersion\\";
  const std::string cv = "\\Software\\Microsoft\\Windows\\CurrentVersion\\";
  FillFromRegistry("<$WINDIR>", nt, "SystemRoot", 32);
  FillFromRegistry("<$WINDIR>", nt, "PathName", 32);
  FillFromRegistry("<$SYSDIR>", cv + "Setup\\", "WinDir", 32);
  FillFromRegistry("<$WINDIR>", cv, "SystemRoot", 32);
  CopyWhenEmpty("<$WINDIR2>", "<$WINDIR>");
  const std::string softNt = "\\" + softwareRoot + "Microsoft\\Windows NT\\CurrentVersion\\";
  FillFromRegistry("<$TEMP>", softNt, "SystemRoot", view, "\\Temp");
  FillFromRegistry("<$TEMP>", softNt, "PathName", view, "\\Temp");
  FillFromRegistry("<$TEMP>", "\\" + softwareRoot + kCV, "SystemRoot", view, "\\Temp");
  FillFromRegistry("<$SYSDIR>", cv + "Setup\\", "SysDir", 32);
  FillFromRegistry("<$SYSDIR>", cv + "Installer\\", "InstallerLocation", 32);
  CopyWhenEmpty("<$SYSDIR2>", "<$SYSDIR>");
  // 8. The control panel folder, named as this system's language names it.
  try {
    const std::string key = "\\Software\\CLASSES\\CLSID\\{21EC2020-3AEA-1069-A2DD-08002B30309D}\\";
    std::string name;
    if (!registry::ReadRegistryString(HKEY_LOCAL_MACHINE, key, "", 32, name) &&
        !registry::ReadRegistryString(HKEY_LOCAL_MACHINE, key, "", 64, name))
      name = "Systemsteuerung";
    g_table.SetValue("<$SYSCPLDIR>", g_table.Value("<$WINDIR>") + "\\" + name);
  } catch (const std::exception&) {
    g_table.SetValue("<$SYSCPLDIR>", "C:\\Windows\\Systemsteuerung");
  }
  CopyWhenEmpty("<$CONTROLS>", "<$SYSCPLDIR>");
}

}  // namespace

std::string MySpecialDir(int csidl) {
  std::string path = ShellFolder(csidl);
  if (!path.empty()) return path;
  switch (csidl) {
    case 6:
      return ReadOr(HKEY_CURRENT_USER, kShellFoldersKey, "Favorites", 32);
    case 21:
      return ReadOr(HKEY_CURRENT_USER, kShellFoldersKey, "Templates", 32);
    case 31:
      return ReadOr(HKEY_LOCAL_MACHINE, kShellFoldersKey, "Common Favorites", 32);
    case 45:
      return ReadOr(HKEY_LOCAL_MACHINE, kShellFoldersKey, "Common Templates", 32);
    case 46:
      return ReadOr(HKEY_LOCAL_MACHINE, kShellFoldersKey, "Common Documents", 32);
    case 38:
      return ReadOr(HKEY_LOCAL_MACHINE, "\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\", "ProgramFilesDir",
                    32);
    case 35:
      return ShellFolder(26);
    case 36:
      return platform::Current().kernel32.GetWindowsDirectoryA();
    case 37:
      return platform::Current().kernel32.GetSystemDirectoryA();
    default:
      return {};
  }
}

void BuildPathMacros() {
  g_table.Clear();
  g_groups.Clear();
  BuildPass(64);
  g_groups.Merge(g_table);
  BuildPass(32);
  g_groups.Merge(g_table);
}

const TMacroTable& PathMacroTable() { return g_table; }
const TMacroGroups& PathMacroGroups() { return g_groups; }

}  // namespace results
