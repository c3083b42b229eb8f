#pragma once

// The context-menu plug-in's two entry points, looked up by name by the
// preferences. Each returns 0 when every entry was written or removed.
extern "C" {
__attribute__((visibility("default"))) int DllRegisterServer(void);
__attribute__((visibility("default"))) int DllUnregisterServer(void);
}
