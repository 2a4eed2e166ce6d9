// The settings store against the real registry of the test's own Wine prefix.
#include <gtest/gtest.h>

#include <string>

#include "IatPatch.h"
#include "SettingsKey.h"

namespace {

constexpr const char* kVolatileParent = "SOFTWARE\\VellamyVolatileTest";

class SettingsKeyTest : public ::testing::Test {
 protected:
  void SetUp() override { Clean(); }
  void TearDown() override { Clean(); }
  static void Clean() {
    for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
      RegDeleteTreeA(root, kSettingsPath);
      RegDeleteKeyA(root, kSettingsPath);
      RegDeleteTreeA(root, kVolatileParent);
      RegDeleteKeyA(root, kVolatileParent);
    }
  }
  // The registry refuses a lasting key below a volatile one: a real failure of the open.
  static void MakeVolatileParent(HKEY root) {
    HKEY parent = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, kVolatileParent, 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &parent, nullptr));
    RegCloseKey(parent);
  }
  // Writes a value the store did not write, with any type and data.
  static void WriteRaw(const char* subkey, const char* name, DWORD type, const void* data,
                       DWORD size) {
    std::string path = kSettingsPath;
    if (subkey) path += std::string("\\") + subkey;
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &key, nullptr));
    ASSERT_EQ(ERROR_SUCCESS,
              RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(key);
  }
  static bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
      return false;
    }
    RegCloseKey(key);
    return true;
  }
};

TEST_F(SettingsKeyTest, FirstOpenCreatesTheKeyAndEverySettingReadsItsDefault) {
  ASSERT_FALSE(KeyExists(kSettingsPath));
  SettingsKey store(kSettingsPath);
  EXPECT_TRUE(store.IsOpen());
  EXPECT_TRUE(KeyExists(kSettingsPath));
  EXPECT_EQ(0u, store.Get(kWindowX));
  EXPECT_EQ(600u, store.Get(kWindowW));
  EXPECT_EQ(600u, store.Get(kWindowH));
  EXPECT_EQ(3u, store.Get(kMinState));
  EXPECT_EQ(0u, store.Get(kSnap));
  EXPECT_EQ(0x808080u, store.Get(kBgColor));
  EXPECT_EQ("The GIMP", store.Get(kGimpName));
  EXPECT_EQ("gimp-2.0.exe", store.Get(kGimpApp));
  EXPECT_EQ(12345u, store.GetDword("NoSuchValue", 12345));
  EXPECT_EQ("fallback", store.GetString("NoSuchSubkey", "fallback"));
}

TEST_F(SettingsKeyTest, ValuesRoundTripInTheirStorageFormsAndAreNeverCached) {
  SettingsKey store(kSettingsPath);
  store.SetDword("BgColor", 0x00123456);
  store.SetDword("WindowX", static_cast<DWORD>(-1));
  store.SetString("GimpName", "GNU Image Manipulation Program");
  EXPECT_EQ(0x00123456u, store.GetDword("BgColor", 0));
  EXPECT_EQ(-1, static_cast<int>(store.GetDword("WindowX", 0)));

  // A second store on the same key sees every write at once, and the first sees its writes.
  SettingsKey other(kSettingsPath);
  EXPECT_EQ("GNU Image Manipulation Program", other.GetString("GimpName", "x"));
  other.SetDword("BgColor", 0x00ABCDEF);
  EXPECT_EQ(0x00ABCDEFu, store.GetDword("BgColor", 0));

  // The storage forms that users' registries already hold.
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsPath, 0, KEY_READ, &key));
  DWORD type = 0, value = 0, size = sizeof(value);
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, "WindowX", nullptr, &type,
                                            reinterpret_cast<BYTE*>(&value), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
  EXPECT_EQ(0xFFFFFFFFu, value);
  char text[64] = {};
  size = sizeof(text);
  HKEY sub = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegOpenKeyExA(key, "GimpName", 0, KEY_READ, &sub));
  ASSERT_EQ(ERROR_SUCCESS,
            RegQueryValueExA(sub, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(text), &size));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_STREQ("GNU Image Manipulation Program", text);
  EXPECT_EQ(sizeof("GNU Image Manipulation Program"), size);  // with its NUL
  RegCloseKey(sub);
  RegCloseKey(key);
}

