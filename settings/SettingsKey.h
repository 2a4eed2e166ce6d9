// The registry-backed settings store: DWORD values in the key itself, texts as the unnamed
// value of a subkey named after the setting. Nothing is cached: every read asks the registry.
#pragma once

#include <windows.h>

#include <string>

#include "SettingNames.h"

class SettingsKey {
 public:
  // Opens the key below HKEY_LOCAL_MACHINE, creating it when missing, or where that is refused
  // the same path below HKEY_CURRENT_USER. A store that can open neither stays closed for its
  // whole life: reads give their defaults and writes are dropped.
  explicit SettingsKey(const char* path);
  virtual ~SettingsKey();
  SettingsKey(const SettingsKey&) = delete;
  SettingsKey& operator=(const SettingsKey&) = delete;

  bool IsOpen() const { return key != nullptr; }

  // Anything but a 4-byte REG_DWORD under the name reads as the default.
  DWORD GetDword(const char* name, DWORD fallback) const;
  void SetDword(const char* name, DWORD value);
  // Texts of more than 1023 characters read as the default; an empty text reads as empty.
  std::string GetString(const char* name, const char* fallback) const;
  void SetString(const char* name, const char* value);

  DWORD Get(const DwordSetting& setting) const { return GetDword(setting.name, setting.fallback); }
  std::string Get(const StringSetting& setting) const {
    return GetString(setting.name, setting.fallback);
  }

 private:
  std::string path;
  HKEY key = nullptr;
};
