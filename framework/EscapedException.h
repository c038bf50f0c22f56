// What the framework does with an exception that a handler let escape: it is
// caught before control returns to the platform (no exception may cross a
// window procedure or any other callback: 32-bit unwinding cannot pass a
// platform frame at all), reported once, and the program goes on.
#pragma once

#include <windows.h>

// Reports the exception being handled; call it only inside a catch block.
// Running out of memory (the framework's memory exception or std::bad_alloc)
// shows the string table's out-of-memory text, anything else its unexpected-
// error text; message, when not 0, is the window message being handled. A
// report never throws, and one that comes while another is on screen is
// dropped, so that a failing paint cannot open box after box.
void AfxReportCurrentException(UINT message = 0) noexcept;