TEST_F(SettingsKeyTest, AnEmptyTextIsStoredAndReadBackAsEmpty) {
  SettingsKey store(kSettingsPath);
  store.SetString("GimpName", "");
  EXPECT_EQ("", store.GetString("GimpName", "The GIMP"));
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_LOCAL_MACHINE, (std::string(kSettingsPath) + "\\GimpName").c_str(),
                          0, KEY_READ, &key));
  DWORD size = 0;
  ASSERT_EQ(ERROR_SUCCESS, RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size));
  EXPECT_EQ(1u, size);
  RegCloseKey(key);
}

TEST_F(SettingsKeyTest, TextsUpTo1023CharactersReadBackLongerOnesReadAsTheDefault) {
  SettingsKey store(kSettingsPath);
  const std::string longest(1023, 'a');
  store.SetString("GimpApp", longest.c_str());
  EXPECT_EQ(longest, store.GetString("GimpApp", "default"));

  const std::string tooLong(1024, 'b');
  store.SetString("GimpApp", tooLong.c_str());
  EXPECT_EQ("default", store.GetString("GimpApp", "default"));

  // Data with no terminating NUL that fills the whole buffer must not be read past its end.
  const std::string unterminated(1024, 'c');
  WriteRaw("GimpName", nullptr, REG_SZ, unterminated.data(), 1024);
  const std::string read = store.GetString("GimpName", "default");
  if (read != "default") {
    EXPECT_LE(read.size(), 1023u);
    EXPECT_EQ(std::string::npos, read.find_first_not_of('c'));
  }
}

TEST_F(SettingsKeyTest, AValueOfAnotherTypeOrSizeReadsAsTheDefault) {
  SettingsKey store(kSettingsPath);
  WriteRaw(nullptr, "Snap", REG_SZ, "1", 2);
  EXPECT_EQ(7u, store.GetDword("Snap", 7));
  const unsigned char eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  WriteRaw(nullptr, "BgColor", REG_BINARY, eight, sizeof(eight));
  EXPECT_EQ(0x808080u, store.Get(kBgColor));
  WriteRaw(nullptr, "WindowW", REG_BINARY, eight, 4);  // four bytes, but not a DWORD
  EXPECT_EQ(600u, store.Get(kWindowW));
  WriteRaw(nullptr, "WindowH", REG_DWORD, eight, 2);  // a DWORD that is too short
  EXPECT_EQ(600u, store.Get(kWindowH));
  // A write over a wrong value stores a DWORD that reads back.
  store.SetDword("BgColor", 0x00102030);
  EXPECT_EQ(0x00102030u, store.Get(kBgColor));
  // A string setting whose subkey holds a DWORD: the default, or its bytes up to the first NUL.
  const DWORD number = 0x00434241;  // "ABC"
  WriteRaw("GimpName", nullptr, REG_DWORD, &number, sizeof(number));
  const std::string name = store.GetString("GimpName", "The GIMP");
  EXPECT_TRUE(name == "The GIMP" || name == "ABC") << name;
}

// Counts every registry call the store makes, through the test program's own imports.
int g_registryCalls = 0;
LONG WINAPI CountQueryValueEx(HKEY, LPCSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD) {
  ++g_registryCalls;
  return ERROR_ACCESS_DENIED;
}
LONG WINAPI CountSetValueEx(HKEY, LPCSTR, DWORD, DWORD, const BYTE*, DWORD) {
  ++g_registryCalls;
  return ERROR_ACCESS_DENIED;
}
LONG WINAPI CountQueryValue(HKEY, LPCSTR, LPSTR, PLONG) {
  ++g_registryCalls;
  return ERROR_ACCESS_DENIED;
}
LONG WINAPI CountSetValue(HKEY, LPCSTR, DWORD, LPCSTR, DWORD) {
  ++g_registryCalls;
  return ERROR_ACCESS_DENIED;
}
LONG WINAPI CountCloseKey(HKEY) {
  ++g_registryCalls;
  return ERROR_SUCCESS;
}

