#include "tests/support/tray_observer_win32.h"

#include <cstring>

namespace kestrune::test {

namespace {

constexpr wchar_t kTrayClass[] = L"Shell_TrayWnd";

DWORD readDword(const BYTE* data, std::size_t offset) {
  DWORD value;
  std::memcpy(&value, data + offset, sizeof value);
  return value;
}

std::wstring readText(const BYTE* data, std::size_t offset, std::size_t chars) {
  std::wstring text(chars, L'\0');
  std::memcpy(text.data(), data + offset, chars * sizeof(wchar_t));
  return text.substr(0, text.find(L'\0'));
}

// Mean of the pixels (32-bit BGRA rows) whose alpha is above half.
COLORREF meanOpaque(const BYTE* bgra, std::size_t pixels) {
  unsigned long long r = 0, g = 0, b = 0, n = 0;
  for (std::size_t i = 0; i < pixels; ++i) {
    const BYTE* p = bgra + i * 4;
    if (p[3] <= 128) continue;
    b += p[0];
    g += p[1];
    r += p[2];
    ++n;
  }
  if (n == 0) return 0;
  return RGB(r / n, g / n, b / n);
}

TrayEvent decode(DWORD message, const BYTE* data, std::size_t size) {
  TrayEvent e;
  e.message = message;
  if (size < 960) return e;
  e.owner = readDword(data, 0);
  e.id = readDword(data, 4);
  e.flags = readDword(data, 8);
  e.callbackMessage = readDword(data, 12);
  e.tip = readText(data, 16, 128);
  e.info = readText(data, 280, 256);
  e.infoTitle = readText(data, 796, 64);
  e.infoFlags = readDword(data, 924);
  const int width = static_cast<int>(readDword(data, 944));
  const int height = static_cast<int>(readDword(data, 948));
  const DWORD bits = readDword(data, 956);
  const std::size_t maskBytes = static_cast<std::size_t>((width + 15) / 16 * 2) * height;
  const std::size_t colourBytes = static_cast<std::size_t>(width) * height * 4;
  if (width > 0 && height > 0 && bits == 32 && size >= 960 + maskBytes + colourBytes) {
    e.iconWidth = width;
    e.iconHeight = height;
    e.iconColour = meanOpaque(data + 960 + maskBytes, static_cast<std::size_t>(width) * height);
  }
  return e;
}

}  // namespace

TrayObserver::TrayObserver() : thread_([this] { serve(); }) {
  std::unique_lock lock(mutex_);
  changed_.wait_for(lock, std::chrono::seconds(10), [this] { return ready_; });
}

TrayObserver::~TrayObserver() {
  if (threadId_) ::PostThreadMessageW(threadId_, WM_QUIT, 0, 0);
  thread_.join();
}

void TrayObserver::serve() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = windowProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = kTrayClass;
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowExW(0, kTrayClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
  ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  {
    std::lock_guard lock(mutex_);
    window_ = window;
    threadId_ = ::GetCurrentThreadId();
    ready_ = true;
  }
  changed_.notify_all();
  MSG message;
  while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
  ::DestroyWindow(window);
  ::UnregisterClassW(kTrayClass, windowClass.hInstance);
}

LRESULT CALLBACK TrayObserver::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<TrayObserver*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
  if (message == WM_COPYDATA && self && lParam) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    TrayEvent e = decode(static_cast<DWORD>(data->dwData), static_cast<const BYTE*>(data->lpData),
                         data->cbData);
    {
      std::lock_guard lock(self->mutex_);
      self->events_.push_back(std::move(e));
    }
    self->changed_.notify_all();
    return TRUE;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

std::vector<TrayEvent> TrayObserver::events() const {
  std::lock_guard lock(mutex_);
  return events_;
}

bool TrayObserver::waitFor(const std::function<bool(const std::vector<TrayEvent>&)>& done,
                           DWORD timeoutMs) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return done(events_); });
}

void TrayObserver::broadcastTaskbarCreated() const {
  const UINT message = ::RegisterWindowMessageW(L"TaskbarCreated");
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG, 5000, &result);
}

COLORREF iconResourceColour(HMODULE module, int id, int size) {
  HICON icon =
      static_cast<HICON>(::LoadImageW(module, MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, 0));
  if (!icon) return 0;
  ICONINFO info{};
  ::GetIconInfo(icon, &info);
  BITMAPINFO format{};
  format.bmiHeader.biSize = sizeof format.bmiHeader;
  format.bmiHeader.biWidth = size;
  format.bmiHeader.biHeight = -size;
  format.bmiHeader.biPlanes = 1;
  format.bmiHeader.biBitCount = 32;
  format.bmiHeader.biCompression = BI_RGB;
  std::vector<BYTE> pixels(static_cast<std::size_t>(size) * size * 4);
  HDC screen = ::GetDC(nullptr);
  ::GetDIBits(screen, info.hbmColor, 0, size, pixels.data(), &format, DIB_RGB_COLORS);
  ::ReleaseDC(nullptr, screen);
  if (info.hbmColor) ::DeleteObject(info.hbmColor);
  if (info.hbmMask) ::DeleteObject(info.hbmMask);
  ::DestroyIcon(icon);
  return meanOpaque(pixels.data(), static_cast<std::size_t>(size) * size);
}

std::size_t nearestColour(COLORREF colour, const std::vector<COLORREF>& candidates) {
  std::size_t best = 0;
  long bestDistance = -1;
  for (std::size_t i = 0; i < candidates.size(); ++i) {
    const long dr = GetRValue(colour) - GetRValue(candidates[i]);
    const long dg = GetGValue(colour) - GetGValue(candidates[i]);
    const long db = GetBValue(colour) - GetBValue(candidates[i]);
    const long distance = dr * dr + dg * dg + db * db;
    if (bestDistance < 0 || distance < bestDistance) {
      best = i;
      bestDistance = distance;
    }
  }
  return best;
}

}  // namespace kestrune::test
