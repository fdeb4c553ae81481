#include "inspect/page_opening.hpp"

#ifdef _WIN32
#include <objbase.h>
#include <shellapi.h>
#include <windows.h>
#endif

namespace bloktar::inspect {

NativeString PagePathBeside(const NativeChar* input) {
    return PathWithEnding(input, ".html");
}

#ifdef _WIN32

namespace {

std::wstring FullPath(const std::wstring& path) {
    std::wstring full(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetFullPathNameW(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
        if (length == 0) return path;
        if (length < full.size()) {
            full.resize(length);
            return full;
        }
        full.resize(length);  // too small: length is the size needed
    }
}

}  // namespace

std::string FullPathText(const NativeString& path) {
    const std::wstring full = FullPath(path);
    if (full.empty()) return {};
    const int size = static_cast<int>(full.size());
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, full.data(), size, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return std::string(full.size(), '?');
    std::string text(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, full.data(), size, text.data(), bytes, nullptr, nullptr);
    return text;
}

bool OpenInBrowser(const NativeString& path) {
    // The browser's registered handler may be a COM object (DelegateExecute), which ShellExecute
    // reaches only from a thread in a single-threaded apartment.
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    const std::wstring full = FullPath(path);
    const auto result = reinterpret_cast<INT_PTR>(
        ShellExecuteW(nullptr, L"open", full.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (SUCCEEDED(com)) CoUninitialize();
    return result > 32;  // ShellExecute's way of saying it started something
}

#else

std::string FullPathText(const NativeString& path) {
    return path;
}

bool OpenInBrowser(const NativeString&) {
    return false;
}

#endif

}  // namespace bloktar::inspect
