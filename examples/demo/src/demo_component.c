/* The demo's COM component: a library that registers itself by writing
   HKEY_CURRENT_USER\Software\SetupDemo, value "Component" (REG_SZ) = the library's own
   path, so that a demo install shows where the registration landed. DllUnregisterServer
   removes that value again. */
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

static const char kKey[] = "Software\\SetupDemo";
static const char kValue[] = "Component";

static HMODULE self_module;

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) self_module = instance;
  return TRUE;
}

/* S_OK once the value is written; the registry's error as an HRESULT otherwise. */
__declspec(dllexport) HRESULT WINAPI DllRegisterServer(void) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(self_module, path, sizeof path);
  if (length == 0 || length >= sizeof path) return HRESULT_FROM_WIN32(ERROR_BUFFER_OVERFLOW);
  HKEY key;
  LONG error = RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                               KEY_SET_VALUE, NULL, &key, NULL);
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  error = RegSetValueExA(key, kValue, 0, REG_SZ, (const BYTE*)path, length + 1);
  RegCloseKey(key);
  return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error);
}

/* S_OK when the value is gone (or was never there). */
__declspec(dllexport) HRESULT WINAPI DllUnregisterServer(void) {
  HKEY key;
  LONG error = RegOpenKeyExA(HKEY_CURRENT_USER, kKey, 0, KEY_SET_VALUE, &key);
  if (error == ERROR_FILE_NOT_FOUND) return S_OK;
  if (error != ERROR_SUCCESS) return HRESULT_FROM_WIN32(error);
  error = RegDeleteValueA(key, kValue);
  RegCloseKey(key);
  return error == ERROR_SUCCESS || error == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(error);
}
