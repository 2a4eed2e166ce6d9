#include "SettingsKey.h"

#include <cstring>

namespace {
constexpr DWORD kTextBufferSize = 1024;
}

SettingsKey::SettingsKey(const char* keyPath) : path(keyPath) {
  // Writing below HKEY_LOCAL_MACHINE needs administrator rights, and vellamy gets no registry
  // virtualisation (64-bit, or with a manifest that requests an execution level, as both builds
  // have): an ordinary user's settings then go below HKEY_CURRENT_USER.
  for (HKEY root : {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER}) {
    if (RegCreateKeyExA(root, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
      return;
    }
    key = nullptr;
  }
}

SettingsKey::~SettingsKey() {
  if (key) RegCloseKey(key);
}

DWORD SettingsKey::GetDword(const char* name, DWORD fallback) const {
  if (!key) return fallback;
  DWORD value = 0;
  DWORD type = 0;
  DWORD size = sizeof(value);
  // A value of another type or size would leave undefined bytes in the slot: take the default.
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
          ERROR_SUCCESS ||
      type != REG_DWORD || size != sizeof(value)) {
    return fallback;
  }
  return value;
}

void SettingsKey::SetDword(const char* name, DWORD value) {
  if (!key) return;
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

std::string SettingsKey::GetString(const char* name, const char* fallback) const {
  if (!key) return fallback;
  char text[kTextBufferSize] = {};
  LONG size = sizeof(text);
  if (RegQueryValueA(key, name, text, &size) != ERROR_SUCCESS) return fallback;
  // Stored data need not end in a NUL; never read past the buffer.
  text[kTextBufferSize - 1] = '\0';
  return text;
}

void SettingsKey::SetString(const char* name, const char* value) {
  if (!key) return;
  RegSetValueA(key, name, REG_SZ, value, static_cast<DWORD>(strlen(value) + 1));
}
