#include "gui/nullwindow.h"

#include "base/log.h"

namespace {

const wchar_t kClassName[] = L"vosk_null";
Ref<NullWindow> gNullWindow;

}  // namespace

LRESULT CALLBACK nullWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<NullWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (!self) return DefWindowProcW(hwnd, message, wParam, lParam);
  return self->handle(message, wParam, lParam);
}

NullWindow* createNullWindow(EventListener* catchAll, int filter) {
  static bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = nullWindowProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kClassName;
    return RegisterClassW(&wc) != 0;
  }();
  (void)registered;
  HWND hwnd = CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, nullptr, nullptr,
                              GetModuleHandleW(nullptr), nullptr);
  if (!hwnd) {
    nv::log << "ERROR: createWindow failed error=" << unsigned(GetLastError()) << nv::endl;
    return nullptr;
  }
  auto* window = new NullWindow(hwnd, catchAll, filter);
  SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(window));
  return window;
}

NullWindow::NullWindow(HWND hwnd, EventListener* catchAll, int filter)
    : hwnd_(hwnd), catchAll_(catchAll), filter_(filter) {
  event_.source = this;
}

NullWindow::~NullWindow() {
  SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
  DestroyWindow(hwnd_);
}

LRESULT NullWindow::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  if (filter_ != -1 && UINT(filter_) != message) return DefWindowProcW(hwnd_, message, wParam, lParam);
  event_.message = message;
  event_.wParam = wParam;
  event_.lParam = lParam;
  // Hold the listener for the call: it may unbind itself from inside onEvent.
  Ref<EventListener> listener = catchAll_;
  if (!listener) {
    auto it = bindings_.find(int(message));
    if (it != bindings_.end()) listener = it->second;
  }
  if (listener) listener->onEvent(&event_);
  return 0;
}

int NullWindow::allocateMessage(EventListener* listener) {
  if (numbers_.freeCount() == 0) return -1;
  int message = int(numbers_.allocate());
  bindings_[message] = listener;
  return message;
}

int NullWindow::bindMessage(int message, EventListener* listener) {
  bindings_[message] = listener;
  return message;
}

void NullWindow::unbindMessage(int message) {
  bindings_.erase(message);
  uint32_t n = uint32_t(message);
  if (n >= kFirstMessage && n <= kLastMessage && numbers_.isAllocated(n)) numbers_.free(n);
}

NullWindow* getNullWindow() { return gNullWindow.get(); }
void setNullWindow(NullWindow* window) { gNullWindow = window; }