TEST_F(SettingsKeyTest, WhereTheMachineKeyIsRefusedTheSettingsGoBelowTheUsersKey) {
  MakeVolatileParent(HKEY_LOCAL_MACHINE);
  const std::string path = std::string(kVolatileParent) + "\\GIMPVellamy";
  {
    SettingsKey store(path.c_str());
    ASSERT_TRUE(store.IsOpen());
    store.SetDword("Snap", 1);
    store.SetString("GimpName", "GIMP");
    EXPECT_EQ(1u, store.Get(kSnap));
    EXPECT_EQ("GIMP", store.Get(kGimpName));
  }
  EXPECT_FALSE(KeyExists(path)) << "nothing below HKEY_LOCAL_MACHINE";
  DWORD value = 0, size = sizeof(value);
  EXPECT_EQ(ERROR_SUCCESS, RegGetValueA(HKEY_CURRENT_USER, path.c_str(), "Snap", RRF_RT_REG_DWORD,
                                        nullptr, &value, &size));
  EXPECT_EQ(1u, value);
  // A later store finds the settings there again.
  SettingsKey again(path.c_str());
  EXPECT_EQ("GIMP", again.Get(kGimpName));

  // Where the machine key works, it is used and the user's key is left alone.
  SettingsKey machine(kSettingsPath);
  machine.SetDword("Snap", 1);
  EXPECT_TRUE(KeyExists(kSettingsPath));
  HKEY user = nullptr;
  EXPECT_NE(ERROR_SUCCESS, RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsPath, 0, KEY_READ, &user));
}

TEST_F(SettingsKeyTest, AStoreThatCannotOpenReadsDefaultsDropsWritesAndMakesNoRegistryCall) {
  MakeVolatileParent(HKEY_LOCAL_MACHINE);
  MakeVolatileParent(HKEY_CURRENT_USER);
  const std::string path = std::string(kVolatileParent) + "\\GIMPVellamy";

  IatPatch queryEx("advapi32.dll", "RegQueryValueExA", reinterpret_cast<void*>(CountQueryValueEx));
  IatPatch setEx("advapi32.dll", "RegSetValueExA", reinterpret_cast<void*>(CountSetValueEx));
  IatPatch query("advapi32.dll", "RegQueryValueA", reinterpret_cast<void*>(CountQueryValue));
  IatPatch set("advapi32.dll", "RegSetValueA", reinterpret_cast<void*>(CountSetValue));
  IatPatch close("advapi32.dll", "RegCloseKey", reinterpret_cast<void*>(CountCloseKey));
  ASSERT_TRUE(queryEx.Patched() && setEx.Patched() && query.Patched() && set.Patched() &&
              close.Patched());

  g_registryCalls = 0;
  {
    SettingsKey store(path.c_str());
    EXPECT_FALSE(store.IsOpen());
    EXPECT_EQ(0x808080u, store.Get(kBgColor));
    EXPECT_EQ("The GIMP", store.Get(kGimpName));
    store.SetDword("Snap", 1);
    store.SetString("GimpName", "x");
    EXPECT_EQ(0u, store.Get(kSnap));
  }
  EXPECT_EQ(0, g_registryCalls);

  // The counters do count: an open store's calls go through them.
  {
    SettingsKey open(kSettingsPath);
    ASSERT_TRUE(open.IsOpen());
    open.Get(kSnap);
    open.SetDword("Snap", 1);
    open.Get(kGimpName);
    open.SetString("GimpName", "x");
  }
  EXPECT_EQ(5, g_registryCalls);
  EXPECT_FALSE(KeyExists(path));
}

}  // namespace
