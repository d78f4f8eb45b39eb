// A shell extension for the tests: a box that the shell shows while it
// carries out a request, owned by the window that asked, as Windows shows its
// error box for a missing file (Wine's ShellExecuteA shows none). Registered
// for ".exe" and ".doc" files in the test prefix (regsvr32), it runs inside
// ShellExecuteA, in the asking program's own thread, and so runs a message
// loop in the middle of the request until the box is closed; then it declines
// and the shell goes on with the request as usual. It shows its box only in a
// program started with QUARVEL_TEST_SHELL_BOX set; elsewhere it declines at
// once and the shell acts as if it were not there.
#include <windows.h>
// olectl.h and shlobj.h need the types from windows.h first.
#include <olectl.h>
#include <shlobj.h>

#include <new>
#include <string>

#include "record.h"

namespace {

using quarvel::wintest::set_class_value;

// {5E3C2B1A-6D4F-4C8B-9A7E-2F1D0C3B4A59}
constexpr CLSID kClsid = {
    0x5e3c2b1a, 0x6d4f, 0x4c8b, {0x9a, 0x7e, 0x2f, 0x1d, 0x0c, 0x3b, 0x4a, 0x59}};
constexpr wchar_t kClsidText[] = L"{5E3C2B1A-6D4F-4C8B-9A7E-2F1D0C3B4A59}";
constexpr const wchar_t* kExtensions[] = {L".exe", L".doc"};

HMODULE this_module = nullptr;
LONG live_objects = 0;

class ShellBox final : public IShellExtInit, public IContextMenu, public IObjectWithSite {
 public:
  ShellBox() { InterlockedIncrement(&live_objects); }
  ~ShellBox() { InterlockedDecrement(&live_objects); }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IShellExtInit) {
      *out = static_cast<IShellExtInit*>(this);
    } else if (iid == IID_IContextMenu) {
      *out = static_cast<IContextMenu*>(this);
    } else if (iid == IID_IObjectWithSite) {  // Wine's shell runs no extension without it
      *out = static_cast<IObjectWithSite*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&refs_));
  }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // Takes part only in a launcher started to have the box (QUARVEL_TEST_SHELL_BOX).
  HRESULT STDMETHODCALLTYPE Initialize(PCIDLIST_ABSOLUTE, IDataObject*, HKEY) override {
    return GetEnvironmentVariableW(L"QUARVEL_TEST_SHELL_BOX", nullptr, 0) > 0 ? S_OK : E_FAIL;
  }

  // Offers the request's verb, which the shell then invokes.
  HRESULT STDMETHODCALLTYPE QueryContextMenu(HMENU menu, UINT index, UINT first, UINT,
                                             UINT) override {
    if (!InsertMenuW(menu, index, MF_BYPOSITION | MF_STRING, first, L"open")) return E_FAIL;
    return MAKE_HRESULT(SEVERITY_SUCCESS, 0, 1);
  }
  HRESULT STDMETHODCALLTYPE InvokeCommand(CMINVOKECOMMANDINFO* info) override {
    MessageBoxW(info->hwnd, L"The shell is busy with this request.", nullptr, MB_ICONERROR);
    return E_FAIL;  // declined: the shell carries the request out itself
  }
  HRESULT STDMETHODCALLTYPE GetCommandString(UINT_PTR, UINT, UINT*, CHAR*, UINT) override {
    return E_NOTIMPL;
  }

  // The shell hands every handler a site; the box needs none.
  HRESULT STDMETHODCALLTYPE SetSite(IUnknown*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetSite(REFIID, void** out) override {
    *out = nullptr;
    return E_FAIL;
  }

 private:
  LONG refs_ = 1;
};

class Factory final : public IClassFactory {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid == IID_IUnknown || iid == IID_IClassFactory) {
      *out = this;
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  // One static factory for the life of the DLL.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
    *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* box = new (std::nothrow) ShellBox;
    if (!box) return E_OUTOFMEMORY;
    const HRESULT hr = box->QueryInterface(iid, out);
    box->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

Factory factory;

// The file class that HKEY_CLASSES_ROOT names for an extension, or "".
std::wstring class_of(const wchar_t* extension) {
  wchar_t name[256] = {};
  LONG size = sizeof(name);
  return RegQueryValueW(HKEY_CLASSES_ROOT, extension, name, &size) == ERROR_SUCCESS ? name : L"";
}

std::wstring handler_key(const std::wstring& file_class) {
  return file_class + L"\\shellex\\ContextMenuHandlers\\" + kClsidText;
}

std::wstring server_key() {
  return std::wstring(L"CLSID\\") + kClsidText;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) this_module = instance;
  return TRUE;
}

HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
  if (clsid != kClsid) return CLASS_E_CLASSNOTAVAILABLE;
  return factory.QueryInterface(iid, out);
}

HRESULT WINAPI DllCanUnloadNow() {
  return live_objects == 0 ? S_OK : S_FALSE;
}

HRESULT WINAPI DllRegisterServer() {
  std::wstring path(MAX_PATH, L'\0');
  path.resize(GetModuleFileNameW(this_module, path.data(), MAX_PATH));
  if (!set_class_value(server_key() + L"\\InprocServer32", nullptr, path) ||
      !set_class_value(server_key() + L"\\InprocServer32", L"ThreadingModel", L"Apartment")) {
    return SELFREG_E_CLASS;
  }
  // Windows files ".exe" under "exefile"; a fresh Wine prefix names no class for it.
  if (class_of(L".exe").empty() && !set_class_value(L".exe", nullptr, L"exefile")) {
    return SELFREG_E_CLASS;
  }
  for (const wchar_t* extension : kExtensions) {
    const std::wstring file_class = class_of(extension);
    if (file_class.empty() || !set_class_value(handler_key(file_class), nullptr, L"")) {
      return SELFREG_E_CLASS;
    }
  }
  return S_OK;
}

HRESULT WINAPI DllUnregisterServer() {
  for (const wchar_t* extension : kExtensions) {
    const std::wstring file_class = class_of(extension);
    if (!file_class.empty()) RegDeleteTreeW(HKEY_CLASSES_ROOT, handler_key(file_class).c_str());
  }
  RegDeleteTreeW(HKEY_CLASSES_ROOT, server_key().c_str());
  return S_OK;
}

}  // extern "C"
